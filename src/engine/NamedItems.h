// Owned items found by their Name: case-insensitive, the later of equal names winning,
// through a 256-bucket index rebuilt on the first lookup after an Add.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/TextCompare.h"

template <class Item>
class TNamedItems {
 public:
  int Count() const { return int(items_.size()); }
  Item& Items(int index) { return *items_.at(size_t(index)); }
  const Item& Items(int index) const { return *items_.at(size_t(index)); }
  // In the order added.
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  // Appends an item made from args; it is indexed under its name at the next Find.
  template <class... Args>
  Item& Add(Args&&... args) {
    items_.push_back(std::make_unique<Item>(std::forward<Args>(args)...));
    indexDirty_ = true;
    return *items_.back();
  }

  void Clear() {
    items_.clear();
    for (auto& bucket : buckets_) bucket.clear();
    indexDirty_ = false;
  }

  // nullptr when no item has the name.
  Item* Find(const std::string& name) {
    if (indexDirty_) Reindex();
    const auto& bucket = buckets_[size_t(NameHash(name))];
    for (auto it = bucket.rbegin(); it != bucket.rend(); ++it) {
      if (SameText((*it)->Name, name)) return *it;
    }
    return nullptr;
  }

  // The bucket of a name: length * 16 plus the lower-cased first and next-to-last
  // characters, mod 256; a name shorter than 2 is length * 16 alone.
  static int NameHash(const std::string& name) {
    const size_t n = name.size();
    if (n < 2) return int((n * 16) & 255);
    return int((n * 16 + uint8_t(LowerAscii(name[0])) + uint8_t(LowerAscii(name[n - 2]))) & 255);
  }

 private:
  void Reindex() {
    for (auto& bucket : buckets_) bucket.clear();
    for (const auto& item : items_) {
      if (!item->Name.empty()) buckets_[size_t(NameHash(item->Name))].push_back(item.get());
    }
    indexDirty_ = false;
  }

  std::vector<std::unique_ptr<Item>> items_;
  // Each chain is searched from its back, the most recently named item first.
  std::array<std::vector<Item*>, 256> buckets_;
  bool indexDirty_ = false;
};
