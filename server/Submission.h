// The score submission's payload ("inf"): decoded from the game's base-32 text and checked
// field by field, so that nothing malformed is ever stored.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace scores {

// The highest score accepted; anything above it is not a score the game reaches.
inline constexpr int64_t kMaxScore = 99'999'999;
// The longest name the game sends, in Windows-1251 bytes (the name entry and Options both
// hold 12).
inline constexpr size_t kMaxNameBytes = 12;
// Tokens this server hands out: characters of the game's score alphabet.
inline constexpr size_t kTokenLength = 20;
// The longest encoded payload that can hold valid fields (with room to spare).
inline constexpr size_t kMaxPayloadText = 512;

// A payload that passed every check. Names are still Windows-1251 bytes.
struct Submission {
  std::string Name;
  int64_t Score = 0;
  std::string Token;
  std::string OptionsName;
};

struct SubmissionCheck {
  std::optional<Submission> Value;
  std::string Reason;  // why it was refused, when Value is empty
};

// Decodes and checks an encoded payload: the alphabet, whole bytes (a length that is a
// multiple of 8), then the fields "type=0|name=...|score=...|key=Q|p=...|add=...|z=" and the
// zeros that make the text a multiple of 5, in this order and nothing else.
SubmissionCheck CheckSubmission(std::string_view encoded);

// Decodes and checks the decoded text alone (the fields and the padding).
SubmissionCheck CheckPayloadFields(std::string_view payload);

// True for a text the server could have handed out as a token.
bool IsTokenShaped(std::string_view token);

}  // namespace scores
