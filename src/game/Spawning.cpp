// Spawn checks with 1-in-N odds and the live-aircraft limits.
#include "game/Spawning.h"

#include "game/Form1.h"

namespace {
bool Chance(TForm1& form, int odds) { return form.Rnd(odds) == odds - 1; }
}  // namespace

void SpawnAircraft(TForm1& form) {
  GameGlobals& g = form.G;
  if (Chance(form, g.CarrierOdds) && g.CarrierCount < 1) {
    ++g.CarrierCount;
    const int side = form.Rnd(2);
    if (form.NewCarrier) form.NewCarrier(form, side);
  }
  // Every third level sends transports only.
  if (Chance(form, g.PlaneOdds) && g.PlaneCount < 3 && g.Level % 3 != 0) {
    ++g.PlaneCount;
    const int kind = form.Rnd(g.MaxPlaneKind) + 1;
    const int side = form.Rnd(2);
    if (form.NewPlane) form.NewPlane(form, kind, side);
  }
  if (Chance(form, g.TransportOdds) && g.PlaneCount < 3) {
    ++g.PlaneCount;
    const int side = form.Rnd(2);
    if (form.NewPlane) form.NewPlane(form, 3, side);
  }
}
