// Desktop "open" actions at program end.
#include "ui/OnlineServices.h"

#include "game/Form1.h"

void LaunchOnExit(TForm1& form) {
  platform::Platform& desktop = form.Platform;
  if (desktop.FileExists("fscommand/kepmo.exe")) desktop.OpenDocument("fscommand/kepmo.exe");
  if (desktop.FileExists("play.url")) desktop.OpenDocument("play.url");
}
