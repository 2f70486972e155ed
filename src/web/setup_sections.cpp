// The sections the status page adds below the device table: the node's settings, the web login,
// the xAP messages of interest, and the two command buttons; with the saving of each.
#include <cmath>
#include <exception>

#include "util/password_scramble.h"
#include "util/text.h"
#include "web/status_page.h"

namespace quillon::web {
namespace {

std::string input(const char* type, int size, const char* name, const std::string& value) {
  return std::string("<input type='") + type + "' size='" + std::to_string(size) + "' value='" + htmlEscape(value) +
         "' name='" + name + "'>";
}

std::string radio(const char* name, const char* value, bool on, const char* label) {
  return std::string("<input type='radio' name='") + name + "' value='" + value + "'" + checked(on) + ">&nbsp;" +
         label;
}

std::string box(const char* name, const char* value, bool on, const char* label) {
  return std::string("<input type='checkbox' name='") + name + "' value='" + value + "'" + checked(on) + ">&nbsp;" +
         label;
}

}  // namespace

void StatusPage::addSetup(util::FastString& page) {
  try {
    // Posted with the section: only a page that showed it saves it.
    page.add("<input type='hidden' name='SetupShown' value='1'>");
    const std::string even = "TABLEROWEVEN", odd = "TABLEROWODD";
    auto header = [&](const char* text) {
      page.add("<tr>").add(cell(text, "", "2", "TABLEHEADER")).add("</tr>");
    };
    auto row = [&](const std::string& label, const std::string& control, const std::string& cls) {
      page.add("<tr>").add(cell(label, "Right", "", cls)).add(cell(control, "Left", "", cls)).add("</tr>");
    };
    // Choices and boxes show the stored value as the node reads it; text fields show the text.
    core::Settings stored;
    core::initIniKeys(stored, ctx_.ini);
    page.add("<br><table class='setup'>");
    header("HTTP / Browser");
    row("HTTP Server Port", input("text", 4, "ServerPort", setting("HTTPPort")), even);
    row("Browser Background", input("text", 8, "Background", setting("Background")), odd);
    row("Style Sheet", input("text", 18, "StyleSheet", setting("StyleSheet")), even);
    header("Connectivity, xAP");
    row("xAP UID", input("text", 8, "xapUID", setting("UID")), even);
    header("RF Receiver");
    row("Serial Comm IP Address", input("text", 16, "SerialIP", setting("SerialIP")), even);
    row("Serial Comm Port", input("text", 3, "SerialPort", setting("SerialPort")), odd);
    header("RF Transmitter");
    row("Serial Comm IP Address", input("text", 16, "TxSerialIP", setting("TxSerialIP")), even);
    row("Serial Comm Port", input("text", 3, "TxSerialPort", setting("TxSerialPort")), odd);
    header("Timing");
    row("Periodic Script Interval",
        input("text", 5, "periodicscriptinterval", setting("PeriodicScriptInterval")) + "&nbsp;seconds", even);
    row("Debounce Period", input("text", 5, "debounceinterval", setting("DebounceInterval")) + "&nbsp;milliseconds",
        odd);
    header("Mode of Operation");
    row("Receiver", radio("mode", "0", stored.mode != 1, "32 Bits - W800 compatible") + "<br>" +
                        radio("mode", "1", stored.mode == 1, "48 Bits - RFXCOM only"), even);
    row("Visonic", box("AcceptVisonic", "1", stored.acceptVisonic, "Accept Visonic"), odd);
    row("Discovery", box("DisableDiscovery", "1", stored.disableDiscovery,
                         "Disable new device discovery"), even);
    header("Sensor Units");
    row("Units",
        radio("metric", "0", !stored.metric, "Imperial") + "<br>" + radio("metric", "1", stored.metric, "Metric"), even);
    header("Sensor Calibration");
    row("&nbsp;", input("text", 3, "sensorcal", setting("SensorCal")), even);
    header("Debug");
    row("Debug", box("debuglog", "0", stored.debugLog, "Enable Debug Output"), even);
    header("RF PC Remote");
    row("Schema", radio("irschema", "0", !stored.irSchema, "Use XapBSC.Event schema on button push") + "<br>" +
                      radio("irschema", "1", stored.irSchema, "Use IR.Receive schema on button push"), even);
    page.add("</table>");
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "AddSetup", e.what());
  }
}

