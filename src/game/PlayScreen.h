// Starting a game, and leaving it: asking first while it runs, then to the name entry for a
// new record or back to the menu.
#pragma once

class TForm1;

// Builds the play screen and begins level 1 with its banner.
void StartGame(TForm1& form);
// Escape in play asks "ExitGame?"; a finished game goes on to the name entry when its score
// makes the table, else to the menu.
void LeaveGame(TForm1& form);
// "ExitGame?" answered yes: the game ends here.
void EndGameByChoice(TForm1& form);
// "ExitGame?" answered no: play goes on.
void ResumeGame(TForm1& form);
// P in play: pauses, or resumes.
void TogglePause(TForm1& form);
// The question of a finished game's picture ("GameOver2") answered by a key or a click.
void LeaveFinishedGame(TForm1& form);
// The name entry answered: OK stores the record (sending it first when the check box is
// ticked) and opens the score table; "Отмена" discards it. Both take the play screen down
// and return to the menu.
void AnswerNameEntry(TForm1& form, bool store);
