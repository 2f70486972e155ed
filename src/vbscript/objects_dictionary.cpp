// Scripting.Dictionary: keyed items in insertion order, binary or text key comparison.
#include <cstdio>
#include <list>
#include <unordered_map>

#include "builtins.h"
#include "native.h"

namespace quillon::vbs {

namespace {

class Dictionary : public NativeObject {
 public:
  std::string typeName() const override { return "Dictionary"; }

  void invoke(Interp& in, int id, CallKind kind, Args a, Variant& r) override {
    if (id == 0) id = kItem;
    switch (id) {
      case kAdd: {
        needArgs(a, 2, 2);
        std::string k = keyOf(a[0]);
        if (index_.count(k)) raise(err::KeyExists);
        insert(k, a[0], a[1]);
        return;
      }
      case kExists: needArgs(a, 1, 1); r = Variant::boolean(index_.count(keyOf(a[0])) != 0); return;
      case kItem: {
        if (isPut(kind)) {
          needArgs(a, 2, 2);
          std::string k = keyOf(a[0]);
          auto it = index_.find(k);
          if (it == index_.end()) insert(k, a[0], a[1]);
          else it->second->second = a[1];
          return;
        }
        needArgs(a, 1, 1);
        std::string k = keyOf(a[0]);
        auto it = index_.find(k);
        if (it == index_.end()) {
          // Reading a missing key adds it, as the classic object does.
          insert(k, a[0], Variant());
          r = Variant();
          return;
        }
        r = it->second->second;
        return;
      }
      case kKey: {
        if (!isPut(kind)) raise(err::NoMember);
        needArgs(a, 2, 2);
        auto it = index_.find(keyOf(a[0]));
        if (it == index_.end()) raise(err::NoSuchElement);
        std::string nk = keyOf(a[1]);
        if (index_.count(nk)) raise(err::KeyExists);
        auto pos = it->second;
        index_.erase(it);
        pos->first = a[1];
        index_[nk] = pos;
        return;
      }
      case kKeys: case kItems: {
        std::vector<Variant> out;
        out.reserve(items_.size());
        for (auto& e : items_) out.push_back(id == kKeys ? e.first : e.second);
        r = makeVariantArray(std::move(out));
        return;
      }
      case kRemove: {
        needArgs(a, 1, 1);
        auto it = index_.find(keyOf(a[0]));
        if (it == index_.end()) raise(err::NoSuchElement);
        items_.erase(it->second);
        index_.erase(it);
        return;
      }
      case kRemoveAll: items_.clear(); index_.clear(); return;
      case kCount: r = Variant::lng(static_cast<int32_t>(items_.size())); return;
      case kCompareMode:
        if (isPut(kind)) {
          if (!items_.empty()) raise(err::InvalidCall);
          int m = toLong(a[a.n - 1]);
          if (m < 0 || m > 2) raise(err::InvalidCall);
          text_ = m == 1;
          return;
        }
        r = Variant::lng(text_ ? 1 : 0);
        return;
      default: raise(err::NoMember);
    }
    (void)in;
  }

  bool enumerate(Interp&, std::vector<Variant>& out) override {
    for (auto& e : items_) out.push_back(e.first);
    return true;
  }

 protected:
  const MemberTable& table() const override {
    static const MemberTable t{"add", "exists", "item", "key", "keys", "items", "remove", "removeall", "count", "comparemode"};
    return t;
  }

 private:
  enum { kAdd = 1, kExists, kItem, kKey, kKeys, kItems, kRemove, kRemoveAll, kCount, kCompareMode };
  using Entry = std::pair<Variant, Variant>;

  std::string keyOf(const Variant& k) const {
    switch (k.type()) {
      case VT::String: return cat({"s", text_ ? lower(k.s()) : k.s()});
      case VT::Empty: return "e";
      case VT::Null: return "z";
      case VT::Object: {
        char b[32];
        std::snprintf(b, sizeof b, "o%p", static_cast<void*>(k.obj()));
        return b;
      }
      case VT::Array: raise(err::TypeMismatch);
      default: return cat({"n", numberToString(toDouble(k), 17)});
    }
  }
  void insert(const std::string& k, const Variant& key, const Variant& val) {
    items_.emplace_back(key, val);
    index_[k] = std::prev(items_.end());
  }

  std::list<Entry> items_;
  std::unordered_map<std::string, std::list<Entry>::iterator> index_;
  bool text_ = false;
};

}  // namespace

Object* makeDictionary() { return new Dictionary(); }

}  // namespace quillon::vbs
