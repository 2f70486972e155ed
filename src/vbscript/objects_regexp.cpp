// RegExp with Matches/Match/SubMatches, on std::regex (ECMAScript syntax, close to VBScript's).
// libstdc++'s regex automaton trips a false -Wmaybe-uninitialized with sanitizers on.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>

#include "builtins.h"
#include "native.h"

namespace quillon::vbs {

namespace {

// The read-only collections of a match: its sub-matches and a search's matches (Item, Count, For Each).
class MatchList : public NativeObject {
 public:
  MatchList(const char* typeName, std::vector<Variant> v) : typeName_(typeName), items_(std::move(v)) {}
  std::string typeName() const override { return typeName_; }
  void invoke(Interp&, int id, CallKind, Args a, Variant& r) override {
    if (id == 0 || id == 1) {
      needArgs(a, 1, 1);
      int i = toLong(a[0]);
      if (i < 0 || static_cast<size_t>(i) >= items_.size()) raise(err::InvalidCall);
      r = items_[static_cast<size_t>(i)];
    } else {
      r = Variant::lng(static_cast<int32_t>(items_.size()));
    }
  }
  bool enumerate(Interp&, std::vector<Variant>& out) override { out = items_; return true; }
 protected:
  const MemberTable& table() const override { static const MemberTable t{"item", "count"}; return t; }
 private:
  const char* typeName_;
  std::vector<Variant> items_;
};

class Match : public NativeObject {
 public:
  Match(std::string v, int32_t first, std::vector<Variant> subs) : value_(std::move(v)), first_(first), subs_(std::move(subs)) {}
  std::string typeName() const override { return "IMatch2"; }
  void invoke(Interp& in, int id, CallKind k, Args a, Variant& r) override {
    switch (id) {
      case 0: case 1: r = Variant::str(value_); break;
      case 2: r = Variant::lng(first_); break;
      case 3: r = Variant::lng(static_cast<int32_t>(value_.size())); break;
      case 4: {
        Variant subs = Variant::object(new MatchList("ISubMatches", subs_));
        if (a.n) subs.obj()->invoke(in, 0, k, a, r);  // m.SubMatches(0)
        else r = subs;
        break;
      }
      default: raise(err::NoMember);
    }
  }
 protected:
  const MemberTable& table() const override { static const MemberTable t{"value", "firstindex", "length", "submatches"}; return t; }
 private:
  std::string value_;
  int32_t first_;
  std::vector<Variant> subs_;
};

class RegExp : public NativeObject {
 public:
  std::string typeName() const override { return "IRegExp2"; }
  void invoke(Interp&, int id, CallKind kind, Args a, Variant& r) override {
    switch (id) {
      case kPattern:
        if (isPut(kind)) { pattern_ = toString(a[a.n - 1]); dirty_ = true; return; }
        r = Variant::str(pattern_);
        return;
      case kIgnoreCase: case kGlobal: case kMultiline: {
        bool& flag = id == kIgnoreCase ? ignoreCase_ : id == kGlobal ? global_ : multiline_;
        if (isPut(kind)) { flag = toBool(a[a.n - 1]); dirty_ = true; return; }
        r = Variant::boolean(flag);
        return;
      }
      case kTest: {
        needArgs(a, 1, 1);
        std::string s = toString(a[0]);
        r = Variant::boolean(std::regex_search(s, compiled()));
        return;
      }
      case kExecute: {
        needArgs(a, 1, 1);
        std::string s = toString(a[0]);
        std::vector<Variant> out;
        const std::regex& re = compiled();
        for (auto it = std::sregex_iterator(s.begin(), s.end(), re); it != std::sregex_iterator(); ++it) {
          const std::smatch& m = *it;
          std::vector<Variant> subs;
          for (size_t g = 1; g < m.size(); ++g) subs.push_back(m[g].matched ? Variant::str(m[g].str()) : Variant());
          out.push_back(Variant::object(new Match(m.str(), static_cast<int32_t>(m.position()), std::move(subs))));
          if (!global_) break;
        }
        r = Variant::object(new MatchList("IMatchCollection2", std::move(out)));
        return;
      }
      case kReplace: {
        needArgs(a, 2, 2);
        // The replacement converts as a plain variant conversion does: True gives "-1".
        const Variant& w = a[1];
        std::string s = toString(a[0]);
        std::string with = w.type() == VT::Boolean ? (w.i32() ? "-1" : "0") : toString(w);
        r = Variant::str(replaceAll(s, with));
        return;
      }
      default: raise(err::NoMember);
    }
  }
 protected:
  const MemberTable& table() const override {
    static const MemberTable t{"pattern", "ignorecase", "global", "multiline", "test", "execute", "replace"};
    return t;
  }
 private:
  enum { kPattern = 1, kIgnoreCase, kGlobal, kMultiline, kTest, kExecute, kReplace };
  // Replaces the first match (every match when Global) expanding $n and $nn (groups that
  // exist; others stay as written), $& (the match), $` and $' (the text before and after)
  // and $$ (a dollar sign).
  std::string replaceAll(const std::string& s, const std::string& with) {
    std::string out;
    auto last = s.cbegin();
    for (auto it = std::sregex_iterator(s.begin(), s.end(), compiled()); it != std::sregex_iterator(); ++it) {
      const std::smatch& m = *it;
      out.append(last, m[0].first);
      size_t groups = m.size() - 1;
      for (size_t i = 0; i < with.size(); ++i) {
        char c = with[i];
        if (c != '$' || i + 1 == with.size()) { out += c; continue; }
        char d = with[i + 1];
        if (d == '$') { out += '$'; ++i; continue; }
        if (d == '&') { out += m.str(); ++i; continue; }
        if (d == '`') { out.append(s.cbegin(), m[0].first); ++i; continue; }
        if (d == '\'') { out.append(m[0].second, s.cend()); ++i; continue; }
        if (d >= '0' && d <= '9') {
          size_t n = static_cast<size_t>(d - '0');
          bool two = i + 2 < with.size() && with[i + 2] >= '0' && with[i + 2] <= '9' &&
                     n * 10 + static_cast<size_t>(with[i + 2] - '0') <= groups && n * 10 + static_cast<size_t>(with[i + 2] - '0') > 0;
          if (two) n = n * 10 + static_cast<size_t>(with[i + 2] - '0');
          if (n >= 1 && n <= groups) {
            if (m[n].matched) out += m[n].str();
            i += two ? 2 : 1;
            continue;
          }
        }
        out += c;
      }
      last = m[0].second;
      if (!global_) break;
    }
    out.append(last, s.cend());
    return out;
  }
  const std::regex& compiled() {
    if (dirty_) {
      auto f = std::regex::ECMAScript;
      if (ignoreCase_) f |= std::regex::icase;
      if (multiline_) f |= std::regex::multiline;
      if (pattern_.size() > 2000) raise(err::InvalidCall, "Syntax error in regular expression");
      try {
        re_ = std::regex(pattern_, f);
      } catch (std::regex_error&) {
        raise(5017, "Syntax error in regular expression");
      }
      dirty_ = false;
    }
    return re_;
  }
  std::string pattern_;
  bool ignoreCase_ = false, global_ = false, multiline_ = false, dirty_ = true;
  std::regex re_;
};

}  // namespace

Object* makeRegExp() { return new RegExp(); }

}  // namespace quillon::vbs
