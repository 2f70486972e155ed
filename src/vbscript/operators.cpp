#include "operators.h"

#include <cmath>
#include <cstring>

#include "convert.h"
#include "errors.h"

namespace quillon::vbs {

namespace {

// Numeric rank for picking a result type: Byte < Integer < Long < Single < Double < Currency.
int rank(VT t) {
  switch (t) {
    case VT::Byte: return 1;
    case VT::Empty: case VT::Boolean: case VT::Integer: return 2;
    case VT::Long: return 3;
    case VT::Single: return 4;
    case VT::Double: case VT::String: return 5;
    case VT::Currency: return 6;
    case VT::Date: return 7;
    default: return 5;
  }
}

Variant fitInt(int64_t r, int rk) {
  if (rk == 1 && r >= 0 && r <= 255) return Variant::byte(static_cast<uint8_t>(r));
  if (rk <= 2 && r >= -32768 && r <= 32767) return Variant::integer(static_cast<int16_t>(r));
  if (r >= INT32_MIN && r <= INT32_MAX) return Variant::lng(static_cast<int32_t>(r));
  return Variant::dbl(static_cast<double>(r));
}

Variant checkDouble(double d) {
  if (!std::isfinite(d)) raise(err::Overflow);
  return Variant::dbl(d);
}

Variant arith(Op op, const Variant& a0, const Variant& b0) {
  Variant a = numericValue(a0), b = numericValue(b0);
  if (a.isNull() || b.isNull()) return Variant::null();
  int ra = rank(a.type()), rb = rank(b.type());
  int rk = ra > rb ? ra : rb;
  if (rk <= 3) {
    int64_t x = a.i32(), y = b.i32();
    int64_t r = op == Op::Add ? x + y : op == Op::Sub ? x - y : x * y;
    return fitInt(r, rk);
  }
  if (rk == 7) {  // Date arithmetic
    double x = toDouble(a), y = toDouble(b);
    if (op == Op::Mul) return checkDouble(x * y);
    if (op == Op::Sub && a.type() == VT::Date && b.type() == VT::Date) return checkDouble(x - y);
    double r = op == Op::Add ? x + y : x - y;
    if (!(r > -657435.0 && r < 2958466.0)) raise(err::Overflow);
    return Variant::date(r);
  }
  if (rk == 6) {
    int64_t x = toCurrency(a), y = toCurrency(b);
    if (op == Op::Mul) {
      double r = static_cast<double>(x) * static_cast<double>(y) / 10000.0;
      if (!(std::fabs(r) < 9.2e18)) raise(err::Overflow);
      return Variant::currency(static_cast<int64_t>(bankersRound(r)));
    }
    int64_t r;
    if (op == Op::Add ? __builtin_add_overflow(x, y, &r) : __builtin_sub_overflow(x, y, &r)) raise(err::Overflow);
    return Variant::currency(r);
  }
  double x = toDouble(a), y = toDouble(b);
  double r = op == Op::Add ? x + y : op == Op::Sub ? x - y : x * y;
  if (rk == 4) {
    float f = static_cast<float>(r);
    if (std::isfinite(f)) return Variant::single(f);
  }
  return checkDouble(r);
}

Variant concat(const Variant& a0, const Variant& b0) {
  const Variant a = derefDefault(nullptr, a0), b = derefDefault(nullptr, b0);
  if (a.isNull() && b.isNull()) return Variant::null();
  std::string r = a.isNull() ? std::string() : toString(a);
  if (!b.isNull()) {
    std::string t = toString(b);
    checkLength(r.size() + t.size());
    r += t;
  }
  return Variant::str(std::move(r));
}

int64_t roundedLong(const Variant& v) {
  double d = bankersRound(toDouble(v));
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) raise(err::Overflow);
  return static_cast<int64_t>(d);
}

// Logical ops work bitwise; Boolean with Boolean stays Boolean.
Variant logical(Op op, const Variant& a0, const Variant& b0) {
  Variant a = derefDefault(nullptr, a0), b = derefDefault(nullptr, b0);
  bool an = a.isNull(), bn = b.isNull();
  if (an || bn) {
    // Null propagation with the short-cut cases of three-valued logic.
    if (an && bn) return Variant::null();
    const Variant& other = an ? b : a;
    int64_t o = roundedLong(other);
    if (other.isEmpty()) {
      // Empty counts as a Long 0 here.
      if (op == Op::And) return Variant::lng(0);
      if (op == Op::Imp && an == false) return Variant::lng(-1);
      return Variant::null();
    }
    if (op == Op::Imp && bn && other.type() == VT::Byte) return Variant::byte(static_cast<uint8_t>(~o));
    if (op == Op::And && o == 0) return other.type() == VT::Boolean ? Variant::boolean(false) : fitInt(0, rank(other.type()));
    if (op == Op::Or && o == -1) return other.type() == VT::Boolean ? Variant::boolean(true) : other;
    if (op == Op::Imp) {
      if (an && o == -1) return other.type() == VT::Boolean ? Variant::boolean(true) : other;
      if (bn && o == 0) return Variant::boolean(true);
    }
    return Variant::null();
  }
  int64_t x = roundedLong(a), y = roundedLong(b);
  int32_t xi = static_cast<int32_t>(x), yi = static_cast<int32_t>(y), r = 0;
  switch (op) {
    case Op::And: r = xi & yi; break;
    case Op::Or: r = xi | yi; break;
    case Op::Xor: r = xi ^ yi; break;
    case Op::Eqv: r = ~(xi ^ yi); break;
    case Op::Imp: r = ~xi | yi; break;
    default: break;
  }
  if (a.type() == VT::Boolean && b.type() == VT::Boolean) return Variant::boolean(r != 0);
  if (a.isEmpty() || b.isEmpty()) return Variant::lng(r);
  int rk = std::max(rank(a.type()), rank(b.type()));
  if (a.type() == VT::Byte && b.type() == VT::Byte) return Variant::byte(static_cast<uint8_t>(r));
  if (rk <= 2) return Variant::integer(static_cast<int16_t>(r));
  return Variant::lng(r);
}

}  // namespace

