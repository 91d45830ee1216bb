// FNV-1a over the state's fields, each fed as its exact bytes.
#include "game/replay/StateHash.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <typeinfo>

#include "battle/Player.h"
#include "engine/Sprite.h"
#include "game/Form1.h"
#include "ui/MenuWidgets.h"

namespace {

class Fnv {
 public:
  template <typename T>
  void Add(const T& value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    for (unsigned char b : bytes) hash_ = (hash_ ^ b) * 0x100000001B3ull;
  }
  void Add(const std::string& text) {
    Add(text.size());
    for (char c : text) Add(c);
  }
  uint64_t Value() const { return hash_; }

 private:
  uint64_t hash_ = 0xCBF29CE484222325ull;
};

// The sprites of the game. The weapon icons and the send box are made once at start-up and
// take no part in play; how they look depends on what came before the game (a replay
// starts from a fresh window).
void AddSprites(Fnv& fnv, const TSprite& parent, const GameGlobals& g) {
  for (int i = 0; i < parent.Count(); ++i) {
    const TSprite& s = *parent.Items(i);
    if (&s == static_cast<const TSprite*>(g.SendCheckBox)) continue;
    if (std::find(g.WeaponPanels.begin(), g.WeaponPanels.end(), &s) != g.WeaponPanels.end()) continue;
    fnv.Add(std::string(typeid(s).name()));
    fnv.Add(s.IsDead), fnv.Add(s.Visible), fnv.Add(s.X), fnv.Add(s.Y), fnv.Add(s.Z());
    fnv.Add(s.Width), fnv.Add(s.Height);
    if (const auto* image = dynamic_cast<const TImageSprite*>(&s)) fnv.Add(image->FramePos);
    if (const auto* turned = dynamic_cast<const TImageSpriteEx*>(&s)) fnv.Add(turned->Angle);
    if (const auto* p = dynamic_cast<const TPlayer*>(&s)) {
      fnv.Add(p->Health), fnv.Add(p->Lives), fnv.Add(p->AimAngle), fnv.Add(p->Weapon), fnv.Add(p->NextWeapon);
      for (auto ammo : p->Ammo) fnv.Add(ammo);
    }
    AddSprites(fnv, s, g);
    fnv.Add('/');  // the end of its children
  }
}

}  // namespace

uint64_t StateHash(TForm1& form) {
  const GameGlobals& g = form.G;
  Fnv fnv;
  fnv.Add(g.GameState);
  fnv.Add(g.Score), fnv.Add(g.Level), fnv.Add(g.LevelGoal), fnv.Add(g.Paused), fnv.Add(g.PlayerDown);
  fnv.Add(g.GameEnded), fnv.Add(g.BunkerHealth), fnv.Add(g.FrameCounter);
  fnv.Add(g.PlaneCount), fnv.Add(g.CarrierCount), fnv.Add(g.ParatrooperCount), fnv.Add(g.ParatrooperKills);
  fnv.Add(g.PlaneOdds), fnv.Add(g.TransportOdds), fnv.Add(g.CarrierOdds), fnv.Add(g.JumpOdds), fnv.Add(g.DropOdds);
  fnv.Add(g.MouseFire), fnv.Add(g.MouseSwitch), fnv.Add(g.WalkRightRequest), fnv.Add(g.WalkLeftRequest);
  fnv.Add(form.Timer2.Enabled()), fnv.Add(form.Timer3.Enabled()), fnv.Add(form.DXInput1.States);
  const TRandom::Snapshot random = form.Random.Save();
  fnv.Add(random.State), fnv.Add(random.Increment);
  // The soldier is read in the tree: the global reference may outlive him.
  AddSprites(fnv, *form.DXSpriteEngine1.Engine(), g);
  return fnv.Value();
}
