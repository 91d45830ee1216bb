// The score request and its encoding.
#include "payload/ScorePayload.h"

std::string ServerToken(std::string_view reply) {
  std::string_view token;
  for (int pass = 0; pass < 5; ++pass) {
    const size_t bar = reply.find('|');
    if (bar == std::string_view::npos) return {};
    token = reply.substr(0, bar);
    reply.remove_prefix(bar + 1);
  }
  return std::string(token);
}

std::string ScoreRequest(std::string_view entryName, uint32_t score, std::string_view token,
                         std::string_view playerName) {
  std::string text = "type=0|name=";
  text += entryName;
  text += "|score=" + std::to_string(score) + "|key=Q|p=";
  text += token;
  text += "|add=";
  text += playerName;
  text += "|z=";
  while (text.size() % 5 != 0) text += '0';
  return text;
}

std::string BitString(std::string_view bytes) {
  std::string bits;
  bits.reserve(bytes.size() * 8);
  for (const char c : bytes)
    for (int bit = 7; bit >= 0; --bit) bits += ((uint8_t(c) >> bit) & 1) != 0 ? '1' : '0';
  return bits;
}

std::string Base32Text(std::string_view bits) {
  const std::string padded = std::string((5 - bits.size() % 5) % 5, '0') + std::string(bits);
  std::string text;
  text.reserve(padded.size() / 5);
  for (size_t i = 0; i < padded.size(); i += 5) {
    int value = 0;
    for (size_t k = 0; k < 5; ++k) value = value * 2 + (padded[i + k] != '0' ? 1 : 0);
    text += ScoreAlphabet[size_t(value)];
  }
  return text;
}

std::optional<std::string> DecodeBase32Text(std::string_view text) {
  std::string bits;
  bits.reserve(text.size() * 5);
  for (const char c : text) {
    const size_t value = ScoreAlphabet.find(c);
    if (value == std::string_view::npos) return std::nullopt;
    for (int bit = 4; bit >= 0; --bit) bits += ((value >> bit) & 1) != 0 ? '1' : '0';
  }
  if (bits.size() % 8 != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < bits.size(); i += 8) {
    int byte = 0;
    for (size_t k = 0; k < 8; ++k) byte = byte * 2 + (bits[i + k] == '1' ? 1 : 0);
    bytes += char(byte);
  }
  return bytes;
}
