// Input devices: the key table, the joystick's dead zone and the edge rule of PollInput.
#include "engine/DXInput.h"

#include <gtest/gtest.h>

#include "engine/platform/headless/HeadlessPlatform.h"

namespace {

struct InputFixture : ::testing::Test {
  platform::HeadlessPlatform platform;
  TDXInput input{platform};

  void SetUp() override { input.Keyboard.Assigns = TDXInput::StoredAssigns(); }
  void Key(int key, bool down) {
    platform::Event event;
    event.Type = down ? platform::EventType::KeyDown : platform::EventType::KeyUp;
    event.Key = key;
    platform.Push(event);
  }
};

TEST_F(InputFixture, AnyKeyOfARowSetsItsStateOnce) {
  input.Keyboard.Assigns[isUp] = {'W', 38, 104};
  Key('W', true);
  Key(38, true);
  input.PollInput();
  EXPECT_TRUE(input.Has(isUp));
  Key('W', false);  // the Up arrow still holds it
  input.PollInput();
  EXPECT_TRUE(input.Has(isUp));
  Key(38, false);
  input.PollInput();
  EXPECT_FALSE(input.Has(isUp));
}

TEST_F(InputFixture, CodesOutsideOneTo255NeverMatch) {
  input.Keyboard.Assigns[isButton(3)] = {0, 256, -1};
  for (int k = 1; k < 256; ++k) Key(k, true);
  input.PollInput();
  EXPECT_FALSE(input.Has(isButton(3)));
  EXPECT_TRUE(input.Has(isButton1));  // Z, Space
}

TEST_F(InputFixture, AStateTheGameRemovesStaysOffUntilPressedAgain) {
  Key(32, true);
  input.PollInput();
  ASSERT_TRUE(input.Has(isButton1));
  input.Remove(isButton1);
  input.PollInput();  // still held: no new edge
  EXPECT_FALSE(input.Has(isButton1));
  Key(32, false);
  input.PollInput();
  Key(32, true);
  input.PollInput();
  EXPECT_TRUE(input.Has(isButton1));
}

TEST_F(InputFixture, AStateTheGameAddsStaysOnUntilAReleaseIsSeen) {
  input.Add(isButton2);
  input.PollInput();
  EXPECT_TRUE(input.Has(isButton2));
  Key('X', true);
  input.PollInput();
  Key('X', false);
  input.PollInput();
  EXPECT_FALSE(input.Has(isButton2));
}

TEST_F(InputFixture, BackgroundWindowReportsNoStates) {
  Key(37, true);
  input.PollInput();
  ASSERT_TRUE(input.Has(isLeft));
  platform.SetForeground(false);
  input.PollInput();
  EXPECT_EQ(input.States, 0u);
}

TEST(JoystickAxis, DeadZoneAndScaling) {
  // Raw range 0..65534: half 32767. Dead zone 50%: 16383.
  struct Case {
    int position, deadZone, expected;
  };
  const Case cases[] = {
      {32767, 50, 0},                       // centre
      {32767 + 13107, 50, 0},               // 40% of the half range: inside the dead zone
      {32767 - 13107, 50, 0},
      {32767 + 19660, 50, 200},             // 60%: outside
      {32767 - 19660, 50, -200},
      {65534, 50, 1000},                    // full deflection
      {0, 50, -1000},
      {65534, 100, 0},                      // all dead zone
      {65534, 150, 0},                      // clamped to 100
      {32767 + 3277, -5, 100},              // clamped to 0
  };
  for (const Case& c : cases)
    EXPECT_EQ(TJoystick::ScaleAxis(c.position, 0, 65534, c.deadZone, 1000), c.expected)
        << "position " << c.position << " dead zone " << c.deadZone;
}

TEST_F(InputFixture, JoystickSetsDirectionsAndButtons) {
  platform::JoystickReading reading;
  reading.AxisMin = 0;
  reading.AxisMax = 65534;
  reading.X = 0;             // left
  reading.Y = 32767 + 13107;  // inside the dead zone
  reading.Z = 32767;
  reading.Buttons = 0b101;   // buttons 0 and 2
  platform.SetJoystick(true, reading);
  input.PollInput();
  EXPECT_TRUE(input.Has(isLeft));
  EXPECT_FALSE(input.Has(isRight));
  EXPECT_FALSE(input.Has(isUp));
  EXPECT_FALSE(input.Has(isDown));
  EXPECT_TRUE(input.Has(isButton(1)));
  EXPECT_FALSE(input.Has(isButton(2)));
  EXPECT_TRUE(input.Has(isButton(3)));
  EXPECT_EQ(input.Joystick.X, -1000);
}

}  // namespace
