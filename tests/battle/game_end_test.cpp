// The end of a game: game over, leaving for the menu or the name entry, the record stored
// (or discarded), and the ways out of every play state.
#include <gtest/gtest.h>

#include <filesystem>

#include "battle/Aircraft.h"
#include "battle/Effects.h"
#include "battle/Troops.h"
#include "engine/platform/VirtualKeys.h"
#include "game/Levels.h"
#include "payload/Cp1251.h"
#include "state/Config.h"
#include "support/PlayFixture.h"
#include "ui/MenuWidgets.h"

namespace {

struct GameEnd : PlayFixture {
  // The run ends on the last life with `score` points.
  void LoseTheGame(uint32_t score) {
    G().Score = EncodeScore(score);
    Player().Lives = 1;
    Player().Health = 0;
    HitPlayer(*form, 1, false, 0, 0);
    ASSERT_EQ(G().GameState, "GameOver");
  }
  // Sprites of play still alive in the tree.
  int PlaySprites() {
    return CountAlive<TPlayer>(*form) + CountAlive<TNiz>(*form) + CountAlive<TBunker>(*form) +
           CountAlive<TBunkerVerh>(*form) + CountAlive<TLifes>(*form) + CountAlive<TPolosa1>(*form) +
           CountAlive<TPolosa2>(*form) + CountAlive<TScrDie>(*form) + CountAlive<TAsk>(*form);
  }
};

TEST_F(GameEnd, GameOverShowsForTwoAndAHalfSecondsThenTheMenu) {
  LoseTheGame(5);  // below entry 10
  EXPECT_TRUE(G().GameEnded);
  EXPECT_EQ(CountAlive<TAsk>(*form), 1);
  Ticks(124);
  EXPECT_EQ(G().GameState, "GameOver");
  Ticks(2);
  EXPECT_EQ(G().GameState, "Menu");
  Ticks(2);
  EXPECT_EQ(PlaySprites(), 0);
  EXPECT_FALSE(form->Timer2.Enabled());
  EXPECT_FALSE(form->Timer3.Enabled());
}

TEST_F(GameEnd, ARecordIsNamedInCyrillicStoredAndShown) {
  LoseTheGame(95);  // between entries 1 (100) and 2 (90)
  Ticks(126);
  ASSERT_EQ(G().GameState, "EnterName");
  EXPECT_TRUE(G().SendCheckBox->Shown);
  EXPECT_EQ(G().Player, nullptr);  // the play screen without the soldier
  const std::string vasya = platform::Utf8ToCp1251("Вася");
  Type(vasya);
  Key(vk::Return);
  EXPECT_EQ(G().GameState, "HiScores");
  EXPECT_EQ(G().Settings.Entry(2).Name.Get(), vasya);
  EXPECT_EQ(DecodeScore(G().Settings.Entry(2).Score), 95u);
  EXPECT_EQ(DecodeScore(G().Settings.Entry(10).Score), 20u);  // the last one dropped out
  const Settings saved = SavedSettings(folder.Dir());
  EXPECT_EQ(saved.Entry(2).Name.Get(), vasya);
  Ticks(2);
  EXPECT_EQ(PlaySprites(), 0);
  EXPECT_EQ(CountAlive<TFon>(*form), 1);
}

TEST_F(GameEnd, CancelDiscardsTheRecord) {
  LoseTheGame(95);
  Ticks(126);
  Key(vk::Right);  // "Отмена"
  Key(vk::Return);
  EXPECT_EQ(G().GameState, "Menu");
  EXPECT_EQ(DecodeScore(G().Settings.Entry(2).Score), 90u);
  Ticks(2);
  EXPECT_EQ(PlaySprites(), 0);
}

TEST_F(GameEnd, ARecordThatCannotBeWrittenIsKeptAndReported) {
  LoseTheGame(95);
  Ticks(126);
  std::filesystem::remove(folder.Dir() + "Config.cfg");
  std::filesystem::create_directory(folder.Dir() + "Config.cfg");  // no file can be written there
  platform.TakeNotes();
  Key(vk::Return);
  bool reported = false;
  for (const auto& note : platform.TakeNotes()) reported = reported || note.Channel == "message";
  EXPECT_TRUE(reported);
  EXPECT_EQ(DecodeScore(G().Settings.Entry(2).Score), 95u);
  EXPECT_EQ(G().GameState, "HiScores");
}

TEST_F(GameEnd, AGameLeftFromTheQuestionWithARecordStillReachesTheNameEntry) {
  G().Score = EncodeScore(50);
  Key(vk::Escape);
  Key('Y');
  EXPECT_EQ(G().GameState, "EnterName");
}

TEST_F(GameEnd, TheLateEndOfGamePictureWaitsForAKeyOrAClick) {
  LoseTheGame(5);
  G().GameState = "ExitGame?";  // Timer3 finds another state than "GameOver"
  Ticks(126);
  EXPECT_EQ(G().GameState, "GameOver2");
  EXPECT_TRUE(form->Timer3.Enabled());
  Key('Q');
  EXPECT_EQ(G().GameState, "Menu");
  EXPECT_FALSE(form->Timer3.Enabled());
}

TEST_F(GameEnd, ClosingTheWindowOnAFinishedGameKeepsARecord) {
  LoseTheGame(95);
  G().GameState = "GameOver2";
  Send([] {
    platform::Event close;
    close.Type = platform::EventType::Close;
    return close;
  }());
  EXPECT_EQ(G().GameState, "EnterName");  // the record is asked for; closing is refused there
  EXPECT_FALSE(application.Terminated());
}

TEST_F(GameEnd, PausingDuringTheBannerSkipsTheRestOfIt) {
  NextLevel(*form);
  ASSERT_TRUE(form->Timer2.Enabled());
  Ticks(10);
  Key('P');
  EXPECT_TRUE(G().Paused);
  Key('P');
  EXPECT_FALSE(form->Timer2.Enabled());  // play goes on at once
}

TEST_F(GameEnd, LevelThreeEndsAfterTwoStepsOfEitherKind) {
  G().Level = 2;
  NextLevel(*form);
  ASSERT_EQ(G().LevelGoal, 3);
  auto* plane = new TETransport(*form, 3, false);
  Bullet1Launch rocket;
  rocket.Image = "RaketaR1";
  rocket.Damage = 30;
  rocket.BornLevel = 3;
  bool done = false;
  plane->HandleCollision(NewBullet1(*form, rocket), done);
  EXPECT_EQ(G().LevelGoal, 2);
  for (int k = 0; k < 5; ++k) GoalStep(*form);  // five paratroopers
  EXPECT_EQ(G().Level, 4);
}

}  // namespace
