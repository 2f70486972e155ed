#include "core/settings_table.h"

#include <cmath>

#include "util/text.h"

namespace quillon::core {
namespace {

using T = SettingType;
using E = TakesEffect;
constexpr unsigned kBoth = kSettingsWindow | kStatusPage;

std::string unquoted(const std::string& s) { return util::removeChar(s, '"'); }

// Loaders and renderers shared by keys of one form. Most texts lose their quotes; Background
// and PeriodicScriptInterval are kept as stored.
template <std::string Settings::*F>
void loadText(Settings& s, const SettingDef&, const std::string& v) { s.*F = unquoted(v); }
template <std::string Settings::*F>
void loadAsStored(Settings& s, const SettingDef&, const std::string& v) { s.*F = v; }
template <std::string Settings::*F>
std::string textOf(const Settings& s) { return s.*F; }

template <bool Settings::*F>
void loadFlag(Settings& s, const SettingDef&, const std::string& v) { s.*F = util::toBool(v); }
template <bool Settings::*F>
std::string flagOf(const Settings& s) { return s.*F ? "True" : "False"; }

template <int Settings::*F>
std::string wholeOf(const Settings& s) { return std::to_string(s.*F); }

// A rounded number within the key's range, else the default.
template <int Settings::*F>
void loadRounded(Settings& s, const SettingDef& d, const std::string& v) {
  const double n = std::nearbyint(util::leadingNumber(unquoted(v)));
  s.*F = n < d.min || n > d.max ? static_cast<int>(util::leadingNumber(d.def)) : static_cast<int>(n);
}

const SettingDef kTable[] = {
    // [W800], in the order the start-up reads it.
    {.key = "SerialPort", .type = T::LinkPort, .takes = E::OnReopen, .surfaces = kBoth,
     .help = "The receiver's serial port: a number (1 = /dev/ttyS0), a device path, or the TCP port of the "
             "adapter named by SerialIP; empty: no receiver",
     .load = loadText<&Settings::serialPort>, .value = textOf<&Settings::serialPort>},
    {.key = "SerialIP", .type = T::Address, .takes = E::OnReopen, .surfaces = kBoth,
     .help = "The address of the receiver's serial-to-network adapter; empty: a local serial port",
     .load = loadText<&Settings::serialIp>, .value = textOf<&Settings::serialIp>},
    // The start-up walk leaves HTTPPort to the node, which reads it by "ServerPort" after the walk.
    {.key = "HTTPPort", .type = T::Port, .def = "8017", .min = 0, .max = 65535, .takes = E::AtNextStart,
     .surfaces = kBoth, .help = "The web server's TCP port; 0 turns the server off", .selector = "ServerPort",
     .load = loadText<&Settings::httpPort>, .value = textOf<&Settings::httpPort>},
    {.key = "DebugLog", .type = T::Bool, .def = "False", .surfaces = kBoth,
     .help = "Writes debug lines to the log", .load = loadFlag<&Settings::debugLog>,
     .value = flagOf<&Settings::debugLog>},
    {.key = "Background", .type = T::Text, .def = "Black", .surfaces = kBoth,
     .help = "The status page's background colour (an HTML colour)", .load = loadAsStored<&Settings::background>,
     .value = textOf<&Settings::background>},
    {.key = "StyleSheet", .type = T::Text, .def = "StyleNoBody.css", .surfaces = kBoth,
     .help = "The status page's style sheet, a file of the web folder", .load = loadText<&Settings::styleSheet>,
     .value = textOf<&Settings::styleSheet>},
    {.key = "UID", .type = T::Uid, .def = "FF.0052:00", .surfaces = kBoth,
     .help = "The node's xAP UID; the older eight-digit form FF005200 is read as FF.0052:00",
     .load = [](Settings& s, const SettingDef&, const std::string& v) { s.uid = formatNodeUid(unquoted(v)); },
     .value = textOf<&Settings::uid>},
    {.key = "ShowSetup", .type = T::Bool, .def = "False", .surfaces = kBoth,
     .help = "The status page shows the setup section", .load = loadFlag<&Settings::showSetup>,
     .value = flagOf<&Settings::showSetup>},
    {.key = "ShowOnlyUsed", .type = T::Bool, .def = "False", .surfaces = kBoth,
     .help = "The status page lists only devices in use", .load = loadFlag<&Settings::showOnlyUsed>,
     .value = flagOf<&Settings::showOnlyUsed>},
    {.key = "ShowReceiveMessages", .type = T::Bool, .def = "False", .surfaces = kBoth,
     .help = "The status page shows the xAP messages of interest", .load = loadFlag<&Settings::showReceiveMessages>,
     .value = flagOf<&Settings::showReceiveMessages>},
    {.key = "ShowReceiveDetail", .type = T::Bool, .def = "False", .surfaces = kBoth,
     .help = "The status page shows the items of received xAP messages", .load = loadFlag<&Settings::showReceiveDetail>,
     .value = flagOf<&Settings::showReceiveDetail>},
    {.key = "PeriodicScriptInterval", .type = T::Number, .min = 0, .max = 1e9, .unit = "seconds", .surfaces = kBoth,
     .help = "Seconds between runs of the main script's periodic routine; empty: never",
     .fallback = "the periodic script stays off", .load = loadAsStored<&Settings::periodicScriptInterval>,
     .value = textOf<&Settings::periodicScriptInterval>},
    {.key = "DebounceInterval", .type = T::Integer, .def = "1000", .min = 200, .max = 2000, .unit = "milliseconds",
     .surfaces = kBoth, .help = "A repeated X10 code within this many milliseconds counts once",
     .load = [](Settings& s, const SettingDef& d, const std::string& v) {
       const double n = util::leadingNumber(unquoted(v));
       s.debounceInterval = n < d.min || n > d.max ? static_cast<int>(util::leadingNumber(d.def)) : static_cast<int>(n);
     },
     .value = wholeOf<&Settings::debounceInterval>},
    {.key = "IRSchema", .type = T::Bool, .def = "False", .surfaces = kBoth,
     .help = "RF PC remote buttons go out as IR.Receive instead of xAPBSC.Event", .load = loadFlag<&Settings::irSchema>,
     .value = flagOf<&Settings::irSchema>},
    {.key = "Mode", .type = T::Choice, .def = "0", .choices = "0=32-bit W800 mode|1=48-bit RFXCOM mode",
     .surfaces = kBoth, .help = "The receiver's mode; sent to an open receiver at once",
     .load = [](Settings& s, const SettingDef&, const std::string& v) {
       const double n = std::nearbyint(util::leadingNumber(unquoted(v)));
       s.mode = n < -32768 || n > 32767 ? 0 : static_cast<int>(n);
     },
     .value = wholeOf<&Settings::mode>},
    {.key = "HideRemoved", .type = T::Bool, .def = "False", .surfaces = kBoth,
     .help = "The status page leaves out devices marked removed", .load = loadFlag<&Settings::hideRemoved>,
     .value = flagOf<&Settings::hideRemoved>},
    {.key = "AcceptVisonic", .type = T::Bool, .def = "False", .surfaces = kBoth,
     .help = "Codes of Visonic sensors are decoded", .load = loadFlag<&Settings::acceptVisonic>,
     .value = flagOf<&Settings::acceptVisonic>},
    {.key = "Metric", .type = T::Choice, .def = "0", .choices = "0=imperial|1=metric", .surfaces = kBoth,
     .help = "Sensor units; any number other than 0 means metric",
     .load = [](Settings& s, const SettingDef&, const std::string& v) {
       s.metric = util::leadingNumber(unquoted(v)) != 0;
     },
     .value = [](const Settings& s) -> std::string { return s.metric ? "1" : "0"; }},
    {.key = "SensorCal", .type = T::Factor, .def = "1", .surfaces = kBoth,
     .help = "The factor applied to power sensor readings; 0 is read as 1",
     .load = [](Settings& s, const SettingDef&, const std::string& v) {
       const float n = static_cast<float>(util::leadingNumber(unquoted(v)));
       s.sensorCal = n == 0 ? 1.0f : n;
     },
     .value = [](const Settings& s) { return util::formatNumber(s.sensorCal); }},
    {.key = "DisableDiscovery", .type = T::Bool, .def = "False", .surfaces = kBoth,
     .help = "Codes of unknown devices are not added to the device list",
     .load = loadFlag<&Settings::disableDiscovery>, .value = flagOf<&Settings::disableDiscovery>},
    {.key = "TxSerialIP", .type = T::Address, .takes = E::OnReopen, .surfaces = kBoth,
     .help = "The address of the transmitter's serial-to-network adapter; empty: a local serial port",
     .load = loadText<&Settings::txSerialIp>, .value = textOf<&Settings::txSerialIp>},
    {.key = "TxSerialPort", .type = T::LinkPort, .takes = E::OnReopen, .surfaces = kBoth,
     .help = "The transmitter's serial port, as SerialPort; empty: no transmitter",
     .load = loadText<&Settings::txSerialPort>, .value = textOf<&Settings::txSerialPort>},
    {.key = "ReceiverSilenceMinutes", .type = T::Integer, .def = "0", .min = 0, .max = 525600, .unit = "minutes",
     .surfaces = kSettingsWindow,
     .help = "A warning is logged when an open receiver sends nothing for this many minutes; 0: never",
     .load = loadRounded<&Settings::receiverSilenceMinutes>, .value = wholeOf<&Settings::receiverSilenceMinutes>},
    {.key = "HistoryEnabled", .type = T::Bool, .def = "True", .surfaces = kSettingsWindow,
     .help = "Readings and state changes are kept in Data/history.sqlite for the device pages' graphs",
     .load = loadFlag<&Settings::historyEnabled>, .value = flagOf<&Settings::historyEnabled>},
    {.key = "HistoryRawDays", .type = T::Integer, .def = "30", .min = 1, .max = 3650, .unit = "days",
     .surfaces = kSettingsWindow, .help = "Every single reading is kept this long, then only hourly figures",
     .load = loadRounded<&Settings::historyRawDays>, .value = wholeOf<&Settings::historyRawDays>},
    {.key = "HistoryYears", .type = T::Integer, .def = "10", .min = 1, .max = 100, .unit = "years",
     .surfaces = kSettingsWindow, .help = "Hourly minimum, mean and maximum are kept this long",
     .load = loadRounded<&Settings::historyYears>, .value = wholeOf<&Settings::historyYears>},
    {.key = "Rtl433Command", .type = T::Text, .takes = E::OnReopen, .surfaces = kSettingsWindow,
     .help = "The rtl_433 command the node runs as its SDR receiver, e.g. rtl_433 -F json -M time:unix:usec -M "
             "protocol; empty: none",
     .load = loadAsStored<&Settings::rtl433Command>, .value = textOf<&Settings::rtl433Command>},
    {.key = "Rtl433Source", .type = T::Text, .takes = E::OnReopen, .surfaces = kSettingsWindow,
     .help = "Where rtl_433 JSON lines come from when the node does not run it: tcp:HOST:PORT, or a file or named "
             "pipe; empty: none",
     .load = loadText<&Settings::rtl433Source>, .value = textOf<&Settings::rtl433Source>},
    // [W800] keys read where they are used.
    {.key = "LoginUsername", .surfaces = kStatusPage, .help = "The user name the web server asks of remote browsers"},
    {.key = "LoginPassword", .type = T::Password, .surfaces = kStatusPage,
     .help = "The password the web server asks of remote browsers, stored scrambled"},
    {.key = "StatusSortKey", .def = "DCSort", .help = "The column the status page is sorted by"},
    {.key = "StatusSortDirection", .help = "DESC when the status page is sorted downwards"},
    {.key = "ShowEPROM", .type = T::Bool, .def = "False", .help = "Kept from older files; the page writes False"},
    {.key = "ShowInputLinks", .type = T::Bool, .def = "False", .help = "Kept from older files; the page writes False"},
    {.key = "MaxConnections", .type = T::Integer, .def = "64", .min = 1, .max = 10000, .unit = "connections",
     .takes = E::AtNextStart,
     .help = "The most clients the web server serves at once; one more is refused (503) and told to retry"},
    {.key = "MaxRequestBody", .type = T::Integer, .def = "1048576", .min = 0, .max = 1073741824, .unit = "bytes",
     .takes = E::AtNextStart, .help = "The largest request body the web server takes; a larger one is refused (413)"},
    {.key = "TrustLocalNetwork", .type = T::Bool, .def = "True",
     .help = "Clients on the server's own /24 network see the pages without the login (a change still needs the "
             "page's token)"},
    {.key = "WebSessionMinutes", .type = T::Integer, .def = "60", .min = 1, .max = 10080, .unit = "minutes",
     .help = "A web session unused this long ends (its next request logs in again)"},
    {.key = "ScriptTimeout", .help = "Kept from older files; not used"},
    {.key = "Rain8StatusInterval", .help = "Kept from older files; not used"},
    // [MQTT], read by the bridge; a change makes it reconnect.
    {.section = kMqttSection, .key = "Enabled", .type = T::Bool, .def = "False", .takes = E::OnReopen,
     .help = "The MQTT bridge connects to a broker"},
    {.section = kMqttSection, .key = "Host", .def = "127.0.0.1", .takes = E::OnReopen,
     .help = "The broker's host name or address; 127.0.0.1 for one on this machine", .onlyWith = "Enabled",
     .required = true},
    {.section = kMqttSection, .key = "Port", .type = T::Port, .def = "1883", .min = 1, .max = 65535,
     .takes = E::OnReopen, .help = "The broker's TCP port"},
    {.section = kMqttSection, .key = "User", .takes = E::OnReopen, .help = "The user name given to the broker"},
    {.section = kMqttSection, .key = "Password", .type = T::Password, .takes = E::OnReopen,
     .help = "The password given to the broker"},
    {.section = kMqttSection, .key = "ClientId", .takes = E::OnReopen,
     .help = "The MQTT client id; empty: quillon-<machine name>"},
    {.section = kMqttSection, .key = "TLS", .type = T::Bool, .def = "False", .takes = E::OnReopen,
     .help = "The connection to the broker uses TLS"},
    {.section = kMqttSection, .key = "CAFile", .type = T::Path, .unit = "CA file", .takes = E::OnReopen,
     .help = "The certificate authority the broker's certificate is checked against; empty: the system's",
     .onlyWith = "TLS", .fallback = "the bridge could not check the broker's certificate"},
    {.section = kMqttSection, .key = "BaseTopic", .type = T::Topic, .def = "quillon", .takes = E::OnReopen,
     .help = "The first level of the node's topics"},
    {.section = kMqttSection, .key = "Discovery", .type = T::Bool, .def = "True", .takes = E::OnReopen,
     .help = "Home Assistant discovery configs are published"},
    {.section = kMqttSection, .key = "DiscoveryPrefix", .type = T::Topic, .def = "homeassistant",
     .takes = E::OnReopen, .help = "The topic prefix Home Assistant watches for discovery configs"},
};

}  // namespace

std::span<const SettingDef> settingsTable() { return kTable; }

const SettingDef* findSetting(std::string_view section, std::string_view key) {
  for (const SettingDef& d : kTable)
    if (util::iequals(d.key, key) && util::iequals(d.section, section)) return &d;
  return nullptr;
}

bool keptKeyPrefix(std::string_view key) {
  for (const char* prefix : {"History_", "Rain8ProgrammingPort", "Rain8EPROMHouseCode", "TimerEnable", "Rain8Timeout"})
    if (util::istartsWith(key, prefix)) return true;
  return false;
}

std::string storedSetting(IniCache& cache, std::string_view section, std::string_view key) {
  const SettingDef* d = findSetting(section, key);
  return cache.getIniSetting(std::string(section), std::string(key), d ? d->def : "", d ? d->file : kSettingsFile);
}

const char* takesEffectText(TakesEffect takes) {
  switch (takes) {
    case TakesEffect::OnReopen: return "when the link reopens";
    case TakesEffect::AtNextStart: return "at the next start";
    case TakesEffect::AtOnce: break;
  }
  return "at once";
}

std::vector<std::string> changedKeys(const Settings& before, const Settings& after) {
  std::vector<std::string> out;
  for (const SettingDef& d : kTable)
    if (d.value && d.value(before) != d.value(after)) out.emplace_back(d.key);
  return out;
}

}  // namespace quillon::core
