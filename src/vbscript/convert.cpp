#include "convert.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errors.h"

namespace quillon::vbs {

// Releasing the last reference of a long chain (a linked list of class instances,
// arrays nested in arrays) would recurse once per link. Past a small depth the
// destruction is queued and the outermost release finishes it in a loop.
namespace {
struct Doomed {
  Object* obj;
  ArrayData* arr;
};
thread_local int t_releaseDepth = 0;
thread_local std::vector<Doomed> t_doomed;

void destroy(Doomed d) {
  if (d.obj) d.obj->lastReleased();
  else delete d.arr;
}

void dispose(Doomed d) {
  if (t_releaseDepth > 32) {
    t_doomed.push_back(d);
    return;
  }
  ++t_releaseDepth;
  destroy(d);
  if (t_releaseDepth == 1) {
    while (!t_doomed.empty()) {
      Doomed next = t_doomed.back();
      t_doomed.pop_back();
      destroy(next);
    }
  }
  --t_releaseDepth;
}
}  // namespace

void release(Object* o) {
  if (o && --o->refs == 0) dispose(Doomed{o, nullptr});
}

void Variant::drop() {
  switch (t_) {
    case VT::String: if (--u_.s->refs == 0) delete u_.s; break;
    case VT::Object: release(u_.o); break;
    case VT::Array: if (--u_.a->refs == 0) dispose(Doomed{nullptr, u_.a}); break;
    default: break;
  }
  t_ = VT::Empty;
}

void checkLength(size_t n) {
  if (n > kMaxStringLength) raise(err::OutOfString);
}

ArrayData* Variant::arrMut() {
  if (u_.a->refs > 1) {
    auto* copy = new ArrayData(*u_.a);
    copy->refs = 1;
    --u_.a->refs;
    u_.a = copy;
  }
  return u_.a;
}

std::string* Variant::strMut() {
  if (u_.s->refs > 1) {
    auto* copy = new StrData(u_.s->s);
    --u_.s->refs;
    u_.s = copy;
  }
  return &u_.s->s;
}

std::string lower(std::string_view s) {
  std::string r(s);
  for (auto& c : r) if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

bool parseNumber(std::string_view s, double& out) {
  size_t i = 0, n = s.size();
  while (i < n && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
  while (n > i && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r' || s[n - 1] == '\n')) --n;
  if (i >= n) return false;
  std::string_view t = s.substr(i, n - i);
  if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h' || t[1] == 'O' || t[1] == 'o')) {
    int base = (t[1] == 'H' || t[1] == 'h') ? 16 : 8;
    uint64_t v = 0;
    for (size_t k = 2; k < t.size(); ++k) {
      int d;
      char c = t[k];
      if (c >= '0' && c <= '9') d = c - '0';
      else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return false;
      if (d >= base) return false;
      v = v * base + d;
      if (v > 0xFFFFFFFFull) return false;
    }
    out = static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(v)));
    if (v <= 0xFFFF && t.size() <= 6) out = static_cast<double>(v > 0x7FFF ? static_cast<int16_t>(v) : static_cast<int>(v));
    return true;
  }
  // Decimal: [sign] digits [. digits] [e [sign] digits]
  size_t k = 0;
  if (k < t.size() && (t[k] == '+' || t[k] == '-')) ++k;
  size_t digits = 0;
  while (k < t.size() && t[k] >= '0' && t[k] <= '9') { ++k; ++digits; }
  if (k < t.size() && t[k] == '.') {
    ++k;
    while (k < t.size() && t[k] >= '0' && t[k] <= '9') { ++k; ++digits; }
  }
  if (!digits) return false;
  if (k < t.size() && (t[k] == 'e' || t[k] == 'E' || t[k] == 'd' || t[k] == 'D')) {
    size_t e = k + 1;
    if (e < t.size() && (t[e] == '+' || t[e] == '-')) ++e;
    size_t ed = 0;
    while (e < t.size() && t[e] >= '0' && t[e] <= '9') { ++e; ++ed; }
    if (!ed) return false;
    k = e;
  }
  if (k != t.size()) return false;
  std::string buf(t);
  for (auto& c : buf) if (c == 'd' || c == 'D') c = 'e';
  out = std::strtod(buf.c_str(), nullptr);
  return std::isfinite(out);
}

double bankersRound(double d) {
  double r = std::floor(d);
  double diff = d - r;
  if (diff > 0.5) return r + 1;
  if (diff < 0.5) return r;
  return std::fmod(r, 2.0) == 0 ? r : r + 1;
}

static double objectToNumber(const Variant& v);

double toDouble(const Variant& v) {
  switch (v.type()) {
    case VT::Empty: return 0;
    case VT::Null: raise(err::InvalidNull);
    case VT::Boolean: case VT::Byte: case VT::Integer: case VT::Long: return v.i32();
    case VT::Single: return v.f32();
    case VT::Double: case VT::Date: return v.f64();
    case VT::Currency: return static_cast<double>(v.cy()) / 10000.0;
    case VT::String: {
      double d;
      if (parseNumber(v.s(), d)) return d;
      const std::string l = lower(v.s());
      if (l == "true") return -1;
      if (l == "false") return 0;
      if (parseDate(v.s(), d)) return d;
      raise(err::TypeMismatch);
    }
    case VT::Object: return objectToNumber(v);
    default: raise(err::TypeMismatch);
  }
}

static double objectToNumber(const Variant& v) {
  Variant d = derefDefault(nullptr, v);
  if (d.isObject()) raise(err::TypeMismatch);
  return toDouble(d);
}

Variant derefDefault(Interp*, const Variant& v) {
  if (!v.isObject()) return v;
  if (!v.obj()) raise(err::ObjectNotSet);
  return objectDefaultValue(v.obj());
}

int32_t toLong(const Variant& v) {
  if (v.type() == VT::Long || v.type() == VT::Integer || v.type() == VT::Byte || v.type() == VT::Boolean) return v.i32();
  double d = bankersRound(toDouble(v));
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) raise(err::Overflow);
  return static_cast<int32_t>(d);
}

