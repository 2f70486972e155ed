#pragma once
// A string-keyed dictionary that remembers insertion order and, by default, compares keys
// without regard to letter case (the "text compare" mode of the scripting runtime).
#include <cstddef>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "util/text.h"

namespace quillon::util {

template <typename T>
class OrderedDict {
 public:
  using Entry = std::pair<std::string, T>;

  explicit OrderedDict(bool ignoreCase = true) : ignoreCase_(ignoreCase) {}
  OrderedDict(const OrderedDict& other) : ignoreCase_(other.ignoreCase_) {
    for (const auto& e : other.entries_) insertOrAssign(e.first, e.second);
  }
  OrderedDict& operator=(const OrderedDict& other) {
    if (this != &other) {
      clear();
      ignoreCase_ = other.ignoreCase_;
      for (const auto& e : other.entries_) insertOrAssign(e.first, e.second);
    }
    return *this;
  }
  OrderedDict(OrderedDict&&) noexcept = default;
  OrderedDict& operator=(OrderedDict&&) noexcept = default;

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  bool contains(std::string_view key) const { return index_.count(norm(key)) != 0; }

  T* find(std::string_view key) {
    auto it = index_.find(norm(key));
    return it == index_.end() ? nullptr : &it->second->second;
  }
  const T* find(std::string_view key) const {
    auto it = index_.find(norm(key));
    return it == index_.end() ? nullptr : &it->second->second;
  }
  // The key as first stored (its original letter case).
  const std::string* storedKey(std::string_view key) const {
    auto it = index_.find(norm(key));
    return it == index_.end() ? nullptr : &it->second->first;
  }

  // Adds the entry when the key is new; returns false (and changes nothing) otherwise.
  bool insert(std::string_view key, T value) {
    std::string k = norm(key);
    if (index_.count(k)) return false;
    entries_.emplace_back(std::string(key), std::move(value));
    index_.emplace(std::move(k), std::prev(entries_.end()));
    return true;
  }
  // Replaces the value of an existing key (keeping its place) or appends a new entry.
  T& insertOrAssign(std::string_view key, T value) {
    std::string k = norm(key);
    auto it = index_.find(k);
    if (it != index_.end()) {
      it->second->second = std::move(value);
      return it->second->second;
    }
    entries_.emplace_back(std::string(key), std::move(value));
    index_.emplace(std::move(k), std::prev(entries_.end()));
    return entries_.back().second;
  }
  T& operator[](std::string_view key) {
    if (T* v = find(key)) return *v;
    return insertOrAssign(key, T{});
  }
  bool erase(std::string_view key) {
    auto it = index_.find(norm(key));
    if (it == index_.end()) return false;
    entries_.erase(it->second);
    index_.erase(it);
    return true;
  }
  void clear() {
    entries_.clear();
    index_.clear();
  }
  std::vector<std::string> keys() const {
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const auto& e : entries_) out.push_back(e.first);
    return out;
  }

  auto begin() { return entries_.begin(); }
  auto end() { return entries_.end(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

 private:
  std::string norm(std::string_view key) const { return ignoreCase_ ? lower(key) : std::string(key); }

  bool ignoreCase_;
  std::list<Entry> entries_;
  std::unordered_map<std::string, typename std::list<Entry>::iterator> index_;
};

}  // namespace quillon::util
