#include "util/date_time.h"

#include <cmath>
#include <cstdio>

namespace quillon::util {
namespace {

// Howard Hinnant's civil-from-days algorithms.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

constexpr std::int64_t kSerialEpochDays = -25569;  // 30/12/1899 relative to 1970-01-01
constexpr std::int64_t kMsPerDay = 86400000;

bool readInt(std::string_view s, std::size_t& pos, int maxDigits, int& out) {
  int digits = 0;
  int v = 0;
  while (pos < s.size() && digits < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
    v = v * 10 + (s[pos] - '0');
    ++pos;
    ++digits;
  }
  out = v;
  return digits > 0;
}

bool valid(const DateTime& t) {
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= daysInMonth(t.year, t.month) && t.hour >= 0 &&
         t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second < 60;
}

}  // namespace

int daysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

std::int64_t DateTime::daysSinceEpoch() const { return daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)); }

DateTime DateTime::fromDaysSinceEpoch(std::int64_t days) {
  DateTime t;
  civilFromDays(days, t.year, t.month, t.day);
  t.hour = t.minute = t.second = t.millisecond = 0;
  return t;
}

std::int64_t DateTime::toEpochMs() const {
  return daysSinceEpoch() * kMsPerDay + ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
}

DateTime DateTime::fromEpochMs(std::int64_t ms) {
  std::int64_t days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  std::int64_t rest = ms - days * kMsPerDay;
  DateTime t = fromDaysSinceEpoch(days);
  t.hour = static_cast<int>(rest / 3600000);
  t.minute = static_cast<int>(rest / 60000 % 60);
  t.second = static_cast<int>(rest / 1000 % 60);
  t.millisecond = static_cast<int>(rest % 1000);
  return t;
}

double DateTime::toSerial() const {
  double days = static_cast<double>(daysSinceEpoch() - kSerialEpochDays);
  double frac = secondsSinceMidnight() / 86400.0;
  // The classic serial keeps the time fraction positive in magnitude for dates before 1899.
  return days >= 0 ? days + frac : days - frac;
}

DateTime DateTime::fromSerial(double serial) {
  double whole = std::trunc(serial);
  double frac = std::fabs(serial - whole);
  std::int64_t ms = std::llround(frac * kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    whole += serial >= 0 ? 1 : -1;
  }
  DateTime t = fromDaysSinceEpoch(static_cast<std::int64_t>(whole) + kSerialEpochDays);
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

std::string formatFull(const DateTime& t) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute, t.second);
  return buf;
}

std::string formatGeneral(const DateTime& t) {
  if (t.hour == 0 && t.minute == 0 && t.second == 0) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", t.day, t.month, t.year);
    return buf;
  }
  return formatFull(t);
}

std::optional<DateTime> parseDateTime(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '"')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '"' || s.back() == '\r')) s.remove_suffix(1);
  DateTime t;
  t.year = t.month = t.day = 0;
  std::size_t pos = 0;
  int a = 0;
  if (!readInt(s, pos, 4, a)) return std::nullopt;
  bool iso = pos == 4 && pos < s.size() && s[pos] == '-';
  if (iso) {
    t.year = a;
    ++pos;
    if (!readInt(s, pos, 2, t.month) || pos >= s.size() || s[pos] != '-') return std::nullopt;
    ++pos;
    if (!readInt(s, pos, 2, t.day)) return std::nullopt;
  } else {
    if (pos > 2 || pos >= s.size() || s[pos] != '/') return std::nullopt;
    t.day = a;
    ++pos;
    if (!readInt(s, pos, 2, t.month) || pos >= s.size() || s[pos] != '/') return std::nullopt;
    ++pos;
    std::size_t start = pos;
    if (!readInt(s, pos, 4, t.year) || pos - start != 4) return std::nullopt;
  }
  if (pos < s.size()) {
    if (!(s[pos] == ' ' || (iso && s[pos] == 'T'))) return std::nullopt;
    ++pos;
    while (pos < s.size() && s[pos] == ' ') ++pos;
    if (!readInt(s, pos, 2, t.hour) || pos >= s.size() || s[pos] != ':') return std::nullopt;
    ++pos;
    if (!readInt(s, pos, 2, t.minute)) return std::nullopt;
    if (pos < s.size() && s[pos] == ':') {
      ++pos;
      if (!readInt(s, pos, 2, t.second)) return std::nullopt;
      if (iso && pos < s.size() && s[pos] == '.') {
        ++pos;
        int frac = 0;
        std::size_t start = pos;
        readInt(s, pos, 3, frac);
        for (std::size_t k = pos - start; k < 3; ++k) frac *= 10;
        t.millisecond = frac;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') ++pos;
      }
    }
    if (iso && pos < s.size() && s[pos] == 'Z') ++pos;
    if (pos != s.size()) return std::nullopt;
  }
  if (!valid(t)) return std::nullopt;
  return t;
}

std::tm toLocalTm(const DateTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return tm;
}

}  // namespace quillon::util
