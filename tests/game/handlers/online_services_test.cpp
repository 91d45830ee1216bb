// A record sent to the score server: the two requests and the payload as a real local server
// receives them, and what the game does whatever the server does (answers, refuses, stalls,
// drips, floods, is not there): the wait is bounded and the record is always stored.
#include "game/handlers/OnlineServices.h"

#include <gtest/gtest.h>

#include <chrono>

#include "engine/platform/VirtualKeys.h"
#include "payload/Cp1251.h"
#include "payload/ScorePayload.h"
#include "state/Config.h"
#include "support/CannedServer.h"
#include "support/GameFixture.h"

namespace {

const std::string kCheck = "GET /cgi/version.pl?version&prg=Zarovel HTTP/1.1";
const std::string kSubmit = "GET /cgi/version.pl?hs&prg=Zarovel&inf=";

// The payload back from the request line, decoded here by the rule itself: each character
// is its position in the alphabet, five bits, most significant first; eight bits a byte.
std::string DecodedPayload(const std::string& requestLine) {
  const std::string text = requestLine.substr(kSubmit.size(), requestLine.rfind(' ') - kSubmit.size());
  std::string bits;
  for (char c : text) {
    const size_t v = ScoreAlphabet.find(c);
    EXPECT_NE(v, std::string::npos) << c;
    for (int b = 4; b >= 0; --b) bits += char('0' + ((v >> b) & 1));
  }
  std::string bytes;
  for (size_t i = 0; i + 8 <= bits.size(); i += 8) bytes += char(std::stoi(bits.substr(i, 8), nullptr, 2));
  return bytes;
}

TEST(ScorePayload, EncodesByTheGamesAlphabet) {
  EXPECT_EQ(Base32Text(BitString("abcde")), "NFTGG3DF");
  EXPECT_EQ(BitString("a"), "01100001");
  EXPECT_EQ(Base32Text("1"), "B");  // zeros in front make a whole group
  EXPECT_EQ(DecodeBase32Text("NFTGG3DF"), "abcde");
  EXPECT_EQ(DecodeBase32Text("NFTGG3DI"), std::nullopt);  // I is not in the alphabet
  EXPECT_EQ(DecodeBase32Text("NFTGG3D"), std::nullopt);   // not whole bytes
}

struct Submit : GameFixture {
  void SetUp() override { Start(); }
  // A new record of `score` confirmed on the name entry with the check box ticked.
  void StoreRecord(uint32_t score, bool send = true) {
    G().GameState = "EnterName";
    G().Score = EncodeScore(score);
    G().Settings.SendScore = send;
    G().Selection = 1;
    platform.TakeNotes();
    Key(vk::Return);
  }
  bool MessageShown() {
    for (const auto& note : platform.TakeNotes())
      if (note.Channel == "message" && note.What == "Can't connect to server!") return true;
    return false;
  }
};

TEST_F(Submit, ThePayloadAsTheServerReceivesIt) {
  struct Case {
    std::string entryName, playerName, checkReply;
    uint32_t score;
    std::string payload;
    size_t encodedLength;
  };
  const std::string vasya = platform::Utf8ToCp1251("Вася");
  const Case cases[] = {
      {"abcd", "", "OK|1|2|3|T7|rest", 1234, "type=0|name=abcd|score=1234|key=Q|p=T7|add=|z=0000", 80},
      {"abc", "", "OK|1|2|3|T7|rest", 1234, "type=0|name=abc|score=1234|key=Q|p=T7|add=|z=", 72},
      {"abc", "", "OK", 1234, "type=0|name=abc|score=1234|key=Q|p=|add=|z=00", 0},  // no token
      {vasya, "Player1", "OK|||||", 95, "type=0|name=" + vasya + "|score=95|key=Q|p=|add=Player1|z=0", 0},
      {"a|b=c", "x=y", "OK|a|b|c|tok|", 7, "type=0|name=a|b=c|score=7|key=Q|p=tok|add=x=y|z=00", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.payload);
    CannedServer server({HttpReplyText("200 OK", c.checkReply), HttpReplyText("200 OK", "thanks")});
    form->ScoreServer = server.HostPort();
    G().EntryName.Set(c.entryName);
    G().Settings.PlayerName.Set(c.playerName);
    StoreRecord(c.score);
    server.Join();
    ASSERT_EQ(server.Requests.size(), 2u);
    EXPECT_EQ(server.Requests[0], kCheck);
    ASSERT_EQ(server.Requests[1].rfind(kSubmit, 0), 0u);
    EXPECT_EQ(DecodedPayload(server.Requests[1]), c.payload);
    if (c.encodedLength) {
      EXPECT_EQ(server.Requests[1].size() - kSubmit.size() - 9, c.encodedLength);  // less " HTTP/1.1"
    }
    EXPECT_FALSE(MessageShown());
    EXPECT_EQ(G().GameState, "HiScores");
  }
}

TEST_F(Submit, WhateverTheServerDoesTheWaitIsBoundedAndTheRecordStored) {
  struct Case {
    const char* name;
    std::vector<CannedReply> replies;
    bool closedPort;
    bool message;
  };
  const std::string ok = HttpReplyText("200 OK", "OK|1|2|3|T|");
  const Case cases[] = {
      {"good reply", {{ok}, {ok}}, false, false},
      {"OK without a token", {{HttpReplyText("200 OK", "OK")}, {ok}}, false, false},
      {"ERR", {{HttpReplyText("200 OK", "ERR|1|2|3|T|")}, {ok}}, false, true},
      {"garbage", {{"\x01\x02\xFF garbage\r\n\r\n"}, {ok}}, false, true},
      {"empty reply", {{""}, {""}}, false, true},
      {"10 MB reply", {{HttpReplyText("200 OK", "OK|" + std::string(10 << 20, 'x'))}, {ok}}, false, true},
      {"HTTP 500", {{HttpReplyText("500 Internal Server Error", "OK|1|2|3|T|")}, {ok}}, false, true},
      {"accepts and stalls", {{"", 0, true}, {"", 0, true}}, false, true},
      {"drips a byte a second", {{ok, 1000}, {ok, 1000}}, false, true},
      {"closed port", {}, true, true},
  };
  uint32_t score = 100;  // each record tops the table
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CannedServer server(c.replies);
    std::string host = server.HostPort();
    if (c.closedPort) {
      CannedServer gone(std::vector<CannedReply>{});
      host = gone.HostPort();
    }  // its listener is closed now
    form->ScoreServer = host;
    const auto start = std::chrono::steady_clock::now();
    StoreRecord(++score);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(8));  // 2 x 2.5 s at the most, with room for a slow machine
    EXPECT_EQ(MessageShown(), c.message);
    EXPECT_EQ(DecodeScore(G().Settings.Entry(1).Score), score);  // stored whatever happened
    EXPECT_EQ(G().GameState, "HiScores");
    server.Join();
    if (!c.closedPort) {
      EXPECT_EQ(server.Requests.size(), c.replies.size());  // the submission goes out too
    }
  }
}

TEST_F(Submit, AnUntickedBoxSendsNothing) {
  CannedServer server(std::vector<CannedReply>{});
  form->ScoreServer = server.HostPort();
  StoreRecord(95, false);
  bool requested = false;
  for (const auto& note : platform.TakeNotes()) requested = requested || note.Channel == "http";
  EXPECT_FALSE(requested);
  EXPECT_EQ(DecodeScore(G().Settings.Entry(2).Score), 95u);
}

}  // namespace
