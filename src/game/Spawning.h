// Random appearance of aircraft during play.
#pragma once

class TForm1;

// The three spawn checks of one frame of play (supply plane, aircraft of a random kind,
// transport). Each draws its first number every frame, whether or not it spawns.
void SpawnAircraft(TForm1& form);
