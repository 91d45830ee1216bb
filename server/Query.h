// A request target's path and query ("/cgi/version.pl?hs&prg=Zarovel&inf=..."), split and
// decoded as HTML forms encode them: %XX escapes, and '+' for a space.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scores {

class Query {
 public:
  explicit Query(std::string_view target);

  const std::string& Path() const { return path_; }
  // Whether the query names the key, with or without a value.
  bool Has(std::string_view key) const;
  // The key's first value; empty when it has none.
  std::string Value(std::string_view key) const;
  size_t Count(std::string_view key) const;

 private:
  std::string path_;
  std::vector<std::pair<std::string, std::string>> params_;
};

}  // namespace scores