int compareValues(const Variant& a0, const Variant& b0, bool litA, bool litB, bool text) {
  const Variant a = derefDefault(nullptr, a0), b = derefDefault(nullptr, b0);
  if (a.isNull() || b.isNull()) return 2;
  if (a.isArray() || b.isArray() || a.isObject() || b.isObject()) raise(err::TypeMismatch);
  bool as = a.isString(), bs = b.isString();
  if (as && bs) {
    int c;
    if (text) {
      std::string x = lower(a.s()), y = lower(b.s());
      c = x.compare(y);
    } else {
      c = a.s().compare(b.s());
    }
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  if (as || bs) {
    const Variant& s = as ? a : b;
    const Variant& n = as ? b : a;
    bool sLit = as ? litA : litB, nLit = as ? litB : litA;
    int sign = as ? 1 : -1;  // result is for (string vs number), flip when number is on the left
    if (n.isEmpty()) return sign * compareValues(s, Variant::str(""), false, false, text);
    if (n.type() == VT::Boolean && (nLit || sLit)) {
      // A Boolean and text written in the code compare as the words "True"/"False".
      int c = s.s().compare(toString(n));
      return sign * (c < 0 ? -1 : c > 0 ? 1 : 0);
    }
    if (nLit) {
      // A number written in the code converts the string; text that is no number is
      // greater than any number, as between variables.
      double d;
      if (!parseNumber(s.s(), d)) return sign;
      double x = toDouble(n);
      int c = d < x ? -1 : d > x ? 1 : 0;
      return sign * c;
    }
    if (sLit) {
      int c = compareValues(s, Variant::str(toString(n)), false, false, text);
      return sign * c;
    }
    return sign;  // a number is always less than a string
  }
  if (a.isIntegral() && b.isIntegral()) {
    int32_t x = a.isEmpty() ? 0 : a.i32(), y = b.isEmpty() ? 0 : b.i32();
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (a.type() == VT::Currency && b.type() == VT::Currency) return a.cy() < b.cy() ? -1 : a.cy() > b.cy() ? 1 : 0;
  double x = toDouble(a), y = toDouble(b);
  if (a.type() == VT::Single || b.type() == VT::Single) {
    if (a.type() != VT::Double && b.type() != VT::Double) { x = static_cast<float>(x); y = static_cast<float>(y); }
  }
  return x < y ? -1 : x > y ? 1 : 0;
}

Variant compareOp(Op op, const Variant& a, const Variant& b, bool litA, bool litB) {
  if (op == Op::Is) {
    if (!a.isObject() || !b.isObject()) raise(err::ObjectRequired);
    return Variant::boolean(a.obj() == b.obj());
  }
  int c = compareValues(a, b, litA, litB);
  if (c == 2) return Variant::null();
  bool r = false;
  switch (op) {
    case Op::Eq: r = c == 0; break;
    case Op::Ne: r = c != 0; break;
    case Op::Lt: r = c < 0; break;
    case Op::Gt: r = c > 0; break;
    case Op::Le: r = c <= 0; break;
    case Op::Ge: r = c >= 0; break;
    default: break;
  }
  return Variant::boolean(r);
}

Variant binaryOp(Op op, const Variant& a, const Variant& b) {
  switch (op) {
    case Op::Add: {
      const Variant x = derefDefault(nullptr, a), y = derefDefault(nullptr, b);
      if (x.isString() && y.isString()) {
        checkLength(x.s().size() + y.s().size());
        return Variant::str(x.s() + y.s());
      }
      if ((x.isString() && y.isEmpty()) || (x.isEmpty() && y.isString())) return x.isString() ? x : y;
      return arith(op, x, y);
    }
    case Op::Sub: case Op::Mul: return arith(op, a, b);
    case Op::Div: {
      Variant x = numericValue(a), y = numericValue(b);
      if (x.isNull() || y.isNull()) return Variant::null();
      double p = toDouble(x), q = toDouble(y);
      if (q == 0) raise(p == 0 ? err::Overflow : err::DivByZero);
      if ((x.type() == VT::Single && rank(y.type()) <= 4) || (y.type() == VT::Single && rank(x.type()) <= 4)) {
        float f = static_cast<float>(p / q);
        if (std::isfinite(f)) return Variant::single(f);
      }
      return checkDouble(p / q);
    }
    case Op::IntDiv: case Op::Mod: {
      Variant x = numericValue(a), y = numericValue(b);
      if (x.isNull() || y.isNull()) return Variant::null();
      int64_t p = roundedLong(x), q = roundedLong(y);
      if (q == 0) raise(err::DivByZero);
      int64_t r = op == Op::IntDiv ? p / q : p % q;
      int rk = std::max(rank(x.type()), rank(y.type()));
      if (rk == 1) return Variant::byte(static_cast<uint8_t>(r));
      if (rk <= 2) return fitInt(r, 2);
      return fitInt(r, 3);
    }
    case Op::Pow: {
      Variant x = numericValue(a), y = numericValue(b);
      if (x.isNull() || y.isNull()) return Variant::null();
      double p = toDouble(x), q = toDouble(y);
      if (p < 0 && q != std::floor(q)) raise(err::InvalidCall);
      if (p == 0 && q < 0) raise(err::DivByZero);
      return checkDouble(std::pow(p, q));
    }
    case Op::Concat: return concat(a, b);
    case Op::Eq: case Op::Ne: case Op::Lt: case Op::Gt: case Op::Le: case Op::Ge: case Op::Is:
      return compareOp(op, a, b, false, false);
    case Op::And: case Op::Or: case Op::Xor: case Op::Eqv: case Op::Imp: return logical(op, a, b);
    default: raise(err::InvalidCall);
  }
}

Variant unaryOp(Op op, const Variant& a0) {
  if (op == Op::Not && a0.isString()) {
    // Text naming a truth value negates as a Boolean.
    const std::string l = lower(a0.s());
    if (l == "true" || l == "#true#" || l == "false" || l == "#false#") return Variant::boolean(!toBool(a0));
  }
  Variant a = numericValue(a0);
  if (a.isNull()) return Variant::null();
  if (op == Op::Not) {
    if (a.type() == VT::Boolean) return Variant::boolean(!a.i32());
    int64_t x = roundedLong(a);
    if (a.type() == VT::Byte) return Variant::byte(static_cast<uint8_t>(~x));
    if (a.isEmpty()) return Variant::lng(-1);
    if (rank(a.type()) <= 2) return Variant::integer(static_cast<int16_t>(~x));
    return Variant::lng(static_cast<int32_t>(~x));
  }
  switch (a.type()) {
    case VT::Empty: return Variant::integer(0);
    case VT::Boolean: case VT::Integer: return fitInt(-static_cast<int64_t>(a.i32()), 2);
    case VT::Byte: return fitInt(-static_cast<int64_t>(a.i32()), 2);
    case VT::Long: return fitInt(-static_cast<int64_t>(a.i32()), 3);
    case VT::Single: return Variant::single(-a.f32());
    case VT::Currency: return Variant::currency(-a.cy());
    case VT::Date: return Variant::date(-a.f64());
    default: return Variant::dbl(-toDouble(a));
  }
}

}  // namespace quillon::vbs
