// The text a record travels to the score server in: the fields of the score request, their
// bits, and the base-32 text made of them with the game's own alphabet. Shared by the game,
// which encodes, and the score server, which decodes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Values 0..31: the Latin capitals without I, O and Z, then the digits 1 to 9.
inline constexpr std::string_view ScoreAlphabet = "ABCDEFGHJKLMNPQRSTUVWXY123456789";

// The field between the fourth and the fifth "|" of a check reply; empty unless the reply
// holds at least five of them.
std::string ServerToken(std::string_view reply);

// "type=0|name=...|score=...|key=Q|p=...|add=...|z=" and as many "0" as make its length a
// multiple of 5. Names are Windows-1251 bytes, at most 12, sent as typed (nothing escaped).
std::string ScoreRequest(std::string_view entryName, uint32_t score, std::string_view token,
                         std::string_view playerName);

// Every byte as eight characters "0" or "1", most significant bit first.
std::string BitString(std::string_view bytes);
// Groups of five bits (zeros put in front to make whole groups), each one character of
// ScoreAlphabet; anything but "0" counts as a 1 bit. "abcde" gives "NFTGG3DF".
std::string Base32Text(std::string_view bits);

// The bytes a Base32Text of whole bytes came from; nothing when a character is not of the
// alphabet or the bits do not make whole bytes.
std::optional<std::string> DecodeBase32Text(std::string_view text);