int16_t toInteger(const Variant& v) {
  int32_t l;
  if (v.type() == VT::Integer || v.type() == VT::Byte || v.type() == VT::Boolean) return static_cast<int16_t>(v.i32());
  double d = bankersRound(toDouble(v));
  if (!(d >= -32768.0 && d <= 32767.0)) raise(err::Overflow);
  l = static_cast<int32_t>(d);
  return static_cast<int16_t>(l);
}

bool toBool(const Variant& v) {
  switch (v.type()) {
    case VT::Boolean: case VT::Byte: case VT::Integer: case VT::Long: return v.i32() != 0;
    case VT::String: {
      const std::string l = lower(v.s());
      if (l == "true" || l == "#true#") return true;
      if (l == "false" || l == "#false#") return false;
      double d;
      if (parseNumber(v.s(), d)) return d != 0;
      raise(err::TypeMismatch);
    }
    default: return toDouble(v) != 0;
  }
}

std::string numberToString(double d, int digits) {
  if (d == 0) return "0";
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, d);
  // buf: [-]d.ddddde[+-]XX ; extract mantissa digits and exponent
  std::string s(buf);
  size_t epos = s.find('e');
  int exp = std::atoi(s.c_str() + epos + 1);
  std::string mant = s.substr(0, epos);
  bool neg = mant[0] == '-';
  if (neg) mant.erase(0, 1);
  std::string dig;
  for (char c : mant) if (c != '.') dig += c;
  while (dig.size() > 1 && dig.back() == '0') dig.pop_back();
  std::string out;
  if (exp >= digits || exp < -5) {
    out = dig.substr(0, 1);
    if (dig.size() > 1) { out += '.'; out.append(dig, 1, std::string::npos); }
    char eb[16];
    std::snprintf(eb, sizeof eb, "E%c%02d", exp < 0 ? '-' : '+', exp < 0 ? -exp : exp);
    out += eb;
  } else if (exp < 0) {
    out = "0.";
    out.append(static_cast<size_t>(-exp - 1), '0');
    out += dig;
  } else {
    if (dig.size() <= static_cast<size_t>(exp) + 1) {
      out = dig + std::string(static_cast<size_t>(exp) + 1 - dig.size(), '0');
    } else {
      out = dig.substr(0, static_cast<size_t>(exp) + 1) + "." + dig.substr(static_cast<size_t>(exp) + 1);
    }
  }
  return neg ? cat({"-", out}) : out;
}

static std::string currencyToString(int64_t c) {
  bool neg = c < 0;
  uint64_t u = neg ? static_cast<uint64_t>(-(c + 1)) + 1 : static_cast<uint64_t>(c);
  std::string s = std::to_string(u / 10000);
  uint64_t frac = u % 10000;
  if (frac) {
    char b[8];
    std::snprintf(b, sizeof b, "%04llu", static_cast<unsigned long long>(frac));
    std::string f(b);
    while (f.back() == '0') f.pop_back();
    s += '.';
    s += f;
  }
  return neg ? cat({"-", s}) : s;
}

