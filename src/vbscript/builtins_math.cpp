// Numeric functions: rounding, math, Hex/Oct and the classic Rnd generator.
#include <chrono>
#include <cmath>
#include <cstring>

#include "builtins.h"

namespace quillon::vbs {

namespace {

#define BI(name) Variant bi_##name([[maybe_unused]] Interp& in, [[maybe_unused]] Args a)

// Numeric argument, Null passed through as Null (signalled by returning false).
bool num(Args a, int i, Variant& out) {
  out = numericValue(arg(a, i));
  return !out.isNull();
}

std::string radix(uint32_t v, int base) {
  const char* digits = "0123456789ABCDEF";
  std::string s;
  do { s.insert(s.begin(), digits[v % static_cast<uint32_t>(base)]); v /= static_cast<uint32_t>(base); } while (v);
  return s;
}
Variant radixFn(Args a, int base) {
  Variant v;
  if (!num(a, 0, v)) return Variant::null();
  uint32_t u;
  if (v.type() == VT::Integer || v.type() == VT::Byte || v.type() == VT::Boolean || v.isEmpty()) {
    int32_t x = v.isEmpty() ? 0 : v.i32();
    u = v.type() == VT::Byte ? static_cast<uint32_t>(x) : static_cast<uint16_t>(static_cast<int16_t>(x));
    if (x >= 0) u = static_cast<uint32_t>(x);
  } else {
    u = static_cast<uint32_t>(toLong(v));
  }
  return Variant::str(radix(u, base));
}
BI(hex) { return radixFn(a, 16); }
BI(oct) { return radixFn(a, 8); }

Variant keepType(const Variant& v, double r) {
  switch (v.type()) {
    case VT::Integer: case VT::Long: case VT::Byte: return v;
    case VT::Boolean: return Variant::integer(static_cast<int16_t>(v.i32()));
    case VT::Empty: return Variant::integer(0);
    case VT::Single: return Variant::single(static_cast<float>(r));
    case VT::Currency: return Variant::currency(static_cast<int64_t>(r * 10000));
    case VT::Date: return Variant::date(r);
    default: return Variant::dbl(r);
  }
}
BI(int) {
  Variant v;
  if (!num(a, 0, v)) return Variant::null();
  return keepType(v, std::floor(toDouble(v)));
}
BI(fix) {
  Variant v;
  if (!num(a, 0, v)) return Variant::null();
  return keepType(v, std::trunc(toDouble(v)));
}
BI(round) {
  Variant v;
  if (!num(a, 0, v)) return Variant::null();
  int32_t digits = longArg(a, 1, 0);
  if (digits < 0) raise(err::InvalidCall);
  if (v.type() == VT::Boolean) return v;
  if (v.isIntegral()) return keepType(v, 0);
  double d = toDouble(v);
  double m = std::pow(10.0, digits > 22 ? 22 : digits);
  double scaled = d * m;
  double r = bankersRound(scaled) / m;
  return keepType(v, r);
}
BI(abs) {
  Variant v;
  if (!num(a, 0, v)) return Variant::null();
  switch (v.type()) {
    case VT::Empty: return Variant::integer(0);
    case VT::Boolean: return Variant::integer(static_cast<int16_t>(-v.i32()));
    case VT::Byte: return v;
    case VT::Integer: return Variant::fromInt(std::abs(static_cast<int64_t>(v.i32())));
    case VT::Long: {
      int64_t x = std::abs(static_cast<int64_t>(v.i32()));
      if (x > INT32_MAX) raise(err::Overflow);
      return Variant::lng(static_cast<int32_t>(x));
    }
    case VT::Currency: return Variant::currency(v.cy() < 0 ? -v.cy() : v.cy());
    case VT::Single: return Variant::single(std::fabs(v.f32()));
    default: return Variant::dbl(std::fabs(toDouble(v)));
  }
}
BI(sgn) {
  Variant v;
  if (!num(a, 0, v)) raise(err::InvalidNull);
  double d = toDouble(v);
  return Variant::integer(static_cast<int16_t>(d > 0 ? 1 : d < 0 ? -1 : 0));
}
double dArg(Args, Variant& v) { return toDouble(v); }
#define MATH1(name, expr)                              \
  BI(name) {                                           \
    Variant v;                                         \
    if (!num(a, 0, v)) return Variant::null();         \
    double x = dArg(a, v);                             \
    double r = (expr);                                 \
    if (!std::isfinite(r)) raise(err::Overflow);       \
    return Variant::dbl(r);                            \
  }
BI(sqr) {
  Variant v;
  if (!num(a, 0, v)) return Variant::null();
  double x = toDouble(v);
  if (x < 0) raise(err::InvalidCall);
  return Variant::dbl(std::sqrt(x));
}
BI(log) {
  Variant v;
  if (!num(a, 0, v)) return Variant::null();
  double x = toDouble(v);
  if (x <= 0) raise(err::InvalidCall);
  return Variant::dbl(std::log(x));
}
MATH1(exp, std::exp(x))
MATH1(sin, std::sin(x))
MATH1(cos, std::cos(x))
MATH1(tan, std::tan(x))
MATH1(atn, std::atan(x))

// The classic 24-bit generator, so seeded sequences repeat run to run.
float nextRnd(Interp& in) {
  in.rndSeed = (in.rndSeed * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
  in.lastRnd = static_cast<float>(in.rndSeed) / 16777216.0f;
  return in.lastRnd;
}
BI(rnd) {
  if (a.n > 0) {
    double x = toDouble(arg(a, 0));
    if (x == 0) return Variant::single(in.lastRnd);
    if (x < 0) {
      float f = static_cast<float>(x);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      in.rndSeed = (bits + (bits >> 24)) & 0xFFFFFFu;
    }
  }
  return Variant::single(nextRnd(in));
}
BI(randomize) {
  double seed = a.n > 0 && !a[0].isEmpty() ? toDouble(arg(a, 0))
                                            : static_cast<double>(std::chrono::steady_clock::now().time_since_epoch().count() % 86400000) / 1000.0;
  uint64_t bits;
  std::memcpy(&bits, &seed, 8);
  uint32_t hi = static_cast<uint32_t>(bits >> 32);
  hi ^= hi >> 16;
  in.rndSeed = (in.rndSeed & 0xFF) | ((hi & 0xFFFF) << 8);
  in.rndSeed &= 0xFFFFFF;
  return Variant();
}

}  // namespace

void addMathBuiltins(std::vector<Builtin>& o) {
  o.insert(o.end(), {
      {"hex", 1, 1, bi_hex}, {"oct", 1, 1, bi_oct}, {"int", 1, 1, bi_int}, {"fix", 1, 1, bi_fix},
      {"round", 1, 2, bi_round}, {"abs", 1, 1, bi_abs}, {"sgn", 1, 1, bi_sgn}, {"sqr", 1, 1, bi_sqr},
      {"exp", 1, 1, bi_exp}, {"log", 1, 1, bi_log}, {"sin", 1, 1, bi_sin}, {"cos", 1, 1, bi_cos},
      {"tan", 1, 1, bi_tan}, {"atn", 1, 1, bi_atn}, {"rnd", 0, 1, bi_rnd},
      {"randomize", 0, 1, bi_randomize, false, true},
  });
}

}  // namespace quillon::vbs
