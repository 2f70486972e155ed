// The Variant: a tagged 16-byte value with refcounted strings, arrays and objects.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon::vbs {

// Tags use the classic VarType numbers so VarType() is a direct read.
enum class VT : uint8_t {
  Empty = 0, Null = 1, Integer = 2, Long = 3, Single = 4, Double = 5, Currency = 6,
  Date = 7, String = 8, Object = 9, Error = 10, Boolean = 11, Byte = 17, Array = 200
};

class Interp;
class Variant;

// Immutable-by-convention string body; mutated in place only while uniquely owned.
struct StrData {
  int refs = 1;
  std::string s;
  explicit StrData(std::string v) : s(std::move(v)) {}
};

struct ArrayData {
  int refs = 1;
  bool fixed = false;  // declared with bounds by Dim: ReDim refuses it
  std::vector<std::pair<int32_t, int32_t>> bounds;  // (lower bound, element count) per dimension
  std::vector<Variant> data;                        // first index varies fastest
  ArrayData() = default;
  ArrayData(const ArrayData&) = default;
};

// Arguments of a call: pointers to the caller's variables (when passed by reference)
// or to temporaries. Writing through them updates a ByRef argument.
struct Args {
  Variant** p = nullptr;
  int n = 0;
  Variant& operator[](int i) const { return *p[i]; }
  int size() const { return n; }
};

// How a member is being used at a call site.
enum class CallKind : uint8_t { Get, Call, Let, Set };

// Base of everything a script can hold as an Object (script class instances, runtime
// objects, host objects). Member ids are resolved once per name; id 0 is the default member.
class Object {
 public:
  int refs = 0;
  virtual ~Object() = default;
  virtual std::string typeName() const = 0;
  // Returns a member id (> 0) for a lower-case name, or -1 when there is no such member.
  virtual int memberId(std::string_view lowerName) = 0;
  // For Let/Set the value assigned is the last argument.
  virtual void invoke(Interp& in, int id, CallKind kind, Args args, Variant& result) = 0;
  // For Each support: fill out with the items to visit; false if not a collection.
  virtual bool enumerate(Interp&, std::vector<Variant>&) { return false; }
  // Called when the last reference goes; the default deletes.
  virtual void lastReleased() { delete this; }
  // Identity used to cache member ids at call sites (objects of one kind share it).
  virtual const void* classKey() const { return nullptr; }
};

inline void retain(Object* o) { if (o) ++o->refs; }
void release(Object* o);

class Variant {
 public:
  Variant() : t_(VT::Empty) { u_.i64 = 0; }
  ~Variant() { if (t_ >= VT::String) drop(); }
  Variant(const Variant& o) : t_(o.t_), u_(o.u_) { if (t_ >= VT::String) grab(); }
  Variant(Variant&& o) noexcept : t_(o.t_), u_(o.u_) { o.t_ = VT::Empty; }
  Variant& operator=(const Variant& o) {
    if (t_ < VT::String && o.t_ < VT::String) { t_ = o.t_; u_ = o.u_; return *this; }
    Variant tmp(o);
    return *this = std::move(tmp);
  }
  Variant& operator=(Variant&& o) noexcept {
    if (this == &o) return *this;
    // The old value is released only once the new one is in place: o may live inside it,
    // and a class terminator run by the release sees the variable's new value.
    Variant old;
    old.t_ = t_;
    old.u_ = u_;
    t_ = o.t_;
    u_ = o.u_;
    o.t_ = VT::Empty;
    return *this;
  }
  void swap(Variant& o) noexcept { std::swap(t_, o.t_); std::swap(u_, o.u_); }

