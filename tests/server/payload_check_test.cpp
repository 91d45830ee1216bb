// The server's reading of a submitted payload, fed by the game's own encoder: what the game
// sends passes, and every way a payload can be wrong is refused with its reason.
#include <gtest/gtest.h>

#include "Submission.h"
#include "payload/Cp1251.h"
#include "server/ServerHarness.h"

namespace {

using scores::CheckPayloadFields;
using scores::CheckSubmission;
using server_test::Encoded;
using server_test::EncodedRecord;
using server_test::Padded;

const std::string kToken = "ABCDEFGHJKLMNPQRSTUV";  // 20 characters of the score alphabet

TEST(PayloadCheck, WhatTheGameSendsPasses) {
  const auto check = CheckSubmission(EncodedRecord("Vasya", 30, kToken, "Player1"));
  ASSERT_TRUE(check.Value) << check.Reason;
  EXPECT_EQ(check.Value->Name, "Vasya");
  EXPECT_EQ(check.Value->Score, 30);
  EXPECT_EQ(check.Value->Token, kToken);
  EXPECT_EQ(check.Value->OptionsName, "Player1");
}

TEST(PayloadCheck, EveryNameLengthAndPaddingTheGameMakes) {
  for (size_t length = 0; length <= 12; ++length) {
    for (uint32_t score : {0u, 7u, 1234u, 99999999u}) {
      const std::string name(length, 'n');
      const std::string options(12 - length, 'o');
      const auto check = CheckSubmission(EncodedRecord(name, score, kToken, options));
      ASSERT_TRUE(check.Value) << length << " " << score << ": " << check.Reason;
      EXPECT_EQ(check.Value->Name, name);
      EXPECT_EQ(check.Value->Score, score);
      EXPECT_EQ(check.Value->OptionsName, options);
    }
  }
}

TEST(PayloadCheck, NamesWithTheSeparatorsInThemAreReadWhole) {
  // The game escapes nothing: "|", "=" and whole field names may be typed into a name.
  const std::string names[] = {"a|b=c", "|score=1", "x|key=Q|p=", "|z=", "=|=|=|", "|add=|z=0"};
  for (const std::string& name : names) {
    for (const std::string& options : {std::string(), std::string("|z=0"), std::string("a|z="), name}) {
      const auto check = CheckSubmission(EncodedRecord(name, 42, kToken, options));
      ASSERT_TRUE(check.Value) << name << " / " << options << ": " << check.Reason;
      EXPECT_EQ(check.Value->Name, name);
      EXPECT_EQ(check.Value->Score, 42);
      EXPECT_EQ(check.Value->OptionsName, options);
    }
  }
}

TEST(PayloadCheck, CyrillicNamesArriveAsWindows1251) {
  const std::string name = platform::Utf8ToCp1251("Вася Пупкин");
  const auto check = CheckSubmission(EncodedRecord(name, 95, kToken, platform::Utf8ToCp1251("Ёж")));
  ASSERT_TRUE(check.Value) << check.Reason;
  EXPECT_EQ(platform::Cp1251ToUtf8(check.Value->Name), "Вася Пупкин");
  EXPECT_EQ(platform::Cp1251ToUtf8(check.Value->OptionsName), "Ёж");
}

TEST(PayloadCheck, MalformedPayloadsAreRefusedWithTheirReason) {
  const std::string good = EncodedRecord("Vasya", 30, kToken);
  struct Case {
    std::string Encoded;
    std::string Reason;
  };
  const Case cases[] = {
      {"", "no payload: inf is empty"},
      {good.substr(0, good.size() - 1) + "I", "character \"I\" at " + std::to_string(good.size() - 1) + " is not in the score alphabet"},
      {good.substr(0, 3) + "0" + good.substr(4), "character \"0\" at 3 is not in the score alphabet"},
      {good.substr(0, good.size() - 3), "payload length " + std::to_string(good.size() - 3) + " is not a multiple of 8"},
      {good.substr(0, good.size() - 8), "fields out of order: z must come last"},
      {std::string(600, 'A'), "payload of 600 characters is longer than any the game sends"},
      {Encoded(Padded("name=Vasya|type=0|score=30|key=Q|p=" + kToken + "|add=|z=")),
       "fields out of order: the payload must begin with type"},
      {Encoded(Padded("type=0|score=30|name=Vasya|key=Q|p=" + kToken + "|add=|z=")), "fields out of order: name must follow type"},
      {Encoded(Padded("type=0|name=Vasya|key=Q|p=" + kToken + "|add=|z=")), "fields out of order: score must follow name"},
      // A name may hold "|key=Q" itself, so a swapped key shows where the score ends.
      {Encoded(Padded("type=0|name=Vasya|key=Q|score=30|p=" + kToken + "|add=|z=")), "fields out of order: key must follow score"},
      {Encoded(Padded("type=0|name=Vasya|score=30|p=" + kToken + "|key=Q|add=|z=")), "fields out of order: key must follow score"},
      {Encoded(Padded("type=1|name=Vasya|score=30|key=Q|p=" + kToken + "|add=|z=")), "type is not 0"},
      {EncodedRecord("ABCDEFGHIJKLM", 30, kToken), "name is longer than 12 bytes"},
      {Encoded(Padded("type=0|name=Vasya|score=-30|key=Q|p=" + kToken + "|add=|z=")), "score is negative"},
      {EncodedRecord("Vasya", 100000000, kToken), "score is above 99999999"},
      {Encoded(Padded("type=0|name=Vasya|score=99999999999999999999|key=Q|p=" + kToken + "|add=|z=")), "score is above 99999999"},
      {Encoded(Padded("type=0|name=Vasya|score=030|key=Q|p=" + kToken + "|add=|z=")), "score has leading zeros"},
      {Encoded(Padded("type=0|name=Vasya|score=3e1|key=Q|p=" + kToken + "|add=|z=")), "score is not a decimal number"},
      {Encoded(Padded("type=0|name=Vasya|score=|key=Q|p=" + kToken + "|add=|z=")), "score is empty"},
      {Encoded(Padded("type=0|name=Vasya|score=30|key=R|p=" + kToken + "|add=|z=")), "key is not Q"},
      {Encoded(Padded("type=0|name=Vasya|score=30|key=QQ|p=" + kToken + "|add=|z=")), "key is not Q"},
      {EncodedRecord("Vasya", 30, ""), "no token: p is empty"},
      {EncodedRecord("Vasya", 30, "ABC"), "malformed token"},
      {EncodedRecord("Vasya", 30, kToken, "ABCDEFGHIJKLM"), "options name is longer than 12 bytes"},
      // "type=0|name=Vasya|score=30|key=Q|p=<20>|add=|z=" has 63 characters: the game adds 2 zeros.
      {Encoded("type=0|name=Vasya|score=30|key=Q|p=" + kToken + "|add=|z=0000001"), "z holds something other than zeros"},
      {Encoded("type=0|name=Vasya|score=30|key=Q|p=" + kToken + "|add=|z=0000000"), "z holds 7 zeros where the game adds 2"},
      {EncodedRecord("Va\tsya", 30, kToken), "name holds a control character"},
      {EncodedRecord("Vasya", 30, kToken, std::string("\x98", 1)), "options name holds a control character"},
  };
  for (const Case& c : cases) {
    const auto check = CheckSubmission(c.Encoded);
    EXPECT_FALSE(check.Value) << c.Reason;
    EXPECT_EQ(check.Reason, c.Reason);
  }
}

TEST(PayloadCheck, FieldsAloneAreCheckedAsDecoded) {
  EXPECT_TRUE(CheckPayloadFields("type=0|name=|score=0|key=Q|p=" + kToken + "|add=|z=000").Value);
  EXPECT_EQ(CheckPayloadFields("type=0|name=|score=0|key=Q|p=" + kToken + "|add=|z=").Reason,
            "z holds 0 zeros where the game adds 3");
  EXPECT_EQ(CheckPayloadFields("").Reason, "fields out of order: the payload must begin with type");
}

}  // namespace
