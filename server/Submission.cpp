// Checking a submitted payload. Names are not escaped by the game, so a name may itself hold
// "|" or "="; the name is the one reading, at most 12 bytes long, after which the remaining
// fields all parse. Twelve bytes are too few to hold a whole set of fake fields, so at most
// one reading can succeed.
#include "Submission.h"

#include <algorithm>

#include "payload/ScorePayload.h"

namespace scores {
namespace {

SubmissionCheck Refuse(std::string reason) { return {std::nullopt, std::move(reason)}; }

// Takes `prefix` off the front of `text` when it is there.
bool Consume(std::string_view& text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// The text up to the next "|" (or the end), taken off the front of `text`.
std::string_view Field(std::string_view& text) {
  const size_t bar = std::min(text.find('|'), text.size());
  const std::string_view value = text.substr(0, bar);
  text.remove_prefix(bar);
  return value;
}

// Control characters, and 0x98, the one byte Windows-1251 leaves without a character.
bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || byte == 0x98;
  });
}

// A character as a reason may show it: printable ASCII in quotes, anything else as its code.
std::string Shown(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x21 && byte < 0x7F && c != '"') return std::string("\"") + c + "\"";
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("byte 0x") + kHex[byte >> 4] + kHex[byte & 15];
}

// Everything after "|score=", for one reading of the name.
SubmissionCheck CheckAfterName(std::string_view payload, std::string_view name, std::string_view rest) {
  const std::string_view score = Field(rest);
  if (score.empty()) return Refuse("score is empty");
  if (score[0] == '-') return Refuse("score is negative");
  if (!std::all_of(score.begin(), score.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return Refuse("score is not a decimal number");
  if (score.size() > 1 && score[0] == '0') return Refuse("score has leading zeros");
  int64_t value = 0;
  for (const char c : score) {
    value = value * 10 + (c - '0');
    if (value > kMaxScore) return Refuse("score is above " + std::to_string(kMaxScore));
  }
  if (!Consume(rest, "|key=")) return Refuse("fields out of order: key must follow score");
  if (Field(rest) != "Q") return Refuse("key is not Q");
  if (!Consume(rest, "|p=")) return Refuse("fields out of order: p must follow key");
  const std::string_view token = Field(rest);
  if (token.empty()) return Refuse("no token: p is empty");
  if (!IsTokenShaped(token)) return Refuse("malformed token");
  if (!Consume(rest, "|add=")) return Refuse("fields out of order: add must follow p");
  // The padding holds only zeros, so the last "|z=" is the real one even when the options
  // name holds "|z=" itself.
  const size_t z = rest.rfind("|z=");
  if (z == std::string_view::npos) return Refuse("fields out of order: z must come last");
  const std::string_view optionsName = rest.substr(0, z);
  const std::string_view zeros = rest.substr(z + 3);
  if (optionsName.size() > kMaxNameBytes)
    return Refuse("options name is longer than " + std::to_string(kMaxNameBytes) + " bytes");
  if (zeros.find_first_not_of('0') != std::string_view::npos) return Refuse("z holds something other than zeros");
  const size_t padding = (5 - (payload.size() - zeros.size()) % 5) % 5;
  if (zeros.size() != padding)
    return Refuse("z holds " + std::to_string(zeros.size()) + " zeros where the game adds " +
                  std::to_string(padding));
  if (HasControl(name)) return Refuse("name holds a control character");
  if (HasControl(optionsName)) return Refuse("options name holds a control character");
  return {Submission{std::string(name), value, std::string(token), std::string(optionsName)}, {}};
}

}  // namespace

bool IsTokenShaped(std::string_view token) {
  return token.size() == kTokenLength &&
         std::all_of(token.begin(), token.end(), [](char c) { return ScoreAlphabet.find(c) != std::string_view::npos; });
}

SubmissionCheck CheckPayloadFields(std::string_view payload) {
  std::string_view rest = payload;
  if (!Consume(rest, "type=")) return Refuse("fields out of order: the payload must begin with type");
  if (Field(rest) != "0") return Refuse("type is not 0");
  if (!Consume(rest, "|name=")) return Refuse("fields out of order: name must follow type");
  std::string firstReason;
  for (size_t length = 0; length <= std::min(kMaxNameBytes, rest.size()); ++length) {
    std::string_view after = rest.substr(length);
    if (!Consume(after, "|score=")) continue;
    SubmissionCheck check = CheckAfterName(payload, rest.substr(0, length), after);
    if (check.Value) return check;
    if (firstReason.empty()) firstReason = std::move(check.Reason);
  }
  if (!firstReason.empty()) return Refuse(firstReason);
  if (rest.find("|score=") != std::string_view::npos)
    return Refuse("name is longer than " + std::to_string(kMaxNameBytes) + " bytes");
  return Refuse("fields out of order: score must follow name");
}

SubmissionCheck CheckSubmission(std::string_view encoded) {
  if (encoded.empty()) return Refuse("no payload: inf is empty");
  if (encoded.size() > kMaxPayloadText)
    return Refuse("payload of " + std::to_string(encoded.size()) + " characters is longer than any the game sends");
  for (size_t i = 0; i < encoded.size(); ++i)
    if (ScoreAlphabet.find(encoded[i]) == std::string_view::npos)
      return Refuse("character " + Shown(encoded[i]) + " at " + std::to_string(i) + " is not in the score alphabet");
  if (encoded.size() % 8 != 0)
    return Refuse("payload length " + std::to_string(encoded.size()) + " is not a multiple of 8");
  const std::optional<std::string> payload = DecodeBase32Text(encoded);
  if (!payload) return Refuse("payload does not decode to whole bytes");
  return CheckPayloadFields(*payload);
}

}  // namespace scores
