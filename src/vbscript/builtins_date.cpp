// Date and time functions over date serials (days since 30/12/1899).
#include <chrono>
#include <cmath>
#include <ctime>

#include "builtins.h"

namespace quillon::vbs {

double nowSerial(Interp& in) {
  if (in.clock) return in.clock();
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return dateSerial(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) + timeSerial(tm.tm_hour, tm.tm_min, tm.tm_sec);
}

namespace {

#define BI(name) Variant bi_##name([[maybe_unused]] Interp& in, [[maybe_unused]] Args a)

const char* kMonthNames[] = {"January", "February", "March", "April", "May", "June", "July",
                             "August", "September", "October", "November", "December"};
const char* kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

struct Parts { int y, m, d, hh, nn, ss; };
Parts parts(double serial) {
  Parts p{};
  splitDate(serial, p.y, p.m, p.d, p.hh, p.nn, p.ss);
  return p;
}
bool dateArg(Args a, int i, double& out) {
  Variant v = arg(a, i);
  if (v.isNull()) return false;
  out = toDate(v);
  return true;
}
double checked(double d) {
  if (!(d > -657435.0 && d < 2958466.0)) raise(err::InvalidCall);
  return d;
}
// Weekday 1..7 with the given first day (1 = Sunday).
int weekday(double serial, int first) {
  int64_t days = static_cast<int64_t>(std::floor(serial));
  int w = static_cast<int>(((days + 6) % 7 + 7) % 7);  // 0 = Sunday (30/12/1899 was a Saturday)
  return (w - (first - 1) + 7) % 7 + 1;
}
int firstDayArg(Args a, int i) {
  int f = longArg(a, i, 1);
  if (f == 0) f = 1;
  if (f < 1 || f > 7) raise(err::InvalidCall);
  return f;
}

BI(now) { return Variant::date(nowSerial(in)); }
BI(date) { return Variant::date(std::floor(nowSerial(in))); }
BI(time) {
  double n = nowSerial(in);
  return Variant::date(n - std::floor(n));
}
BI(timer) {
  double n = nowSerial(in);
  return Variant::single(static_cast<float>((n - std::floor(n)) * 86400.0));
}
BI(dateserial) {
  int32_t y = toInteger(arg(a, 0)), m = toInteger(arg(a, 1)), d = toInteger(arg(a, 2));
  if (y >= 0 && y < 100) y += y < 30 ? 2000 : 1900;
  return Variant::date(checked(dateSerial(y, m, d)));
}
BI(timeserial) {
  int32_t h = toInteger(arg(a, 0)), m = toInteger(arg(a, 1)), s = toInteger(arg(a, 2));
  double t = timeSerial(h, m, s);
  // Negative times count back from midnight the way the classic function does.
  return Variant::date(t);
}
BI(datevalue) {
  if (a[0].isNull()) return Variant::null();
  double d = toDate(arg(a, 0));
  return Variant::date(std::trunc(d));
}
BI(timevalue) {
  if (a[0].isNull()) return Variant::null();
  double d = toDate(arg(a, 0));
  return Variant::date(std::fabs(d - std::trunc(d)));
}
#define PART(fn, field)                              \
  BI(fn) {                                           \
    double d;                                        \
    if (!dateArg(a, 0, d)) return Variant::null();   \
    return Variant::integer(static_cast<int16_t>(parts(d).field)); \
  }
PART(year, y)
PART(month, m)
PART(day, d)
PART(hour, hh)
PART(minute, nn)
PART(second, ss)
BI(weekday) {
  double d;
  int first = firstDayArg(a, 1);  // checked even when the date is Null
  if (!dateArg(a, 0, d)) return Variant::null();
  return Variant::integer(static_cast<int16_t>(weekday(d, first)));
}
BI(weekdayname) {
  int w = longArg(a, 0, 0);
  bool abbrev = a.n > 1 && toBool(arg(a, 1));
  int first = firstDayArg(a, 2);
  if (w < 1 || w > 7) raise(err::InvalidCall);
  std::string n = kDayNames[(w - 1 + first - 1) % 7];
  return Variant::str(abbrev ? n.substr(0, 3) : n);
}
BI(monthname) {
  if (a.n > 1 && a[1].isNull()) raise(err::InvalidNull);
  bool abbrev = a.n > 1 && toBool(arg(a, 1));
  int m = longArg(a, 0, 0);
  if (m < 1 || m > 12) raise(err::InvalidCall);
  std::string n = kMonthNames[m - 1];
  return Variant::str(abbrev ? n.substr(0, 3) : n);
}

enum class Unit { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };
Unit unitArg(Args a, int i) {
  std::string u = lower(strArg(a, i));
  if (u == "yyyy") return Unit::Year;
  if (u == "q") return Unit::Quarter;
  if (u == "m") return Unit::Month;
  if (u == "y") return Unit::DayOfYear;
  if (u == "d") return Unit::Day;
  if (u == "w") return Unit::Weekday;
  if (u == "ww") return Unit::Week;
  if (u == "h") return Unit::Hour;
  if (u == "n") return Unit::Minute;
  if (u == "s") return Unit::Second;
  raise(err::InvalidCall);
}

BI(dateadd) {
  Unit u = unitArg(a, 0);
  double n = toDouble(arg(a, 1));
  double d;
  if (!dateArg(a, 2, d)) return Variant::null();
  double frac = d - std::floor(d);
  switch (u) {
    case Unit::Year: case Unit::Quarter: case Unit::Month: {
      Parts p = parts(d);
      int months = static_cast<int>(std::trunc(n)) * (u == Unit::Year ? 12 : u == Unit::Quarter ? 3 : 1);
      int total = p.m - 1 + months;
      int y = p.y + (total >= 0 ? total / 12 : (total - 11) / 12);
      int m = ((total % 12) + 12) % 12 + 1;
      static const int mdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
      int maxd = mdays[m - 1] + (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 1 : 0);
      int day = std::min(p.d, maxd);
      double base = dateSerial(y, m, day);
      return Variant::date(checked(base + (d < 0 ? -frac : frac) + 0 * frac));
    }
    case Unit::DayOfYear: case Unit::Day: case Unit::Weekday: return Variant::date(checked(d + std::trunc(n)));
    case Unit::Week: return Variant::date(checked(d + 7 * std::trunc(n)));
    case Unit::Hour: return Variant::date(checked(d + std::trunc(n) / 24.0));
    case Unit::Minute: return Variant::date(checked(d + std::trunc(n) / 1440.0));
    case Unit::Second: return Variant::date(checked(d + std::trunc(n) / 86400.0));
  }
  return Variant();
}

int64_t secondsOf(double d) { return static_cast<int64_t>(std::llround(d * 86400.0)); }

BI(datediff) {
  Unit u = unitArg(a, 0);
  double d1, d2;
  if (!dateArg(a, 1, d1) || !dateArg(a, 2, d2)) return Variant::null();
  int first = firstDayArg(a, 3);
  Parts p1 = parts(d1), p2 = parts(d2);
  int64_t r = 0;
  switch (u) {
    case Unit::Year: r = p2.y - p1.y; break;
    case Unit::Quarter: r = (p2.y * 4 + (p2.m - 1) / 3) - (p1.y * 4 + (p1.m - 1) / 3); break;
    case Unit::Month: r = (p2.y * 12 + p2.m) - (p1.y * 12 + p1.m); break;
    case Unit::DayOfYear: case Unit::Day:
      r = static_cast<int64_t>(std::floor(d2)) - static_cast<int64_t>(std::floor(d1));
      break;
    case Unit::Weekday: r = (static_cast<int64_t>(std::floor(d2)) - static_cast<int64_t>(std::floor(d1))) / 7; break;
    case Unit::Week: {
      // Number of week-start days crossed.
      auto startOfWeek = [&](double d) {
        int64_t day = static_cast<int64_t>(std::floor(d));
        return day - (weekday(d, first) - 1);
      };
      r = (startOfWeek(d2) - startOfWeek(d1)) / 7;
      break;
    }
    case Unit::Hour: r = secondsOf(d2) / 3600 - secondsOf(d1) / 3600; break;
    case Unit::Minute: r = secondsOf(d2) / 60 - secondsOf(d1) / 60; break;
    case Unit::Second: r = secondsOf(d2) - secondsOf(d1); break;
  }
  return Variant::fromInt(r).type() == VT::Integer ? Variant::lng(static_cast<int32_t>(r)) : Variant::fromInt(r);
}

BI(datepart) {
  Unit u = unitArg(a, 0);
  double d;
  if (!dateArg(a, 1, d)) return Variant::null();
  int first = firstDayArg(a, 2);
  Parts p = parts(d);
  int r = 0;
  switch (u) {
    case Unit::Year: r = p.y; break;
    case Unit::Quarter: r = (p.m - 1) / 3 + 1; break;
    case Unit::Month: r = p.m; break;
    case Unit::DayOfYear: r = static_cast<int>(std::floor(d) - dateSerial(p.y, 1, 1)) + 1; break;
    case Unit::Day: r = p.d; break;
    case Unit::Weekday: r = weekday(d, first); break;
    case Unit::Week: {
      double jan1 = dateSerial(p.y, 1, 1);
      int offset = weekday(jan1, first) - 1;
      r = static_cast<int>((std::floor(d) - jan1 + offset) / 7) + 1;
      break;
    }
    case Unit::Hour: r = p.hh; break;
    case Unit::Minute: r = p.nn; break;
    case Unit::Second: r = p.ss; break;
  }
  return Variant::integer(static_cast<int16_t>(r));
}

}  // namespace

void addDateBuiltins(std::vector<Builtin>& o) {
  o.insert(o.end(), {
      {"now", 0, 0, bi_now}, {"date", 0, 0, bi_date}, {"time", 0, 0, bi_time}, {"timer", 0, 0, bi_timer},
      {"dateserial", 3, 3, bi_dateserial}, {"timeserial", 3, 3, bi_timeserial}, {"datevalue", 1, 1, bi_datevalue},
      {"timevalue", 1, 1, bi_timevalue}, {"year", 1, 1, bi_year}, {"month", 1, 1, bi_month}, {"day", 1, 1, bi_day},
      {"hour", 1, 1, bi_hour}, {"minute", 1, 1, bi_minute}, {"second", 1, 1, bi_second},
      {"weekday", 1, 2, bi_weekday}, {"weekdayname", 1, 3, bi_weekdayname}, {"monthname", 1, 2, bi_monthname},
      {"dateadd", 3, 3, bi_dateadd}, {"datediff", 3, 5, bi_datediff}, {"datepart", 2, 4, bi_datepart},
  });
}

}  // namespace quillon::vbs
