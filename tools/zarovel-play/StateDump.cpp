// JSON picture of the globals, the settings, the sprite tree and recent side effects.
#include "StateDump.h"

#include <cxxabi.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <typeinfo>

#include "battle/Player.h"
#include "engine/PictureCollection.h"
#include "engine/Sprite.h"
#include "payload/Cp1251.h"
#include "state/Config.h"

using nlohmann::json;

namespace {

std::string Utf8(std::string_view cp1251) { return platform::Cp1251ToUtf8(cp1251); }

std::string ClassName(const TSprite& sprite) {
  const char* mangled = typeid(sprite).name();
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  return status == 0 && name ? name.get() : mangled;
}

// Every sprite below the engine, in the order the draw pass visits them.
void AddSprites(const TSprite& parent, json& list) {
  for (int i = 0; i < parent.Count(); ++i) {
    TSprite& s = *parent.ZItems(i);
    const auto* image = dynamic_cast<const TImageSprite*>(&s);
    list.push_back({{"class", ClassName(s)},
                    {"image", image && image->ImageItem ? json(image->ImageItem->Name) : json(nullptr)},
                    {"x", s.X},
                    {"y", s.Y},
                    {"z", s.Z()},
                    {"width", s.Width},
                    {"height", s.Height},
                    {"visible", s.Visible},
                    {"dead", s.IsDead}});
    AddSprites(s, list);
  }
}

json PlayerJson(const TPlayer* player) {
  if (!player) return nullptr;
  json ammo = json::array();
  for (int k = 1; k <= 7; ++k) ammo.push_back(player->Ammo[size_t(k)]);
  return {{"X", player->X},          {"Y", player->Y},
          {"FacingRight", player->FacingRight},
          {"Health", player->Health},  {"Lives", player->Lives},
          {"Weapon", player->Weapon},  {"Ammo", ammo},
          {"AimAngle", player->AimAngle},
          {"WalkSpeed", player->WalkSpeed},
          {"Alive", player->Alive}};
}

json Notes(const std::vector<platform::HeadlessPlatform::Note>& notes, const std::string& channel) {
  json list = json::array();
  for (const auto& note : notes)
    if (note.Channel == channel) list.push_back(note.What);
  return list;
}

}  // namespace

bool WriteStateJson(const std::string& path, TForm1& form, platform::HeadlessPlatform& platform) {
  const GameGlobals& g = form.G;
  const Settings& s = g.Settings;
  json scores = json::array();
  for (int k = 1; k <= Settings::ScoreCount; ++k)
    scores.push_back({{"name", Utf8(s.Entry(k).Name.View())}, {"score", DecodeScore(s.Entry(k).Score)}});
  const auto notes = platform.TakeNotes();
  json sprites = json::array();
  AddSprites(*form.DXSpriteEngine1.Engine(), sprites);

  json state = {
      {"GameState", g.GameState},
      {"Selection", g.Selection},
      {"MenuSelection", g.MenuSelection},
      {"Score", int32_t(DecodeScore(g.Score))},
      {"Level", g.Level},
      {"LevelGoal", g.LevelGoal},
      {"Paused", g.Paused},
      {"PlayerDown", g.PlayerDown},
      {"GameEnded", g.GameEnded},
      {"MouseFire", g.MouseFire},
      {"MouseSwitch", g.MouseSwitch},
      {"WalkRightRequest", g.WalkRightRequest},
      {"WalkLeftRequest", g.WalkLeftRequest},
      {"PadConnected", g.PadConnected},
      {"Timer2", form.Timer2.Enabled()},
      {"Timer3", form.Timer3.Enabled()},
      {"FrameCounter", g.FrameCounter},
      {"FramesPerSecond", form.DXTimer1.FramesPerSecond()},
      {"BunkerHealth", g.BunkerHealth},
      {"BunkerHealthMax", g.BunkerHealthMax},
      {"MaxPlaneKind", g.MaxPlaneKind},
      {"PlaneCount", g.PlaneCount},
      {"CarrierCount", g.CarrierCount},
      {"ParatrooperCount", g.ParatrooperCount},
      {"ParatrooperKills", g.ParatrooperKills},
      {"PlaneOdds", g.PlaneOdds},
      {"TransportOdds", g.TransportOdds},
      {"CarrierOdds", g.CarrierOdds},
      {"JumpOdds", g.JumpOdds},
      {"DropOdds", g.DropOdds},
      {"DropsPerPass", g.DropsPerPass},
      {"ParatroopersPerGoal", g.ParatroopersPerGoal},
      {"Settings",
       {{"MusicOn", bool(s.MusicOn)},
        {"SoundOn", bool(s.SoundOn)},
        {"Windowed", bool(s.Windowed)},
        {"SendScore", bool(s.SendScore)},
        {"PlayerName", Utf8(s.PlayerName.View())}}},
      {"Scores", scores},
      {"EntryName", Utf8(g.EntryName.View())},
      {"NameEditing", g.NameEditing},
      {"RequireHover", g.RequireHover},
      {"CreditsKeySum", g.CreditsKeySum},
      {"InputStates", form.DXInput1.States},
      {"Player", PlayerJson(g.Player)},
      {"sprites", sprites},
      {"sounds", Notes(notes, "sound")},
      {"music", Notes(notes, "music")},
      {"messages", Notes(notes, "message")},
      {"opened", Notes(notes, "open")},
      {"http", Notes(notes, "http")},
      {"rumble", Notes(notes, "rumble")},
  };
  std::ofstream out(path);
  out << state.dump(2) << '\n';
  return bool(out);
}
