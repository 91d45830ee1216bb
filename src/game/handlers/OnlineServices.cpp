// The score server (a record sent, the world score page) and the desktop's "open" actions:
// the "Visit" shortcut and the launches at program end. None of the opens is waited for.
#include "game/handlers/OnlineServices.h"

#include <chrono>
#include <future>

#include "game/Form1.h"
#include "payload/ScorePayload.h"
#include "ui/MenuWidgets.h"

namespace {

// The whole exchange, both requests, takes at most this long however the server behaves.
constexpr uint32_t kRequestMs = 2500;
constexpr auto kServiceEvery = std::chrono::milliseconds(20);

std::string CheckUrl(const std::string& host) { return "http://" + host + "/cgi/version.pl?version&prg=Zarovel"; }
std::string SubmitUrl(const std::string& host) { return "http://" + host + "/cgi/version.pl?hs&prg=Zarovel&inf="; }

// Runs a request off the window's thread and keeps the window serviced meanwhile: the
// "Please Wait..." frame is shown again, the desktop sees a live window, and no input reaches
// the game. Other window events are queued, to be handled once the handler that asked for
// the exchange has returned. Input let go during the wait is lost with the rest, so the game
// forgets what it held: nothing fires or walks by itself afterwards.
platform::HttpReply Request(TForm1& form, const std::string& url) {
  platform::Platform& platform = form.Platform;
  auto reply = std::async(std::launch::async, [&platform, url] { return platform.HttpGet(url, kRequestMs); });
  while (reply.wait_for(kServiceEvery) != std::future_status::ready) {
    platform::Event event;
    while (platform.WaitEvent(event, 0)) {
      switch (event.Type) {
        case platform::EventType::KeyDown: case platform::EventType::KeyUp: case platform::EventType::Char:
        case platform::EventType::MouseMove: case platform::EventType::MouseDown: case platform::EventType::MouseUp:
        case platform::EventType::MouseWheel:
          break;  // no game input while the game waits
        default:
          form.Application.Post(event);
      }
    }
    form.DXDraw1.Present();
  }
  GameGlobals& g = form.G;
  g.MouseFire = g.MouseSwitch = g.WalkRightRequest = g.WalkLeftRequest = false;
  return reply.get();
}

// A reply the old client would have read: an error or an unsuccessful status counts as none.
std::string BodyOf(const platform::HttpReply& reply) { return reply.Ok && reply.Status < 400 ? reply.Body : ""; }

}  // namespace

std::string WorldScoresUrl(const std::string& host) { return "http://" + host + "/cgi/version.pl?prg=Zarovel&show&type=0"; }

void OpenWorldScores(TForm1& form) { form.Platform.OpenDocument(WorldScoresUrl(form.ScoreServer)); }

// Opens the file of the game's data folder when it is there.
void OpenIfPresent(TForm1& form, const std::string& name) {
  const std::string path = form.G.AppDir + name;
  if (form.Platform.FileExists(path)) form.Platform.OpenDocument(path);
}

void OpenMoreGames(TForm1& form) { OpenIfPresent(form, "moregames.url"); }

void LaunchOnExit(TForm1& form) {
  OpenIfPresent(form, "fscommand/kepmo.exe");
  OpenIfPresent(form, "play.url");
}

void SubmitScore(TForm1& form, uint32_t score) {
  GameGlobals& g = form.G;
  const std::string check = BodyOf(Request(form, CheckUrl(form.ScoreServer)));
  if (check.compare(0, 2, "OK") != 0) {
    form.Platform.MessageBox("Can't connect to server!", "Information");
    g.SendCheckBox->Shown = true;
    g.Submitting = false;
  }
  // Sent in any case, with whatever token the reply held; its own reply is not read.
  const std::string payload = ScoreRequest(g.EntryName.View(), score, ServerToken(check), g.Settings.PlayerName.View());
  Request(form, SubmitUrl(form.ScoreServer) + Base32Text(BitString(payload)));
}