void StatusPage::addLogin(util::FastString& page) {
  try {
    page.add("<br><table class='setup'><tr>")
        .add(cell("Login Username and Password for Internet (WAN) Access", "", "2", "TABLEHEADER"))
        .add("</tr><tr>")
        .add(cell("Login Username", "Right", "", "TABLEROWEVEN"))
        .add(cell(input("text", 15, "LoginUsername", setting("LoginUsername")), "Left", "", "TABLEROWEVEN"))
        .add("</tr><tr>")
        .add(cell("Login Password", "Right", "", "TABLEROWODD"))
        // The password never goes back to a browser: an empty field keeps it.
        .add(cell(input("password", 15, "LoginPassword", "") +
                      (setting("LoginPassword").empty() ? "" : "&nbsp;<small>(set; empty keeps it)</small>"),
                  "Left", "", "TABLEROWODD"))
        .add("</tr></table>");
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "AddLogin", e.what());
  }
}

void StatusPage::addFilter(util::FastString& page) {
  try {
    page.add("<input type='hidden' name='FiltersShown' value='1'>");
    page.add("<br><table><tr>")
        .add(cell("xAP Messages of Interest", "", "5", "TABLEHEADER"))
        .add("</tr><tr>");
    for (const char* h : {"Status", "Tag", "Ev", "Source Including Subaddress", "Class"})
      page.add(cell(h, "", "", "TABLEHEADER"));
    page.add("</tr>");
    auto filterRow = [&](int n, const std::string& source, const std::string& cls, const std::string& tag,
                         bool event, const std::string& status, const std::string& style) {
      const std::string k = std::to_string(n);
      page.add("<tr>")
          .add(cell(status, "", "", style))
          .add(cell("<input type='text' size='15' value='" + htmlEscape(tag) + "' name='FilterTag" + k + "'>", "", "",
                    "tablecellmisc"))
          .add(cell(std::string("<input type='checkbox'") + (event ? " checked" : "") + " value='1' name='FilterEvent" +
                        k + "'>",
                    "", "", style))
          .add(cell("<input type='text' size='67' value='" + htmlEscape(source) + "' name='Source" + k + "'>", "Right",
                    "", style))
          .add(cell("<input type='text' size='20' value='" + htmlEscape(cls) + "' name='Class" + k + "'>", "", "",
                    style))
          .add("</tr>");
    };
    int n = 0;
    bool even = true;
    for (const auto& [key, value] : ctx_.filters) {
      ++n;
      const std::size_t tilde = key.find('~'), semi = value.find(';');
      const std::string source = key.substr(0, tilde);
      const std::string cls = tilde == std::string::npos ? "" : key.substr(tilde + 1);
      const std::string tag = value.substr(0, semi);
      const std::string flag = semi == std::string::npos ? "" : value.substr(semi + 1);
      const script::DeviceClass* entry = tags_ ? tags_->find(tag) : nullptr;
      const std::string style = even ? "TABLEROWEVEN" : "TABLEROWODD";
      even = !even;
      filterRow(n, source, cls, tag, !flag.empty(), entry ? formatChanged(entry->lastChange) : "", style);
      if (!entry) continue;
      for (const auto& [item, itemValue] : entry->messageList)
        page.add("<tr>")
            .add(cell("&nbsp;", "", "", style))
            .add(cell(htmlEscape(item), "Right", "2", style))
            .add(cell(htmlEscape(itemValue), "", "2", style))
            .add("</tr>");
    }
    filterRow(0, "", "", "", false, "", "TABLEROWEVEN");
    page.add("</table>");
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "AddFilter", e.what());
  }
}

