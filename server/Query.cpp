#include "Query.h"

namespace scores {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A malformed escape is kept as it stands.
std::string Decode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out += char(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else if (text[i] == '+' && plusIsSpace) {
      out += ' ';
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

Query::Query(std::string_view target) {
  const size_t mark = target.find('?');
  path_ = Decode(target.substr(0, mark), false);
  if (mark == std::string_view::npos) return;
  std::string_view query = target.substr(mark + 1);
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view param = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (param.empty()) continue;
    const size_t equals = param.find('=');
    params_.emplace_back(Decode(param.substr(0, equals), true),
                         equals == std::string_view::npos ? std::string() : Decode(param.substr(equals + 1), true));
  }
}

bool Query::Has(std::string_view key) const { return Count(key) > 0; }

std::string Query::Value(std::string_view key) const {
  for (const auto& [k, v] : params_)
    if (k == key) return v;
  return {};
}

size_t Query::Count(std::string_view key) const {
  size_t n = 0;
  for (const auto& param : params_) n += param.first == key ? 1 : 0;
  return n;
}

}  // namespace scores
