#include "core/settings.h"

#include <cmath>

#include "core/settings_table.h"
#include "util/text.h"

namespace quillon::core {

std::string formatNodeUid(const std::string& uid) {
  if (uid.find(':') != std::string::npos) return uid;
  std::string first = uid.substr(0, std::min<std::size_t>(2, uid.size()));
  std::string middle = uid.size() > 2 ? uid.substr(2, 4) : "";
  return first + "." + middle + ":00";
}

void setIniValue(Settings& settings, IniCache& cache, const std::string& selector) {
  for (const SettingDef& d : settingsTable()) {
    if (!d.load || !util::iequals(d.section, kSettingsSection) || !util::iequals(d.selector ? d.selector : d.key, selector))
      continue;
    d.load(settings, d, cache.getIniSetting(d.section, d.key, d.def, d.file));
    return;
  }
}

void initIniKeys(Settings& settings, IniCache& cache) {
  // Each key by its own name: HTTPPort answers only to "ServerPort", which the node reads itself.
  for (const SettingDef& d : settingsTable())
    if (d.load && util::iequals(d.section, kSettingsSection)) setIniValue(settings, cache, d.key);
}

PeriodicSchedule periodicSchedule(const std::string& setting) {
  PeriodicSchedule out;
  std::string t = util::removeChar(setting, '"');
  if (!util::isNumeric(t)) return out;
  double p = std::nearbyint(std::strtod(util::trimWhitespace(t).c_str(), nullptr));
  if (p < 0 || p > 1e9) return out;  // a negative interval cannot be armed
  long long whole = static_cast<long long>(p);
  long long r = whole % 60, m = whole / 60;
  out.enabled = true;
  if (r != 0) {
    out.intervalMs = static_cast<int>(r * 1000);
    out.minuteCounter = static_cast<int>(m);
  } else {
    out.intervalMs = 60000;
    out.minuteCounter = static_cast<int>(m - 1);
  }
  return out;
}

void initFilterDictionary(FilterDictionary& filters, IniCache& cache) {
  filters.clear();
  std::string section = util::removeChar(cache.getIniSection("Received", kSettingsFile), '"');
  if (section.empty()) return;
  for (const std::string& piece : util::split(section, std::string(1, '\0'))) {
    std::size_t eq = piece.find('=');
    std::string key = piece.substr(0, eq);
    std::string item = eq == std::string::npos ? "" : piece.substr(eq + 1);
    if (key.empty() || filters.contains(key)) continue;
    filters.insert(key, item);
  }
}

}  // namespace quillon::core
