#include "history/local_time.h"

#include <cstdio>
#include <ctime>

namespace quillon::history {
namespace {

std::tm localTm(std::int64_t utcMs) {
  const std::time_t seconds = static_cast<std::time_t>(utcMs >= 0 ? utcMs / 1000 : (utcMs - 999) / 1000);
  std::tm tm{};
  localtime_r(&seconds, &tm);
  return tm;
}

}  // namespace

std::int64_t utcMsOfLocal(const util::DateTime& t) {
  std::tm tm = util::toLocalTm(t);
  const std::time_t seconds = std::mktime(&tm);
  return static_cast<std::int64_t>(seconds) * 1000 + t.millisecond;
}

util::DateTime localOfUtcMs(std::int64_t utcMs) {
  const std::tm tm = localTm(utcMs);
  const int ms = static_cast<int>(((utcMs % 1000) + 1000) % 1000);
  return util::DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms};
}

std::string isoLocal(std::int64_t utcMs) {
  const std::tm tm = localTm(utcMs);
  const long offset = tm.tm_gmtoff;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+', minutes / 60 % 100, minutes % 60);
  return buf;
}

std::int64_t localDayStartMs(std::int64_t utcMs) {
  std::tm tm = localTm(utcMs);
  tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
  tm.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&tm)) * 1000;
}

}  // namespace quillon::history
