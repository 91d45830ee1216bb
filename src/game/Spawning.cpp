// Spawn checks with 1-in-N odds and the live-aircraft limits.
#include "game/Spawning.h"

#include "battle/Aircraft.h"
#include "battle/Battle.h"
#include "game/Form1.h"

void SpawnAircraft(TForm1& form) {
  GameGlobals& g = form.G;
  if (Chance(form, g.CarrierOdds) && g.CarrierCount < 1) {
    ++g.CarrierCount;
    const bool fromRight = form.Rnd(2) == 1;
    new TDTransport(form, fromRight);
  }
  // Every third level sends transports only.
  if (Chance(form, g.PlaneOdds) && g.PlaneCount < 3 && g.Level % 3 != 0) {
    ++g.PlaneCount;
    const int kind = form.Rnd(g.MaxPlaneKind) + 1;
    const bool fromRight = form.Rnd(2) == 1;
    new TETransport(form, kind, fromRight);
  }
  if (Chance(form, g.TransportOdds) && g.PlaneCount < 3) {
    ++g.PlaneCount;
    const bool fromRight = form.Rnd(2) == 1;
    new TETransport(form, kTransport, fromRight);
  }
}
