// Key releases in the menus and questions, Alt+Enter, the credits sum, the rocket burst,
// and typing the options' player name.
#include "game/handlers/Keyboard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "battle/Projectiles.h"
#include "engine/platform/VirtualKeys.h"
#include "game/Screens.h"
#include "game/handlers/Mouse.h"
#include "payload/Cp1251.h"
#include "state/Config.h"
#include "support/GameFixture.h"
#include "ui/MenuWidgets.h"

namespace {

struct Keyboard : GameFixture {
  void SetUp() override { Start(); }
  void Keys(std::initializer_list<int> keys) {
    for (int key : keys) Key(key);
  }
  // Lit buttons as a string of 0/1 for MenuButtons[1..n].
  std::string Lit(int n) {
    std::string lit;
    for (int i = 1; i <= n; ++i) lit += G().MenuButtons[size_t(i)]->Selected ? '1' : '0';
    return lit;
  }
  void AltEnter() {
    Press(vk::Menu);
    Key(vk::Return);
    Release(vk::Menu);
  }
};

constexpr int kUp = vk::Up, kDown = vk::Down, kLeft = vk::Left, kRight = vk::Right;

TEST_F(Keyboard, ArrowsMoveTheSelectionOfEachScreen) {
  struct Case {
    const char* screen;
    std::initializer_list<int> keys;
    int selection;
    const char* lit;
  };
  const Case cases[] = {
      {"Menu", {kUp}, 6, "000001"},  // Up from the first button wraps to Exit
      {"Menu", {kUp, kDown}, 1, "100000"},
      {"Menu", {kDown, kDown}, 3, "001000"},
      {"Options", {kUp}, 4, "0"},
      {"Options", {kUp, kDown}, 5, "1"},
      {"Options", {kDown}, 1, "0"},
      {"HiScores", {kUp, kUp, kUp}, 3, "001"},
      {"HiScores", {kDown}, 1, "100"},
      {"Help", {kUp}, 1, "100"},
      {"Help", {kUp, kRight}, 2, "010"},
      {"Help", {kUp, kRight, kUp}, 1, "110"},  // Up while Next is lit leaves both lit
      {"Help", {kUp, kRight, kLeft}, 1, "100"},
      {"Help", {kUp, kRight, kDown}, 3, "001"},
      {"Help", {kDown, kLeft, kRight}, 3, "001"},  // none of them moves off Back
  };
  for (const Case& c : cases) {
    const std::string screen = c.screen;
    if (screen == "Options") ShowOptions(*form);
    if (screen == "HiScores") ShowScores(*form);
    if (screen == "Help") ShowHelp(*form);
    Beeps();
    Keys(c.keys);
    EXPECT_EQ(G().GameState, screen);
    EXPECT_EQ(G().Selection, c.selection) << screen << " case " << c.lit;
    EXPECT_EQ(Lit(int(std::strlen(c.lit))), c.lit) << screen;
    if (screen == "Help" && c.keys.size() == 3 && *c.keys.begin() == kDown) {
      EXPECT_EQ(Beeps(), 0);
    }
    if (screen != "Menu") Key(vk::Escape);
    G().Selection = G().MenuSelection = 1;
    LightSelectedButton(*form, 6);
  }
}

TEST_F(Keyboard, LeftAndRightChooseTheAnswerOfAQuestion) {
  for (const char* question : {"Exit?", "Clear?"}) {
    G().GameState = question;
    G().Selection = 1;
    Beeps();
    Keys({kRight, kRight});
    EXPECT_EQ(G().Selection, 2);
    Keys({kLeft, kLeft});
    EXPECT_EQ(G().Selection, 1);
    EXPECT_EQ(Beeps(), 2);
  }
}

TEST_F(Keyboard, EscapeLeavesEachScreen) {
  struct Case {
    void (*build)(TForm1&);
    const char* to;
  };
  const Case cases[] = {
      {[](TForm1&) {}, "Exit?"},
      {[](TForm1& f) { AskQuestion(f, "Exit?"); }, "Menu"},
      {ShowOptions, "Menu"},
      {ShowScores, "Menu"},
      {ShowHelp, "Menu"},
      {[](TForm1& f) { ShowScores(f), AskQuestion(f, "Clear?"); }, "HiScores"},
  };
  for (const Case& c : cases) {
    c.build(*form);
    Key(vk::Escape);
    Ticks(1);
    EXPECT_EQ(G().GameState, c.to);
    EXPECT_EQ(CountAlive<TAsk>(*form), std::string(c.to) == "Exit?" ? 1 : 0) << c.to;
    if (std::string(c.to) == "HiScores") ShowMenu(*form);
    if (std::string(c.to) == "Exit?") Key(vk::Escape);
    EXPECT_EQ(G().GameState, "Menu");
    EXPECT_EQ(CountAlive<TMenuB>(*form), 6);
  }
}

TEST_F(Keyboard, EscapeFromOptionsKeepsTheFileAsItWas) {
  ShowOptions(*form);
  G().Selection = 3;
  Key(kRight);  // sound off
  EXPECT_EQ(G().Settings.SoundOn, 0);
  Key(vk::Escape);
  EXPECT_EQ(G().GameState, "Menu");
  EXPECT_EQ(SavedSettings(folder.Dir()).SoundOn, 1);
}

TEST_F(Keyboard, YAndNAnswerExitOnly) {
  Key('Y');
  Key('N');
  EXPECT_EQ(G().GameState, "Menu");
  Key(vk::Escape);
  Key('N');
  EXPECT_EQ(G().GameState, "Menu");
  EXPECT_EQ(CountAlive<TAsk>(*form), 0);
  G().Settings.SoundOn = 0;
  Key(vk::Escape);
  Key('Y');
  EXPECT_TRUE(application.Terminated());
  EXPECT_EQ(SavedSettings(folder.Dir()).SoundOn, 0);
}

TEST_F(Keyboard, EnterOnTheExitQuestion) {
  Keys({vk::Escape, kRight, vk::Return});
  EXPECT_EQ(G().GameState, "Menu");
  EXPECT_EQ(G().Selection, 1);
  EXPECT_EQ(Lit(6), "100000");
  EXPECT_FALSE(application.Terminated());
  Keys({vk::Escape, vk::Space});
  EXPECT_TRUE(application.Terminated());
}

TEST_F(Keyboard, EnterOpensTheSelectedMenuButton) {
  const struct {
    int downs;
    const char* state;
  } cases[] = {{1, "Options"}, {2, "HiScores"}, {3, "Help"}, {4, "Menu"}, {5, "Exit?"}};
  for (const auto& c : cases) {
    for (int i = 0; i < c.downs; ++i) Key(kDown);
    Key(vk::Return);
    EXPECT_EQ(G().GameState, c.state);
    EXPECT_TRUE(G().RequireHover);
    if (std::string(c.state) != "Menu") Key(vk::Escape);
    Ticks(1);
    EXPECT_EQ(G().GameState, "Menu");
    EXPECT_EQ(CountAlive<TMenuB>(*form), 6);
    G().Selection = G().MenuSelection = 1;
    LightSelectedButton(*form, 6);
  }
}

TEST_F(Keyboard, EnterOnTheOptionsRows) {
  ShowOptions(*form);
  // Row 1: the display mode switches through a posted Right release, then back by Left.
  Keys({kDown, vk::Return});
  EXPECT_TRUE(platform.IsFullScreen());
  EXPECT_EQ(SavedSettings(folder.Dir()).Windowed, 0);
  Key(vk::Return);
  EXPECT_FALSE(platform.IsFullScreen());
  // Row 3: sound off and on again.
  Keys({kDown, kDown, vk::Return});
  EXPECT_EQ(G().Settings.SoundOn, 0);
  Key(vk::Return);
  EXPECT_EQ(G().Settings.SoundOn, 1);
  // Row 4: name editing on and off.
  Keys({kDown, vk::Return});
  EXPECT_TRUE(G().NameEditing);
  Key(vk::Space);
  EXPECT_FALSE(G().NameEditing);
  // Row 5: back to the menu without saving.
  G().Settings.SoundOn = 0;
  Keys({kDown, vk::Return});
  EXPECT_EQ(G().GameState, "Menu");
  EXPECT_EQ(SavedSettings(folder.Dir()).SoundOn, 1);
}

TEST_F(Keyboard, TheMusicToggleWaitsForThePostedRelease) {
  ShowOptions(*form);
  G().Selection = 2;
  platform.TakeNotes();
  // The Enter release alone: the music row posts a Left release (music is off) and stops.
  platform.Push({.Type = platform::EventType::KeyUp, .Key = vk::Return});
  platform::Event event;
  ASSERT_TRUE(platform.WaitEvent(event, 0));
  application.Dispatch(event);
  EXPECT_TRUE(platform.TakeNotes().empty());
  ASSERT_TRUE(platform.WaitEvent(event, 0));
  EXPECT_EQ(event.Type, platform::EventType::KeyUp);
  EXPECT_EQ(event.Key, vk::Left);
  EXPECT_EQ(event.Shift, 0u);
  application.Dispatch(event);
  // There is no music file in the test folder: loading fails and music stays off.
  std::vector<std::string> messages;
  for (const auto& note : platform.TakeNotes())
    if (note.Channel == "message") messages.push_back(note.What);
  EXPECT_EQ(messages, std::vector<std::string>{"Не могу загрузить музыку"});
  EXPECT_EQ(G().Settings.MusicOn, 0);
}

TEST_F(Keyboard, EnterAnswersTheClearQuestion) {
  ShowScores(*form);
  G().Settings.Entry(1).Score = EncodeScore(5000);
  Keys({kUp, kUp, vk::Return});  // Clear
  ASSERT_EQ(G().GameState, "Clear?");
  Keys({kRight, vk::Return});  // Cancel
  EXPECT_EQ(G().GameState, "HiScores");
  EXPECT_EQ(DecodeScore(G().Settings.Entry(1).Score), 5000u);
  Keys({vk::Return, vk::Return});  // Clear, OK
  EXPECT_EQ(G().GameState, "HiScores");
  EXPECT_EQ(G().Selection, 1);
  EXPECT_EQ(DecodeScore(G().Settings.Entry(1).Score), 100u);
  Ticks(1);
  EXPECT_EQ(CountAlive<TAsk>(*form), 0);
}

TEST_F(Keyboard, AltEnterTogglesTheDisplayInEveryScreenAndSaves) {
  for (auto show : {ShowOptions, ShowMenu, ShowScores, ShowMenu, ShowHelp}) {
    show(*form);
    const std::string state = G().GameState;
    AltEnter();
    EXPECT_TRUE(platform.IsFullScreen()) << state;
    EXPECT_EQ(SavedSettings(folder.Dir()).Windowed, 0);
    AltEnter();
    EXPECT_FALSE(platform.IsFullScreen()) << state;
    EXPECT_EQ(SavedSettings(folder.Dir()).Windowed, 1);
    EXPECT_EQ(G().GameState, state);  // plain Enter did not act as well
  }
}

TEST_F(Keyboard, TheCreditsLineShowsAtKeySum419Only) {
  Keys({'A', 'B', 'C', 'D', 'E'});
  EXPECT_EQ(G().CreditsKeySum, 335);
  Key('T');
  EXPECT_EQ(G().CreditsKeySum, 419);
  Key(kDown);  // arrows count too
  EXPECT_EQ(G().CreditsKeySum, 459);
  ShowOptions(*form);
  ShowMenu(*form);
  EXPECT_EQ(G().CreditsKeySum, 0);
}

TEST_F(Keyboard, AltRLaunchesElevenPairsOfRocketsInAnyState) {
  G().Level = 3;
  Key('R');
  EXPECT_EQ(CountAlive<TBullet1>(*form), 0);
  Press(vk::Menu);
  Key('R');
  Release(vk::Menu);
  const std::vector<TBullet1*> launched = AliveOf<TBullet1>(*form);
  ASSERT_EQ(launched.size(), 22u);
  struct Case {
    size_t index;
    const char* image;
    double velX, velY;
    int rotation;
    double turnX;
  };
  const Case cases[] = {
      {0, "RaketaR1", 0, -82, 192, 460},  // straight up: rotation -64 in a byte
      {1, "RaketaL1", 0, -82, 64, 340},
      {20, "RaketaR1", 82 * std::cos(10 * std::numbers::pi / 180), 82 * std::sin(10 * std::numbers::pi / 180), 7, 460},
      {21, "RaketaL1", -82 * std::cos(10 * std::numbers::pi / 180), 82 * std::sin(10 * std::numbers::pi / 180), 249, 340},
      {6, "RaketaR1", 82 * std::cos(-60 * std::numbers::pi / 180), 82 * std::sin(-60 * std::numbers::pi / 180), 213, 460},  // -42.67
  };
  for (const Case& c : cases) {
    const TBullet1& r = *launched[c.index];
    EXPECT_EQ(r.ImageItem->Name, c.image);
    EXPECT_NEAR(r.VelX, c.velX, 1e-9) << c.index;
    EXPECT_NEAR(r.VelY, c.velY, 1e-9) << c.index;
    EXPECT_EQ(r.Rotation, c.rotation) << c.index;
    EXPECT_EQ(r.TurnX, c.turnX);
    EXPECT_EQ(r.TurnY, 380);
    EXPECT_EQ(r.X, 400);
    EXPECT_EQ(r.Y, 400);
    EXPECT_EQ(r.Z(), -5);
    EXPECT_EQ(r.BornLevel, 3);
    EXPECT_EQ(r.Kind, 4);
    EXPECT_EQ(r.Damage, 30);
    EXPECT_EQ(r.SpeedFactorX, 0.5);
  }
  // Outside play they are gone at their first move.
  Ticks(1);
  EXPECT_EQ(CountAlive<TBullet1>(*form), 0);
}

TEST_F(Keyboard, TypingEditsTheOptionsNameWhileEditing) {
  const std::string vasya = platform::Utf8ToCp1251("Вася");
  Type("abc");
  EXPECT_EQ(G().Settings.PlayerName.Get(), "");  // not editing
  G().NameEditing = true;
  struct Case {
    std::string typed;
    std::string name;
  };
  const Case cases[] = {
      {vasya, vasya},                          // Cyrillic arrives as Windows-1251
      {"\b\b", vasya.substr(0, 2)},            // Backspace removes the last character
      {"\b\b\b", ""},                          // and does nothing on an empty name
      {" !/0:~", "0:~"},                       // codes below '0' are ignored
      {"123456789xyz", "0:~123456789"},        // twelve at most
  };
  for (const Case& c : cases) {
    Type(c.typed);
    EXPECT_EQ(G().Settings.PlayerName.Get(), c.name);
  }
  Press(vk::Back);  // the key's own Backspace character
  EXPECT_EQ(G().Settings.PlayerName.Get(), "0:~12345678");
}

// Enter pressed while Alt was held is Alt+Enter whichever is let go first; Alt pressed only
// after Enter is not.
TEST_F(Keyboard, AltEnterCountsTheModifiersAtThePress) {
  struct Case {
    const char* order;
    std::vector<std::pair<bool, int>> steps;  // down?, key
    bool toggles;
  };
  const Case cases[] = {
      {"Alt, Enter, Enter up, Alt up", {{true, vk::Menu}, {true, vk::Return}, {false, vk::Return}, {false, vk::Menu}}, true},
      {"Alt, Enter, Alt up, Enter up", {{true, vk::Menu}, {true, vk::Return}, {false, vk::Menu}, {false, vk::Return}}, true},
      {"Enter, Alt, Enter up, Alt up", {{true, vk::Return}, {true, vk::Menu}, {false, vk::Return}, {false, vk::Menu}}, false},
      {"Enter, Alt, Alt up, Enter up", {{true, vk::Return}, {true, vk::Menu}, {false, vk::Menu}, {false, vk::Return}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.order);
    ShowMenu(*form);
    G().Selection = 4;  // "Помощь" lit: a plain Enter opens the help
    const uint8_t windowed = G().Settings.Windowed;
    for (const auto& [down, key] : c.steps) down ? Press(key) : Release(key);
    EXPECT_EQ(G().Settings.Windowed != windowed, c.toggles);
    EXPECT_EQ(G().GameState, c.toggles ? "Menu" : "Help");
    if (G().GameState == "Help") ShowMenu(*form);
  }
}

}  // namespace
