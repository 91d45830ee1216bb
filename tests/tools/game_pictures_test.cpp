// The built picture archives hold every picture the game asks for, with the patterns it
// draws, and the game starts on them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "engine/PictureCollection.h"
#include "engine/PngFile.h"
#include "support/GameFixture.h"

namespace {

// Name and the fewest patterns the game draws from it.
struct Wanted {
  std::string Name;
  int Patterns = 1;
};

std::vector<Wanted> Numbered(const std::string& stem, int from, int to) {
  std::vector<Wanted> names;
  for (int n = from; n <= to; ++n) names.push_back({stem + std::to_string(n)});
  return names;
}

void ExpectAll(const std::string& archive, std::vector<Wanted> wanted) {
  TPictureCollection pictures;
  pictures.LoadArchive(std::string(ZAROVEL_GAME_DATA) + archive);
  pictures.PrepareAll();
  for (const Wanted& w : wanted) {
    TPictureCollectionItem* item = pictures.Find(w.Name);
    ASSERT_NE(item, nullptr) << w.Name << " is missing from " << archive;
    EXPECT_GE(item->NumPatterns(), w.Patterns) << w.Name;
    EXPECT_GT(item->PatternWidth, 0) << w.Name;
    EXPECT_GT(item->PatternHeight, 0) << w.Name;
  }
}

TEST(GamePictures, TheMenuArchiveHoldsEveryMenuPicture) {
  std::vector<Wanted> wanted = {{"FonMenu"}, {"FonGame"}, {"Start"},   {"Opt"},      {"HScores"},
                                {"Help"},    {"Visit"},   {"Exit"},    {"FonOpt"},   {"OptBack"},
                                {"FonHScr"}, {"Clear"},   {"World"},   {"HScrBack"}, {"FonHelp"},
                                {"Previos"}, {"Next"},    {"HlpBack"}, {"Qtns"},     {"Chk", 2}};
  for (auto& page : Numbered("Hlp", 1, 6)) wanted.push_back(page);
  ExpectAll("/Data/MData.dxg", wanted);
}

TEST(GamePictures, ThePlayArchiveHoldsEveryPictureOfPlay) {
  std::vector<Wanted> wanted = {
      {"Niz"},    {"PlayerR", 2}, {"PlayerL", 2}, {"VerhR", 3},  {"VerhL", 3}, {"Bullet1"},  {"Bullet2"},
      {"Bomba"},  {"Granata"},    {"RaketaR1"},   {"RaketaL1"},  {"RaketaR2"}, {"RaketaL2"}, {"ShtrR"},
      {"ShtrL"},  {"BombR"},      {"BombL"},      {"TrR"},       {"TrL"},      {"VertR"},    {"VertL"},
      {"ReaktR"}, {"ReaktL"},     {"DTrR"},       {"DTrL"},      {"EL", 2},    {"EL2", 2},   {"EL3", 2},
      {"ER2", 2}, {"ER3", 2},     {"Objs", 8},    {"SObjs", 21}, {"Blood"},    {"Vzriv", 2}, {"VzrivSmall", 2},
      {"ScrDie"}, {"Life"},       {"Polosa1"},    {"Polosa2"}};
  for (const char* stem : {"WeaponR", "WeaponL", "PanelWeap"})
    for (auto& w : Numbered(stem, 1, 7)) wanted.push_back(w);
  for (auto& w : Numbered("BunkerN", 1, 5)) wanted.push_back(w);
  for (auto& w : Numbered("BunkerV", 1, 4)) wanted.push_back(w);
  ExpectAll("/Data/GData.dxg", wanted);
  // Every background lives with the menu's pictures.
  TPictureCollection pictures;
  pictures.LoadArchive(std::string(ZAROVEL_GAME_DATA) + "/Data/GData.dxg");
  EXPECT_EQ(pictures.Find("FonGame"), nullptr);
}

TEST(GamePictures, TheGameStartsOnTheBuiltDataWithMusicAndTheMenu) {
  TempFolder game, work;
  for (const char* folder : {"Data", "Sound"})
    std::filesystem::copy(std::string(ZAROVEL_GAME_DATA) + "/" + folder, game.Path() / folder);
  const std::string script = work.Dir() + "script.txt";
  std::ofstream(script) << "seed 3\nframes 5\nscreenshot " << work.Dir() << "menu.png\nstate " << work.Dir()
                        << "state.json\n";
  const std::string command = std::string(ZAROVEL_PLAY) + " " + game.Dir() + " " + script + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[512];
  std::string output;
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  ASSERT_EQ(WEXITSTATUS(pclose(pipe)), 0) << output;
  std::ifstream in(work.Dir() + "state.json");
  const nlohmann::json state = nlohmann::json::parse(in);
  EXPECT_EQ(state["GameState"], "Menu");
  EXPECT_TRUE(state["messages"].empty()) << state["messages"];
  EXPECT_EQ(state["music"],
            nlohmann::json::array({"load " + game.Dir() + "Sound/1.xm", "play " + game.Dir() + "Sound/1.xm"}));
  const auto shot = ReadPng(work.Dir() + "menu.png");
  ASSERT_TRUE(shot.has_value());
  // The picture is the drawn menu, not a black screen.
  EXPECT_LT(CountColour(*shot, 0, 0, 800, 600, 0), 800 * 600 / 10);
}

}  // namespace
