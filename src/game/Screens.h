// Building the screens of the menus, the questions over them, and the window's own events.
#pragma once
#include <string>

class TForm1;

// The main menu: removes the sub-screen being left, makes the six buttons and restores the
// menu selection saved when the sub-screen opened.
void ShowMenu(TForm1& form);
// The sub-screens of the menu; each saves the menu selection and selects its back button.
void ShowOptions(TForm1& form);
void ShowScores(TForm1& form);
void ShowHelp(TForm1& form);
// Replaces the help page sprite by page pageNo (1..6).
void ShowHelpPage(TForm1& form, int pageNo);
// Lights MenuButtons[Selection] and puts out the other buttons among the first count.
void LightSelectedButton(TForm1& form, int count);

// Opens a question ("Exit?" over the menu, "Clear?" over the score table) with the
// positive answer selected.
void AskQuestion(TForm1& form, const std::string& state);
// "Exit?" answered no: back to the menu with its first button selected.
void CancelExit(TForm1& form);
// "Clear?" answered either way: back to the score table, reset to the defaults when asked.
void AnswerClear(TForm1& form, bool clear);
// "Exit?" answered yes: saves the settings and ends the message loop.
void QuitProgram(TForm1& form);

// Writes Config.cfg; a failure is shown in a message box and the game goes on.
void SaveSettings(TForm1& form);
// The menu's beep, when sound effects are on.
void Beep(TForm1& form);

// The window's close request: always refused; outside play it asks "Exit?" over a
// freshly built menu.
void CloseRequest(TForm1& form, bool& canClose);
// Another window became active: play pauses (in every state).
void WindowDeactivated(TForm1& form);
// The maximise command switches to full screen instead; minimising pauses play.
void MaximizeCommand(TForm1& form);
void MinimizeCommand(TForm1& form);
