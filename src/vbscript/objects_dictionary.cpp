// Scripting.Dictionary: keyed items in insertion order, binary or text key comparison.
#include <cstdio>
#include <cstdint>
#include <functional>

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
        size_t h = hashOf(k);
        if (find(k, h) >= 0) raise(err::KeyExists);
        insert(std::move(k), h, a[0], a[1]);
        return;
      }
      case kExists: {
        needArgs(a, 1, 1);
        std::string k = keyOf(a[0]);
        r = Variant::boolean(find(k, hashOf(k)) >= 0);
        return;
      }
      case kItem: {
        needArgs(a, isPut(kind) ? 2 : 1, isPut(kind) ? 2 : 1);
        std::string k = keyOf(a[0]);
        size_t h = hashOf(k);
        long i = find(k, h);
        if (isPut(kind)) {
          if (i < 0) insert(std::move(k), h, a[0], a[1]);
          else entries_[static_cast<size_t>(i)].item = a[1];
          return;
        }
        if (i < 0) {
          // Reading a missing key adds it, as the classic object does.
          insert(std::move(k), h, a[0], Variant());
          r = Variant();
          return;
        }
        r = entries_[static_cast<size_t>(i)].item;
        return;
      }
      case kKey: {
        if (!isPut(kind)) raise(err::NoMember);
        needArgs(a, 2, 2);
        std::string k = keyOf(a[0]);
        long i = find(k, hashOf(k));
        if (i < 0) raise(err::NoSuchElement);
        std::string nk = keyOf(a[1]);
        size_t nh = hashOf(nk);
        if (find(nk, nh) >= 0) raise(err::KeyExists);
        // The entry keeps its place in the order under its new key.
        Entry& e = entries_[static_cast<size_t>(i)];
        unlink(e.hash, static_cast<size_t>(i));
        e.k = std::move(nk);
        e.hash = nh;
        e.key = a[1];
        link(nh, static_cast<size_t>(i));
        return;
      }
      case kKeys: case kItems: {
        std::vector<Variant> out;
        out.reserve(live_);
        for (auto& e : entries_)
          if (e.live) out.push_back(id == kKeys ? e.key : e.item);
        r = makeVariantArray(std::move(out));
        return;
      }
      case kRemove: {
        needArgs(a, 1, 1);
        std::string k = keyOf(a[0]);
        size_t h = hashOf(k);
        long i = find(k, h);
        if (i < 0) raise(err::NoSuchElement);
        remove(h, static_cast<size_t>(i));
        return;
      }
      case kRemoveAll: clear(); return;
      case kCount: r = Variant::lng(static_cast<int32_t>(live_)); return;
      case kCompareMode:
        if (isPut(kind)) {
          if (live_) raise(err::InvalidCall);
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
    for (auto& e : entries_)
      if (e.live) out.push_back(e.key);
    return true;
  }

 protected:
  const MemberTable& table() const override {
    static const MemberTable t{"add", "exists", "item", "key", "keys", "items", "remove", "removeall", "count", "comparemode"};
    return t;
  }

 private:
  enum { kAdd = 1, kExists, kItem, kKey, kKeys, kItems, kRemove, kRemoveAll, kCount, kCompareMode };
  // Entries in insertion order; removed ones stay as gaps until the next compaction.
  struct Entry {
    std::string k;  // the key's comparison text
    size_t hash = 0;
    Variant key, item;
    bool live = true;
  };
  // Open addressing with linear probing over entry positions: kEmpty, kGone or position + 2.
  static constexpr uint32_t kEmpty = 0, kGone = 1;

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
  static size_t hashOf(const std::string& k) { return std::hash<std::string>{}(k); }

  long find(const std::string& k, size_t h) const {
    if (table_.empty()) return -1;
    size_t mask = table_.size() - 1;
    for (size_t p = h & mask;; p = (p + 1) & mask) {
      uint32_t t = table_[p];
      if (t == kEmpty) return -1;
      if (t == kGone) continue;
      const Entry& e = entries_[t - 2];
      if (e.hash == h && e.k == k) return static_cast<long>(t - 2);
    }
  }
  void link(size_t h, size_t pos) {
    size_t mask = table_.size() - 1;
    size_t p = h & mask;
    while (table_[p] > kGone) p = (p + 1) & mask;
    if (table_[p] == kEmpty) ++used_;
    table_[p] = static_cast<uint32_t>(pos + 2);
  }
  void unlink(size_t h, size_t pos) {
    size_t mask = table_.size() - 1;
    for (size_t p = h & mask;; p = (p + 1) & mask)
      if (table_[p] == pos + 2) { table_[p] = kGone; return; }
  }
  void insert(std::string k, size_t h, const Variant& key, const Variant& val) {
    if ((used_ + 1) * 4 > table_.size() * 3 || entries_.size() >= 0xFFFFFFF0u) rebuild(live_ + 1);
    entries_.push_back(Entry{std::move(k), h, key, val, true});
    ++live_;
    link(h, entries_.size() - 1);
  }
  void remove(size_t h, size_t pos) {
    unlink(h, pos);
    Entry& e = entries_[pos];
    e.live = false;
    Variant key = std::move(e.key), item = std::move(e.item);  // released after the entry is gone
    e.k.clear();
    --live_;
    if (entries_.size() > 16 && live_ * 2 < entries_.size()) rebuild(live_);
  }
  // Drops the gaps and sizes the table for `want` entries at most three quarters full.
  void rebuild(size_t want) {
    if (live_ != entries_.size()) {
      std::vector<Entry> kept;
      kept.reserve(live_);
      for (auto& e : entries_)
        if (e.live) kept.push_back(std::move(e));
      entries_.swap(kept);
    }
    size_t cap = 16;
    while (cap * 3 < want * 4 + 4) cap *= 2;
    table_.assign(cap, kEmpty);
    used_ = 0;
    for (size_t i = 0; i < entries_.size(); ++i) link(entries_[i].hash, i);
  }
  void clear() {
    std::vector<Entry> old;
    old.swap(entries_);  // values released after the dictionary is empty
    table_.clear();
    live_ = used_ = 0;
  }

  std::vector<Entry> entries_;
  std::vector<uint32_t> table_;
  size_t live_ = 0, used_ = 0;  // live entries; table cells in use (entries and gaps)
  bool text_ = false;
};

}  // namespace

Object* makeDictionary() { return new Dictionary(); }

}  // namespace quillon::vbs
