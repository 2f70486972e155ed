// Base for objects implemented in C++ with a fixed member list.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "convert.h"
#include "errors.h"
#include "interp.h"

namespace quillon::vbs {

// A member table: ids are positions + 1. One static table per class.
class MemberTable {
 public:
  MemberTable(std::initializer_list<const char*> names) : names_(names.begin(), names.end()) {}
  int find(std::string_view lowerName) const {
    for (size_t i = 0; i < names_.size(); ++i)
      if (lowerName == names_[i]) return static_cast<int>(i) + 1;
    return -1;
  }
 private:
  std::vector<std::string_view> names_;
};

class NativeObject : public Object {
 public:
  int memberId(std::string_view lowerName) override { return table().find(lowerName); }
  const void* classKey() const override { return &table(); }
 protected:
  virtual const MemberTable& table() const = 0;
  static void needArgs(Args a, int lo, int hi) { if (a.n < lo || a.n > hi) raise(err::WrongArgs); }
  static bool isPut(CallKind k) { return k == CallKind::Let || k == CallKind::Set; }
};

Object* makeDictionary();
Object* makeFileSystemObject();
Object* makeRegExp();
Object* makeShell();

}  // namespace quillon::vbs