std::string toString(const Variant& v) {
  switch (v.type()) {
    case VT::Empty: return "";
    case VT::Null: raise(err::InvalidNull);
    case VT::Boolean: return v.i32() ? "True" : "False";
    case VT::Byte: case VT::Integer: case VT::Long: return std::to_string(v.i32());
    case VT::Single: return numberToString(v.f32(), 7);
    case VT::Double: return numberToString(v.f64(), 15);
    case VT::Currency: return currencyToString(v.cy());
    case VT::Date: return dateToString(v.f64());
    case VT::String: return v.s();
    case VT::Error: return "Error " + std::to_string(v.i32());
    case VT::Object: {
      Variant d = derefDefault(nullptr, v);
      if (d.isObject()) raise(err::TypeMismatch);
      return toString(d);
    }
    default: raise(err::TypeMismatch);
  }
}

double toDate(const Variant& v) {
  switch (v.type()) {
    case VT::Date: return v.f64();
    case VT::String: {
      double d;
      if (parseDate(v.s(), d)) return d;
      if (parseNumber(v.s(), d)) return d;
      raise(err::TypeMismatch);
    }
    default: return toDouble(v);
  }
}

int64_t toCurrency(const Variant& v) {
  if (v.type() == VT::Currency) return v.cy();
  double d = toDouble(v) * 10000.0;
  if (!(d > -9.2233720368547758e18 && d < 9.2233720368547758e18)) raise(err::Overflow);
  return static_cast<int64_t>(bankersRound(d));
}

Variant numericValue(const Variant& v) {
  if (v.isObject()) return numericValue(derefDefault(nullptr, v));
  if (v.isString()) return Variant::dbl(toDouble(v));
  if (v.isArray()) raise(err::TypeMismatch);
  return v;
}

// ---- dates ----
static int64_t daysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
static void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}
static const int64_t kEpoch = daysFromCivil(1899, 12, 30);

double dateSerial(int y, int m, int d) {
  int64_t yy = y, mm = m - 1;
  yy += mm >= 0 ? mm / 12 : (mm - 11) / 12;
  mm = ((mm % 12) + 12) % 12;
  return static_cast<double>(daysFromCivil(yy, static_cast<int>(mm) + 1, 1) - kEpoch + (d - 1));
}

double timeSerial(int h, int m, int s) { return (h * 3600.0 + m * 60.0 + s) / 86400.0; }

void splitDate(double serial, int& y, int& m, int& d, int& hh, int& nn, int& ss) {
  if (!(serial > -657435.0 && serial < 2958466.0)) raise(err::InvalidCall);
  double day = std::floor(serial);
  double frac = std::fabs(serial - day);
  // Negative serials count days back but the time part stays positive.
  if (serial < 0 && frac != 0) { day = std::ceil(serial); frac = std::fabs(serial - day); }
  int64_t secs = static_cast<int64_t>(std::llround(frac * 86400.0));
  if (secs >= 86400) { secs -= 86400; day += serial < 0 ? -1 : 1; }
  civilFromDays(static_cast<int64_t>(day) + kEpoch, y, m, d);
  hh = static_cast<int>(secs / 3600);
  nn = static_cast<int>(secs / 60 % 60);
  ss = static_cast<int>(secs % 60);
}

std::string dateToString(double serial) {
  int y, m, d, hh, nn, ss;
  splitDate(serial, y, m, d, hh, nn, ss);
  char buf[48];
  bool hasDate = std::trunc(serial) != 0;
  bool hasTime = hh || nn || ss;
  if (hasDate && hasTime)
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", d, m, y, hh, nn, ss);
  else if (hasDate)
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d, m, y);
  else
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hh, nn, ss);
  return buf;
}

static const char* kMonths[] = {"january", "february", "march", "april", "may", "june", "july",
                                "august", "september", "october", "november", "december"};

static bool isWeekdayWord(const std::string& w) {
  static const char* kDays[] = {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};
  for (const char* d : kDays)
    if (w.size() >= 3 && std::string(d).compare(0, w.size(), w) == 0) return true;
  return false;
}

