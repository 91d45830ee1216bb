// Texts of each screen, checked region by region on the presented frame.
#include "game/FrameTexts.h"

#include <gtest/gtest.h>

#include "state/Config.h"
#include "support/GameFixture.h"

namespace {

constexpr uint32_t kOrange = RGB(255, 153, 0);
constexpr uint32_t kWhite = RGB(255, 255, 255);
constexpr uint32_t kRed = RGB(255, 0, 0);

struct FrameTexts : GameFixture {
  void SetUp() override { Start(); }
  const Surface& Frame() {
    Ticks(1);
    return platform.LastFrame();
  }
  int Count(int left, int top, int right, int bottom, uint32_t colour) {
    return CountColour(platform.LastFrame(), left, top, right, bottom, colour);
  }
};

TEST_F(FrameTexts, MenuShowsNothingButTheCreditsLineAtKeySum419) {
  Frame();
  EXPECT_EQ(Count(0, 0, 800, 600, kOrange), 0);
  G().CreditsKeySum = 419;
  Frame();
  EXPECT_GT(Count(10, 0, 260, 35, kOrange), 50);
  G().CreditsKeySum = 420;
  Frame();
  EXPECT_EQ(Count(0, 0, 800, 600, kOrange), 0);
  G().CreditsKeySum = 419;
  G().GameState = "Game";
  form->Timer2.SetEnabled(false);
  Frame();
  EXPECT_EQ(Count(10, 0, 260, 35, kOrange), 0);
}

TEST_F(FrameTexts, OptionsOutlineTheSelectedRowOnly) {
  G().GameState = "Options";
  struct Case {
    int selection;
    int left, top, right;
  };
  const Case rows[] = {{1, 445, 211, 672}, {2, 445, 258, 549}, {3, 445, 305, 549}, {4, 466, 345, 670}};
  for (const Case& row : rows) {
    G().Selection = uint8_t(row.selection);
    Frame();
    // The top edge of the outline is a solid orange line three pixels thick.
    EXPECT_EQ(Count(row.left, row.top, row.right - 1, row.top + 1, kOrange), row.right - 1 - row.left)
        << "row " << row.selection;
    for (const Case& other : rows) {
      if (other.selection != row.selection) {
        EXPECT_LT(Count(other.left, other.top, other.right - 1, other.top + 1, kOrange), 20);
      }
    }
  }
  G().Selection = 5;
  Frame();
  for (const Case& row : rows) EXPECT_LT(Count(row.left, row.top, row.right - 1, row.top + 1, kOrange), 20);
}

TEST_F(FrameTexts, OptionsHighlightTheSettingsInEffect) {
  G().GameState = "Options";
  G().Selection = 5;
  G().Settings.MusicOn = 1;
  G().Settings.SoundOn = 0;
  Frame();
  EXPECT_GT(Count(450, 261, 485, 280, kOrange), 20);  // music "ВКЛ"
  EXPECT_GT(Count(495, 261, 545, 280, kWhite), 20);   // music "ВЫКЛ"
  EXPECT_GT(Count(495, 308, 545, 327, kOrange), 20);  // sound "ВЫКЛ"
  EXPECT_GT(Count(450, 308, 485, 327, kWhite), 20);   // sound "ВКЛ"
  EXPECT_GT(Count(450, 214, 535, 233, kOrange), 20);  // "ОКОННЫЙ"
}

TEST_F(FrameTexts, NameCursorBlinksInTheFirstHalfOfEach32FramesInOptions) {
  G().GameState = "Options";
  G().Selection = 5;
  G().NameEditing = true;
  G().Settings.PlayerName.Set("AB");
  // The cursor stands right of the name; the frame counter is one more after the tick.
  int nameWidth = 0, height = 0;
  platform.TextExtent("AB", platform::FontSpec{"Arial", 14, false, kOrange}, nameWidth, height);
  auto cursorShown = [&](int frameBefore) {
    G().FrameCounter = uint8_t(frameBefore);
    Frame();
    return Count(474 + nameWidth, 350, 474 + nameWidth + 8, 350 + height, kOrange) > 0;
  };
  EXPECT_TRUE(cursorShown(0));     // counter 1
  EXPECT_TRUE(cursorShown(14));    // 15
  EXPECT_FALSE(cursorShown(15));   // 16
  EXPECT_FALSE(cursorShown(30));   // 31
  EXPECT_TRUE(cursorShown(31));    // 32
  EXPECT_TRUE(cursorShown(255));   // wraps to 0
}

TEST_F(FrameTexts, TwelveWideLettersStayInsideTheNameOutline) {
  G().GameState = "Options";
  G().Selection = 4;
  G().NameEditing = true;
  G().Settings.PlayerName.Set(std::string(12, '\xD8'));  // "Ш" in Windows-1251
  for (int frame : {0, 20}) {  // with and without the cursor
    G().FrameCounter = uint8_t(frame);
    Frame();
    EXPECT_GT(Count(474, 350, 664, 375, kOrange), 100);
    EXPECT_EQ(Count(671, 345, 720, 379, kOrange), 0) << frame;  // nothing right of the outline
  }
}

// Padding as wide as digits: every score's last digit ends at the same column.
TEST_F(FrameTexts, ScoresLineUpOnTheRight) {
  G().GameState = "HiScores";
  Frame();
  const auto rightEdge = [this](int top, uint32_t colour) {
    for (int x = 640; x > 525; --x)
      if (Count(x, top, x + 1, top + 18, colour) > 0) return x;
    return 0;
  };
  const int first = rightEdge(197, kRed);  // 100
  for (int n = 2; n <= 9; ++n) EXPECT_NEAR(rightEdge(21 * n + 177, kOrange), first, 1) << n;  // 90 .. 20
}

TEST_F(FrameTexts, ScoreTableShowsTheFirstRowInRedAndTheRestInOrange) {
  G().GameState = "HiScores";
  const uint32_t before = G().Settings.Entry(1).Score;
  Frame();
  EXPECT_GT(Count(235, 197, 400, 215, kRed), 30);
  EXPECT_GT(Count(525, 197, 620, 215, kRed), 10);
  for (int n = 2; n <= 9; ++n) EXPECT_GT(Count(235, 21 * n + 177, 400, 21 * n + 195, kOrange), 30) << n;
  EXPECT_GT(Count(230, 387, 400, 405, kOrange), 30);
  EXPECT_EQ(G().Settings.Entry(1).Score, before);  // the table stays encoded
}

TEST_F(FrameTexts, QuestionsShowTheSelectedAnswerInOrange) {
  G().GameState = "Exit?";
  G().Selection = 1;
  Frame();
  EXPECT_GT(Count(335, 300, 375, 330, kOrange), 20);  // "ДА"
  EXPECT_EQ(Count(413, 300, 470, 330, kOrange), 0);   // "НЕТ" in white
  EXPECT_GT(Count(413, 300, 470, 330, kWhite), 20);
  G().Selection = 2;
  Frame();
  EXPECT_EQ(Count(335, 300, 375, 330, kOrange), 0);
  EXPECT_GT(Count(413, 300, 470, 330, kOrange), 20);
  G().GameState = "Clear?";
  Frame();
  EXPECT_GT(Count(200, 280, 600, 305, kRed), 50);
  EXPECT_GT(Count(487, 397, 560, 420, kOrange), 20);  // "Отмена" selected
}

TEST_F(FrameTexts, GameOverLooksTheSameInBothStates) {
  G().GameState = "GameOver";
  const Surface first = Frame();
  EXPECT_GT(Count(285, 270, 520, 310, kOrange), 100);
  G().GameState = "GameOver2";
  EXPECT_EQ(Frame().Pixels, first.Pixels);
}

TEST_F(FrameTexts, EnterNameShowsThePleaseWaitTextAloneWhileSubmitting) {
  G().GameState = "EnterName";
  G().Score = EncodeScore(1234);
  G().Selection = 1;
  Frame();
  EXPECT_GT(Count(260, 397, 290, 420, kOrange), 10);  // "OK"
  G().Submitting = true;
  Frame();
  EXPECT_GT(Count(320, 280, 520, 305, kWhite), 50);
  EXPECT_EQ(Count(0, 380, 800, 430, kOrange), 0);
}

TEST_F(FrameTexts, PlayShowsThePauseOrTheLevelBannerWhileTimer2Runs) {
  G().GameState = "Game";
  G().Level = 4;
  form->Timer2.SetEnabled(true);
  G().Paused = true;
  Frame();
  EXPECT_GT(Count(360, 200, 480, 240, kOrange), 50);
  G().Paused = false;
  Frame();
  EXPECT_GT(Count(350, 200, 480, 235, kOrange), 50);
  G().PlayerDown = true;  // respawn wait: nothing
  Frame();
  EXPECT_EQ(Count(300, 190, 520, 250, kOrange), 0);
}

TEST_F(FrameTexts, NoAircraftDrawsWhileTimer2RunsAndThreeChecksOtherwise) {
  G().GameState = "Game";
  G().Level = 1;
  G().MaxPlaneKind = 1;
  form->Timer2.SetEnabled(true);
  TRandom copy = form->Random;
  Frame();
  EXPECT_EQ(form->Random.Next(), copy.Next());  // nothing drawn
  form->Timer2.SetEnabled(false);
  copy = form->Random;
  Frame();
  for (int i = 0; i < 3; ++i) copy.Next();  // three checks, no spawn at these odds
  EXPECT_EQ(form->Random.Next(), copy.Next());
}

}  // namespace
