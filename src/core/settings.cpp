#include "core/settings.h"

#include <cmath>

#include "util/text.h"

namespace quillon::core {

const std::array<const char*, 22> kSettingsKeyList = {
    "SerialPort", "serialip", "httpport", "debuglog", "background", "styleSheet", "uid", "showsetup",
    "showonlyused", "showreceivemessages", "showreceivedetail", "periodicscriptinterval", "debounceinterval",
    "irschema", "mode", "hideremoved", "acceptvisonic", "metric", "sensorcal", "disablediscovery", "txserialip",
    "txserialport"};

const std::array<const char*, 25> kSettingsWindowDefaults = {
    "", "", "", "false", "black", "StyleNoBody.css", "FF.0052:00", "true", "false", "false", "false", "2", "false",
    "False", "", "", "false", "0", "false", "false", "0", "1", "0", "", ""};

namespace {

std::string unquoted(const std::string& s) { return util::removeChar(s, '"'); }

}  // namespace

std::string formatNodeUid(const std::string& uid) {
  if (uid.find(':') != std::string::npos) return uid;
  std::string first = uid.substr(0, std::min<std::size_t>(2, uid.size()));
  std::string middle = uid.size() > 2 ? uid.substr(2, 4) : "";
  return first + "." + middle + ":00";
}

void setIniValue(Settings& s, IniCache& cache, const std::string& selector) {
  const std::string key = util::lower(selector);
  auto get = [&](const char* name, const char* def) {
    return cache.getIniSetting(kSettingsSection, name, def, kSettingsFile);
  };
  if (key == "serialport") s.serialPort = unquoted(get("SerialPort", ""));
  else if (key == "serialip") s.serialIp = unquoted(get("SerialIP", ""));
  else if (key == "txserialport") s.txSerialPort = unquoted(get("TxSerialPort", ""));
  else if (key == "txserialip") s.txSerialIp = unquoted(get("TxSerialIP", ""));
  else if (key == "serverport") s.httpPort = unquoted(get("HTTPPort", "8017"));
  else if (key == "debuglog") s.debugLog = util::toBool(get("DebugLog", "False"));
  else if (key == "background") s.background = get("Background", "Black");
  else if (key == "stylesheet") s.styleSheet = unquoted(get("StyleSheet", "StyleNoBody.css"));
  else if (key == "uid") s.uid = formatNodeUid(unquoted(get("UID", "FF.0052:00")));
  else if (key == "showsetup") s.showSetup = util::toBool(get("ShowSetup", "false"));
  else if (key == "showonlyused") s.showOnlyUsed = util::toBool(get("ShowOnlyUsed", "false"));
  else if (key == "hideremoved") s.hideRemoved = util::toBool(get("HideRemoved", "false"));
  else if (key == "acceptvisonic") s.acceptVisonic = util::toBool(get("AcceptVisonic", "false"));
  else if (key == "showreceivemessages") s.showReceiveMessages = util::toBool(get("ShowReceiveMessages", "false"));
  else if (key == "showreceivedetail") s.showReceiveDetail = util::toBool(get("ShowReceiveDetail", "false"));
  else if (key == "periodicscriptinterval") s.periodicScriptInterval = get("PeriodicScriptInterval", "");
  else if (key == "debounceinterval") {
    double v = util::leadingNumber(unquoted(get("DebounceInterval", "1000")));
    s.debounceInterval = (v < 200 || v > 2000) ? 1000 : static_cast<int>(v);
  } else if (key == "irschema") s.irSchema = util::toBool(get("IRSchema", "0"));
  else if (key == "disablediscovery") s.disableDiscovery = util::toBool(get("DisableDiscovery", "0"));
  else if (key == "sensorcal") {
    float v = static_cast<float>(util::leadingNumber(unquoted(get("SensorCal", "1"))));
    s.sensorCal = v == 0 ? 1.0f : v;
  } else if (key == "mode") {
    double v = std::nearbyint(util::leadingNumber(unquoted(get("Mode", "0"))));
    s.mode = (v < -32768 || v > 32767) ? 0 : static_cast<int>(v);
  } else if (key == "metric") s.metric = util::leadingNumber(unquoted(get("Metric", "0"))) != 0;
  else if (key == "receiversilenceminutes") {
    double v = std::nearbyint(util::leadingNumber(unquoted(get("ReceiverSilenceMinutes", "0"))));
    s.receiverSilenceMinutes = (v < 0 || v > 525600) ? 0 : static_cast<int>(v);
  }
}

void initIniKeys(Settings& settings, IniCache& cache) {
  for (const char* key : kSettingsKeyList) setIniValue(settings, cache, key);
  setIniValue(settings, cache, "ReceiverSilenceMinutes");
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