void StatusPage::addScriptButton(util::FastString& page) {
  try {
    page.add("<br><table><tr>")
        .add(cell("Refresh", "", "2", "TABLEHEADER"))
        .add("</tr><tr>")
        .add(cell("<form name='no redraw' method='post' target='hiddenframe'>" + std::string(kTokenField) + "<input type='submit' name='script' "
                  "value='Read Script Quillon.txt'><input type='hidden' name='clientinput' value='yes'></form>",
                  "", "", "TABLEROWEVEN"))
        .add(cell("<form name='redraw' method='post'>" + std::string(kTokenField) + "<input type='submit' name='query' value='BSC Query of Receiver'>"
                  "<input type='hidden' name='clientinput' value='yes'></form>",
                  "", "", "TABLEROWEVEN"))
        .add("</tr></table>")
        .add("<p><a href='/help'>Help</a></p>");
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "AddScriptButton", e.what());
  }
}

void StatusPage::saveSetupAndLogin() {
  core::Settings& s = ctx_.settings;
  const core::Settings before = s;
  auto boolText = [](bool v) { return v ? "True" : "False"; };
  auto number = [](const std::string& t) { return util::leadingNumber(util::removeChar(t, '"')); };

  s.acceptVisonic = !form("AcceptVisonic").empty();
  saveSetting("AcceptVisonic", boolText(s.acceptVisonic));

  s.debugLog = !form("debuglog").empty();
  ctx_.log.setDebugLog(s.debugLog);
  saveSetting("DebugLog", boolText(s.debugLog));

  // An HTTP port that is not a port would leave the server off at the next start: keep the old one.
  const std::string port = util::trim(form("ServerPort"));
  const double portNumber = number(port);
  if (port.empty() || (util::isNumeric(port) && portNumber >= 0 && portNumber <= 65535 && std::floor(portNumber) == portNumber)) {
    s.httpPort = port;
    saveSetting("HTTPPort", port);
  } else {
    ctx_.logEvent("Status ClientRequest: HTTP port '" + port + "' is not a port number; kept " + s.httpPort);
  }
  s.background = form("Background");
  saveSetting("Background", s.background);
  s.styleSheet = form("StyleSheet");
  saveSetting("StyleSheet", s.styleSheet);
  s.serialIp = form("SerialIP");
  saveSetting("SerialIP", s.serialIp);
  s.txSerialIp = form("TxSerialIP");
  saveSetting("TxSerialIP", s.txSerialIp);
  // A device path (/dev/ttyUSB0) is kept as typed; a port number is stored as its value.
  const std::string serial = util::trim(form("SerialPort"));
  s.serialPort = serial.empty() || serial.find('/') != std::string::npos ? serial : util::formatNumber(number(serial));
  saveSetting("SerialPort", s.serialPort);
  s.txSerialPort = form("TxSerialPort");
  saveSetting("TxSerialPort", s.txSerialPort);
  s.irSchema = number(form("irschema")) != 0;
  saveSetting("IRSchema", boolText(s.irSchema));
  s.disableDiscovery = number(form("DisableDiscovery")) != 0;
  saveSetting("DisableDiscovery", boolText(s.disableDiscovery));
  float cal = static_cast<float>(number(form("sensorcal")));
  if (cal == 0 || !std::isfinite(cal)) cal = 1.0f;
  s.sensorCal = cal;
  saveSetting("SensorCal", util::formatNumber(cal));
  const double mode = std::nearbyint(number(form("mode")));
  s.mode = mode < -32768 || mode > 32767 ? 0 : static_cast<int>(mode);
  saveSetting("Mode", std::to_string(s.mode));
  const double metric = number(form("metric"));
  s.metric = metric != 0;
  saveSetting("Metric", util::formatNumber(metric));
  s.periodicScriptInterval = form("periodicscriptinterval");
  saveSetting("PeriodicScriptInterval", s.periodicScriptInterval);
  const core::SettingDef& range = *core::findSetting(core::kSettingsSection, "DebounceInterval");
  const double debounce = std::floor(number(form("debounceinterval")));
  s.debounceInterval = debounce < range.min || debounce > range.max ? static_cast<int>(number(range.def))
                                                                     : static_cast<int>(debounce);
  saveSetting("DebounceInterval", std::to_string(s.debounceInterval));

  // An empty UID would give the node no xAP identity: keep the old one.
  if (const std::string uid = util::trim(form("xapUID")); !uid.empty()) {
    s.uid = core::formatNodeUid(uid);
    saveSetting("UID", s.uid);
  }

  for (const char* key : {"Rain8ProgrammingPort", "Rain8EPROMHouseCode"}) saveSetting(key, "");
  for (int d = 0; d <= 7; ++d) {
    saveSetting(("TimerEnable" + std::to_string(d)).c_str(), "");
    saveSetting(("Rain8Timeout" + std::to_string(d)).c_str(), "");
  }

  saveSetting("LoginUsername", form("LoginUserName"));
  if (const std::string password = form("LoginPassword"); !password.empty())
    saveSetting("LoginPassword", util::scramblePassword(password));
  else if (form("LoginUserName").empty())
    saveSetting("LoginPassword", "");  // no user, no login: nothing to keep

  // Each subsystem follows only what changed: saving the page as shown drops no working link.
  if (services_.settingsSaved) services_.settingsSaved(before);
}

