// The texts painted over the sprites each frame, by screen.
#pragma once

class TForm1;
class TCanvas;

// Paints every text whose screen is current; in play it also runs the aircraft spawn checks.
void PaintFrameTexts(TForm1& form, TCanvas& canvas);
