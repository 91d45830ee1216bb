// Building the screens of the game and moving between them.
#pragma once

class TForm1;

// Shows the main menu: the state becomes "Menu" with the saved menu selection.
void ShowMenu(TForm1& form);
