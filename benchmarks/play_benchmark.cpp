// One busy frame of play, headless, beside the floor of a frame (a memset plus a memcpy of
// one 800 x 600 x 4 frame): three aircraft, the supply plane, six paratroopers, 30 shots in
// flight, four explosions, the HUD and its texts; the whole tick of move, collisions, purge,
// draw, texts and present. The counter x_floor is the ratio to the floor.
#include "FrameBench.h"
#include "battle/Aircraft.h"
#include "battle/Effects.h"
#include "battle/Projectiles.h"
#include "battle/Troops.h"
#include "game/PlayScreen.h"

namespace {

using namespace bench;

// The scene holds still: nothing flies off, fires, drops or spawns, so every tick does the
// same work.
struct BusyScene {
  std::vector<TVzriv*> Explosions;

  explicit BusyScene(TForm1& form) {
    GameGlobals& g = form.G;
    const auto never = 1000000000;
    g.PlaneOdds = g.TransportOdds = g.CarrierOdds = g.JumpOdds = g.DropOdds = never;
    for (int kind : {1, 2, 4}) {
      auto* plane = new TETransport(form, kind, false);
      plane->X = 100 + 200 * (kind % 4), plane->Y = 80, plane->VelX = 0;
      plane->FireTicks = -never;  // never re-armed
    }
    auto* carrier = new TDTransport(form, true);
    carrier->X = 600, carrier->VelX = 0;
    for (int i = 0; i < 6; ++i) {
      auto* trooper = new TE(form, 60 + 120 * i, 2 + i % 2);
      trooper->Y = 300;  // in the air: they fall, so hold them where they are each tick
    }
    for (int i = 0; i < 30; ++i) {
      Bullet1Launch shot;
      shot.Image = i % 3 == 0 ? "RaketaR1" : "Bullet1";
      shot.X = 20 + 25 * i, shot.Y = 200 + (i % 5) * 20;
      shot.BornLevel = g.Level;
      NewBullet1(form, shot);
    }
    for (int i = 0; i < 4; ++i) Explosions.push_back(new TVzriv(form, 150 + 150 * i, 250));
  }
  // Explosions would play out and paratroopers land: both are put back before each tick.
  void Hold(TForm1& form) {
    for (TVzriv* e : Explosions) e->FramePos = 1;
    for (TE* trooper : AliveOf(form)) trooper->Y = 300;
  }
  static std::vector<TE*> AliveOf(TForm1& form) {
    std::vector<TE*> found;
    const TSprite& root = *form.DXSpriteEngine1.Engine();
    for (int i = 0; i < root.Count(); ++i)
      if (auto* trooper = dynamic_cast<TE*>(root.Items(i))) found.push_back(trooper);
    return found;
  }
};

void BM_BusyPlayFrame(benchmark::State& state) {
  HeadlessGame game;
  game.Tick();
  StartGame(*game.Form);
  for (int i = 0; i < 101; ++i) game.Tick();  // the level banner
  BusyScene scene(*game.Form);
  const int sprites = game.Form->DXSpriteEngine1.Engine()->SpriteCount();
  Floor floor;
  RunAgainst(state, SecondsPerCall(floor), "x_floor", [&] {
    scene.Hold(*game.Form);
    game.Tick();
  });
  state.counters["sprites"] = sprites;
  if (game.Form->DXSpriteEngine1.Engine()->SpriteCount() != sprites) state.SkipWithError("the scene changed");
}
BENCHMARK(BM_BusyPlayFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