  static Variant null() { Variant v; v.t_ = VT::Null; return v; }
  static Variant boolean(bool b) { Variant v; v.t_ = VT::Boolean; v.u_.i32 = b ? -1 : 0; return v; }
  static Variant byte(uint8_t b) { Variant v; v.t_ = VT::Byte; v.u_.i32 = b; return v; }
  static Variant integer(int16_t i) { Variant v; v.t_ = VT::Integer; v.u_.i32 = i; return v; }
  static Variant lng(int32_t i) { Variant v; v.t_ = VT::Long; v.u_.i32 = i; return v; }
  static Variant single(float f) { Variant v; v.t_ = VT::Single; v.u_.f = f; return v; }
  static Variant dbl(double d) { Variant v; v.t_ = VT::Double; v.u_.d = d; return v; }
  static Variant currency(int64_t scaled) { Variant v; v.t_ = VT::Currency; v.u_.i64 = scaled; return v; }
  static Variant date(double d) { Variant v; v.t_ = VT::Date; v.u_.d = d; return v; }
  static Variant error(int32_t code) { Variant v; v.t_ = VT::Error; v.u_.i32 = code; return v; }
  static Variant str(std::string s) { Variant v; v.t_ = VT::String; v.u_.s = new StrData(std::move(s)); return v; }
  static Variant object(Object* o) {  // Nothing when o is null
    Variant v; v.t_ = VT::Object; v.u_.o = o; retain(o); return v;
  }
  static Variant array(ArrayData* a) { Variant v; v.t_ = VT::Array; v.u_.a = a; return v; }  // adopts one ref
  // Smallest of Integer/Long/Double that holds n.
  static Variant fromInt(int64_t n) {
    if (n >= -32768 && n <= 32767) return integer(static_cast<int16_t>(n));
    if (n >= INT32_MIN && n <= INT32_MAX) return lng(static_cast<int32_t>(n));
    return dbl(static_cast<double>(n));
  }

  VT type() const { return t_; }
  bool isEmpty() const { return t_ == VT::Empty; }
  bool isNull() const { return t_ == VT::Null; }
  bool isString() const { return t_ == VT::String; }
  bool isObject() const { return t_ == VT::Object; }
  bool isArray() const { return t_ == VT::Array; }
  bool isNumeric() const {
    switch (t_) {
      case VT::Integer: case VT::Long: case VT::Single: case VT::Double: case VT::Currency:
      case VT::Date: case VT::Boolean: case VT::Byte: case VT::Empty: return true;
      default: return false;
    }
  }
  bool isIntegral() const {
    return t_ == VT::Integer || t_ == VT::Long || t_ == VT::Byte || t_ == VT::Boolean || t_ == VT::Empty;
  }

  // Raw accessors; valid only for the matching tag.
  int32_t i32() const { return u_.i32; }
  float f32() const { return u_.f; }
  double f64() const { return u_.d; }
  int64_t cy() const { return u_.i64; }
  const std::string& s() const { return u_.s->s; }
  StrData* strData() const { return u_.s; }
  Object* obj() const { return u_.o; }
  ArrayData* arr() const { return u_.a; }
  ArrayData* arrMut();  // makes the array uniquely owned first (arrays have value semantics)
  std::string* strMut();  // same for strings; used by in-place append

  // Fast integer set without touching refcounts when the old value is scalar.
  void setInt(VT t, int32_t v) { if (t_ >= VT::String) drop(); t_ = t; u_.i32 = v; }
  void setDouble(double d) { if (t_ >= VT::String) drop(); t_ = VT::Double; u_.d = d; }

 private:
  void grab() const {
    if (t_ == VT::String) ++u_.s->refs;
    else if (t_ == VT::Object) retain(u_.o);
    else if (t_ == VT::Array) ++u_.a->refs;
  }
  void drop();
  VT t_;
  union U { int32_t i32; float f; double d; int64_t i64; StrData* s; Object* o; ArrayData* a; } u_;
};

// A strong reference to an Object for C++ code.
class ObjRef {
 public:
  ObjRef() = default;
  explicit ObjRef(Object* o) : o_(o) { retain(o_); }
  ObjRef(const ObjRef& r) : o_(r.o_) { retain(o_); }
  ObjRef& operator=(const ObjRef& r) { ObjRef t(r); std::swap(o_, t.o_); return *this; }
  ~ObjRef() { release(o_); }
  Object* get() const { return o_; }
  Object* operator->() const { return o_; }
  explicit operator bool() const { return o_ != nullptr; }
 private:
  Object* o_ = nullptr;
};

}  // namespace quillon::vbs
