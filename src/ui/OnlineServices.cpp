// Desktop "open" actions: the world score page, the "Visit" shortcut, and the launches at
// program end. None is waited for.
#include "ui/OnlineServices.h"

#include "game/Form1.h"

std::string WorldScoresUrl(const std::string& host) { return "http://" + host + "/cgi/version.pl?prg=Zarovel&show&type=0"; }

void OpenWorldScores(TForm1& form) { form.Platform.OpenDocument(WorldScoresUrl(form.ScoreServer)); }

void OpenMoreGames(TForm1& form) {
  if (form.Platform.FileExists("moregames.url")) form.Platform.OpenDocument("moregames.url");
}

void LaunchOnExit(TForm1& form) {
  platform::Platform& desktop = form.Platform;
  if (desktop.FileExists("fscommand/kepmo.exe")) desktop.OpenDocument("fscommand/kepmo.exe");
  if (desktop.FileExists("play.url")) desktop.OpenDocument("play.url");
}

// The exchange with the score server comes with its own change; until then nothing is sent.
void SubmitScore(TForm1&, uint32_t) {}