bool parseDate(std::string_view in, double& out) {
  std::string s = lower(in);
  // Tokenise into numbers, words and separators.
  std::vector<int> nums;
  std::vector<char> seps;
  int month = 0;
  bool pm = false, am = false;
  int timeStart = -1;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      long v = 0;
      size_t st = i;
      while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        v = v * 10 + (s[i] - '0');
        if (v > 100000) return false;
        ++i;
      }
      (void)st;
      nums.push_back(static_cast<int>(v));
    } else if (c >= 'a' && c <= 'z') {
      size_t st = i;
      while (i < s.size() && s[i] >= 'a' && s[i] <= 'z') ++i;
      std::string w = s.substr(st, i - st);
      if (w == "am") am = true;
      else if (w == "pm") pm = true;
      else if (isWeekdayWord(w) && nums.empty() && !month) {
        // A leading day name, as in the long date form "Monday, 7 December 2026", is skipped.
      } else {
        int found = 0;
        for (int k = 0; k < 12; ++k)
          if (w.size() >= 3 && std::string(kMonths[k]).compare(0, w.size(), w) == 0) found = k + 1;
        if (!found || month) return false;
        month = found;
        nums.push_back(-1);  // placeholder for month position
      }
    } else if (c == ':') {
      if (timeStart < 0) timeStart = static_cast<int>(nums.size()) - 1;
      seps.push_back(c);
      ++i;
    } else if (c == '/' || c == '-' || c == '.' || c == ' ' || c == ',') {
      ++i;
    } else {
      return false;
    }
  }
  if (nums.empty()) return false;
  std::vector<int> datePart(nums.begin(), timeStart < 0 ? nums.end() : nums.begin() + timeStart);
  std::vector<int> timePart(timeStart < 0 ? nums.end() : nums.begin() + timeStart, nums.end());
  if (timeStart < 0 && (am || pm) && datePart.size() >= 1) {
    // "3 pm"
    if (datePart.size() == 1 && !month) { timePart = datePart; datePart.clear(); }
    else if (datePart.size() == 4 || (datePart.size() == 3 && month == 0)) {
      timePart.push_back(datePart.back()); datePart.pop_back();
    }
  }
  double result = 0;
  if (!datePart.empty()) {
    int d = 0, m = 0, y = 0;
    if (month) {
      std::vector<int> rest;
      int mpos = -1;
      for (size_t k = 0; k < datePart.size(); ++k) {
        if (datePart[k] == -1) mpos = static_cast<int>(k); else rest.push_back(datePart[k]);
      }
      (void)mpos;
      m = month;
      if (rest.size() == 2) {
        if (rest[0] > 31) { y = rest[0]; d = rest[1]; } else { d = rest[0]; y = rest[1]; }
      } else if (rest.size() == 1) {
        d = rest[0];
        int yy, mm, dd, a, b, c;
        splitDate(0, yy, mm, dd, a, b, c);
        y = 2000;
      } else {
        return false;
      }
    } else if (datePart.size() == 3) {
      if (datePart[0] > 31) { y = datePart[0]; m = datePart[1]; d = datePart[2]; }
      else { d = datePart[0]; m = datePart[1]; y = datePart[2]; }
      if (m > 12 && d <= 12) std::swap(m, d);
    } else if (datePart.size() == 2) {
      d = datePart[0]; m = datePart[1]; y = 2000;
      if (m > 12 && d <= 12) std::swap(m, d);
    } else {
      return false;
    }
    if (y < 100) y += y < 30 ? 2000 : 1900;
    if (m < 1 || m > 12 || d < 1 || y > 9999) return false;
    static const int mdays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d > mdays[m - 1]) return false;
    if (m == 2 && d == 29 && !((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return false;
    result = dateSerial(y, m, d);
  }
  if (!timePart.empty()) {
    if (timePart.size() > 3) return false;
    int h = timePart[0], n = timePart.size() > 1 ? timePart[1] : 0, sec = timePart.size() > 2 ? timePart[2] : 0;
    if (h < 0 || n < 0 || sec < 0) return false;
    if (am || pm) {
      if (h < 1 || h > 12) return false;
      if (h == 12) h = 0;
      if (pm) h += 12;
    }
    if (h > 23 || n > 59 || sec > 59) return false;
    double t = timeSerial(h, n, sec);
    result = result < 0 ? result - t : result + t;
  } else if (datePart.empty()) {
    return false;
  }
  out = result;
  return true;
}

std::string typeName(const Variant& v) {
  switch (v.type()) {
    case VT::Empty: return "Empty";
    case VT::Null: return "Null";
    case VT::Boolean: return "Boolean";
    case VT::Byte: return "Byte";
    case VT::Integer: return "Integer";
    case VT::Long: return "Long";
    case VT::Single: return "Single";
    case VT::Double: return "Double";
    case VT::Currency: return "Currency";
    case VT::Date: return "Date";
    case VT::String: return "String";
    case VT::Error: return "Error";
    case VT::Object: return v.obj() ? v.obj()->typeName() : "Nothing";
    case VT::Array: return "Variant()";
  }
  return "Unknown";
}

int varType(const Variant& v) {
  if (v.isArray()) return 8204;
  return static_cast<int>(v.type());
}

}  // namespace quillon::vbs
