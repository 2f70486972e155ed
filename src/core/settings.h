#pragma once
// The node's settings of section W800 of "Quillon.ini" as loaded (core/settings_table.h declares
// each key, its default and its conversion).
#include <string>

#include "core/ini_cache.h"
#include "util/ordered_dict.h"

namespace quillon::core {

inline constexpr const char* kSettingsFile = "Quillon.ini";
inline constexpr const char* kXapSettingsFile = "ovkXap.ini";
inline constexpr const char* kSettingsSection = "W800";

struct Settings {
  std::string serialPort;
  std::string serialIp;
  std::string txSerialPort;
  std::string txSerialIp;
  std::string httpPort = "8017";
  bool debugLog = false;
  std::string background = "Black";
  std::string styleSheet = "StyleNoBody.css";
  std::string uid = "FF.0052:00";
  bool showSetup = false;
  bool showOnlyUsed = false;
  bool hideRemoved = false;
  bool acceptVisonic = false;
  bool showReceiveMessages = false;
  bool showReceiveDetail = false;
  std::string periodicScriptInterval;
  int debounceInterval = 1000;
  bool irSchema = false;
  bool disableDiscovery = false;
  float sensorCal = 1.0f;
  int mode = 0;
  bool metric = false;
  // Minutes without a byte from an open receiver before a warning is logged (0: never).
  int receiverSilenceMinutes = 0;
  // History: on or off, days of single readings, years of hourly figures.
  bool historyEnabled = true;
  int historyRawDays = 30;
  int historyYears = 10;
  // The SDR receiver: the rtl_433 command the node runs, or where its JSON lines come from.
  std::string rtl433Command;
  std::string rtl433Source;
};

// Reads one key by its selector (any letter case; the key's name, "ServerPort" for HTTPPort) into
// the settings, as the settings table declares it; unknown selectors do nothing.
void setIniValue(Settings& settings, IniCache& cache, const std::string& selector);
// Reads every key of [W800] in the table's order (HTTPPort excepted: see setIniValue).
void initIniKeys(Settings& settings, IniCache& cache);

// A UID without ":" in the older eight-digit form becomes "FF.0052:00" style.
std::string formatNodeUid(const std::string& uid);

// The periodic script timer from its setting (seconds): interval, minute counter, enabled.
struct PeriodicSchedule {
  int intervalMs = 0;
  int minuteCounter = 0;
  bool enabled = false;
};
PeriodicSchedule periodicSchedule(const std::string& setting);

// Receive filters of section Received: "source~class" -> "tag;script", keys without regard to case.
using FilterDictionary = util::OrderedDict<std::string>;
void initFilterDictionary(FilterDictionary& filters, IniCache& cache);

}  // namespace quillon::core
