// The texts painted over the sprites each frame, by screen.
#pragma once
#include <string>

class TForm1;
class TCanvas;

// Paints every text whose screen is current; in play it also runs the aircraft spawn checks.
void PaintFrameTexts(TForm1& form, TCanvas& canvas);
// The mark of a watched replay ("REPLAY", with its speed), small, at the top right of the field.
void PaintReplayMark(TCanvas& canvas, const std::string& mark);
