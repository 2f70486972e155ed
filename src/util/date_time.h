#pragma once
// Local civil date and time as the node shows and stores it.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::util {

struct DateTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;

  // Days since 30/12/1899 plus the fraction of the day (the classic date serial).
  double toSerial() const;
  static DateTime fromSerial(double serial);
  // Whole days since 1970-01-01 of the date part.
  std::int64_t daysSinceEpoch() const;
  static DateTime fromDaysSinceEpoch(std::int64_t days);
  // Milliseconds since 1970-01-01 00:00 of this local time (no time zone involved).
  std::int64_t toEpochMs() const;
  static DateTime fromEpochMs(std::int64_t ms);

  DateTime addMs(std::int64_t ms) const { return fromEpochMs(toEpochMs() + ms); }
  DateTime dateOnly() const { return DateTime{year, month, day, 0, 0, 0, 0}; }
  double secondsSinceMidnight() const { return hour * 3600.0 + minute * 60.0 + second + millisecond / 1000.0; }
  bool sameDay(const DateTime& o) const { return year == o.year && month == o.month && day == o.day; }

  auto operator<=>(const DateTime& o) const { return toEpochMs() <=> o.toEpochMs(); }
  bool operator==(const DateTime& o) const { return toEpochMs() == o.toEpochMs(); }
};

// "dd/mm/yyyy hh:nn:ss"; the date alone when the time is midnight.
std::string formatGeneral(const DateTime& t);
// "dd/mm/yyyy hh:nn:ss" always.
std::string formatFull(const DateTime& t);
// Reads "dd/mm/yyyy[ hh:nn[:ss]]" and ISO 8601 "yyyy-mm-dd[Thh:nn[:ss[.fff]]]" (a space may
// stand for the T). Anything else, or an impossible date, gives nothing.
std::optional<DateTime> parseDateTime(std::string_view text);

int daysInMonth(int year, int month);

// The time as a struct tm for mktime: a local civil time whose daylight saving the system works out.
std::tm toLocalTm(const DateTime& t);

}  // namespace quillon::util
