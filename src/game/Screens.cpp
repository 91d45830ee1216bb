// Screen changes.
#include "game/Screens.h"

#include "game/Form1.h"

void ShowMenu(TForm1& form) {
  GameGlobals& g = form.G;
  g.GameState = "Menu";
  g.Selection = g.MenuSelection;
  g.NameEditing = false;
  g.CreditsKeySum = 0;
  g.RequireHover = true;
  for (int i = 0; i < 9; ++i) g.MouseOverFlags[size_t(i)] = false;
}