// Why a filter's source or class cannot be part of a settings key ("" when it can): a key
// cannot start a section ("["), hold its end ("]") or an "=", start a comment (";"), or hold "~"
// (it joins source and class).
std::string filterKeyProblem(const std::string& text) {
  if (std::string p = textProblem(text, StatusPage::kMaxTextBytes); !p.empty()) return "is " + p;
  if (text.find_first_of("[]=~") != std::string::npos) return "holds one of [ ] = ~";
  if (!text.empty() && text.front() == ';') return "starts with ;";
  return "";
}

void StatusPage::saveFilterSettings() {
  try {
    const std::size_t m = ctx_.filters.size();
    // One filter that cannot be stored keeps them all as they were: the section is written whole.
    for (std::size_t n = 0; n <= m; ++n) {
      const int i = static_cast<int>(n);
      for (const char* field : {"Source", "Class"})
        if (std::string p = filterKeyProblem(formN(field, i)); !p.empty()) {
          notices_.push_back("Receive filters not saved: " + std::string(field) + " " + formN(field, i).substr(0, 40) +
                             " " + p);
          return;
        }
      for (const char* field : {"FilterTag", "FilterEvent"})
        if (std::string p = textProblem(formN(field, i), kMaxTextBytes); !p.empty()) {
          notices_.push_back("Receive filters not saved: " + std::string(field) + " is " + p);
          return;
        }
    }
    ctx_.ini.clearIniSection("Received", core::kSettingsFile);
    ctx_.filters.clear();
    for (std::size_t n = 0; n <= m; ++n) {
      const int i = static_cast<int>(n);
      // "~" splits the key and ";" the value, so neither may come from the typed text.
      const std::string source = util::replaceAll(formN("Source", i), "~", "-");
      const std::string cls = util::replaceAll(formN("Class", i), "~", "-");
      const std::string tag = util::replaceAll(util::replaceAll(formN("FilterTag", i), " ", "_"), ";", "_");
      const std::string flag = util::replaceAll(formN("FilterEvent", i), ";", "_");
      const std::string key = source + "~" + cls;
      if (key == "~") continue;
      if (ctx_.filters.insert(key, tag + ";" + flag))
        ctx_.ini.saveIniSetting("Received", key, tag + ";" + flag, core::kSettingsFile);
      if (tags_ && !tag.empty() && !tags_->hasTag(tag)) {
        auto entry = std::make_shared<script::DeviceClass>();
        entry->tag = tag;
        entry->lastChange = util::DateTime{2000, 1, 1};
        tags_->add(tag, std::move(entry));
      }
    }
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "SaveFilterSettings", e.what());
  }
}

}  // namespace quillon::web
