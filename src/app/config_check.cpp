#include "app/config_check.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "core/ini_cache.h"
#include "core/settings.h"
#include "core/settings_table.h"
#include "rflink/rf_link.h"
#include "sdr/command_line.h"
#include "util/text.h"
#include "xap/xap_transport.h"

namespace fs = std::filesystem;

namespace quillon::app {
namespace {

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool parseQuad(const std::string& text) {
  auto parts = util::split(text, ".");
  if (parts.size() != 4) return false;
  for (const auto& p : parts) {
    if (p.empty() || p.size() > 3 || p.find_first_not_of("0123456789") != std::string::npos || std::stoi(p) > 255)
      return false;
  }
  return true;
}

// "FF.0052:00": two hex digits, ".", four or more, ":", two or more (after the node's rewrite).
bool validUid(const std::string& uid) {
  std::size_t dot = uid.find('.'), colon = uid.find(':');
  if (dot != 2 || colon == std::string::npos || colon < dot + 5 || uid.size() < colon + 3) return false;
  for (std::size_t i = 0; i < uid.size(); ++i)
    if (i != dot && i != colon && !isHex(uid[i])) return false;
  return true;
}

bool wholeNumber(const std::string& t, double lo, double hi) {
  if (!util::isNumeric(t)) return false;
  double v = std::strtod(util::trimWhitespace(t).c_str(), nullptr);
  return v == std::floor(v) && v >= lo && v <= hi;
}

class Checker {
 public:
  Checker(const ConfigProbe& probe, ConfigReport& report) : probe_(probe), report_(report) {}

  void run(const fs::path& configDir) {
    std::error_code ec;
    fs::directory_iterator list(configDir, ec);
    if (ec) {
      problem("cannot read the settings folder " + configDir.string() + ": " + ec.message());
      return;
    }
    core::IniCache cache(configDir.string(), [this](const std::string&, const std::string& text) {
      problem(util::trim(text));  // lines the INI reader cannot use
    });
    cache_ = &cache;
    haveSettings_ = readable(cache, core::kSettingsFile);
    haveXap_ = readable(cache, core::kXapSettingsFile);
    checkSection(core::kSettingsSection, "the node");
    checkLinks();
    checkSdr();
    checkHttp();
    checkXap();
    checkFilters();
    checkSection(core::kMqttSection, "the bridge");
    noteMqtt();
    cache_ = nullptr;
  }

 private:
  void problem(const std::string& text) { report_.problems.push_back(text); }
  void note(const std::string& text) { report_.notes.push_back(text); }

  // An existing file that cannot be read is a problem; a missing one gives every default.
  bool readable(core::IniCache& cache, const char* file) {
    const fs::path path = cache.pathOf(file);
    std::error_code ec;
    if (!fs::exists(path, ec)) {
      note(std::string(file) + " does not exist: the node starts with its defaults and creates it");
      return false;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in || fs::is_directory(path, ec)) {
      problem("cannot read " + path.string() + ": " + (errno ? std::strerror(errno) : "not a file"));
      return false;
    }
    return true;
  }

  std::string raw(const std::string& key) {
    return haveSettings_ ? cache_->getIniSetting(core::kSettingsSection, key, "", core::kSettingsFile) : "";
  }
  static std::string whereIn(const std::string& section, const std::string& key, const std::string& value) {
    return std::string(core::kSettingsFile) + " [" + section + "] " + key + "=" + value + ": ";
  }
  static std::string where(const std::string& key, const std::string& value) {
    return whereIn(core::kSettingsSection, key, value);
  }

  // Every key of a section: known to the table (or kept by its prefix), and of the form the
  // table declares. Links and the HTTP port are checked further below with what they depend on.
  void checkSection(const char* section, const char* reader) {
    if (!haveSettings_) return;
    const std::vector<std::string> keys = cache_->sectionKeys(section, core::kSettingsFile);
    auto value = [&](const std::string& key) {
      return util::trim(util::removeChar(cache_->getIniSetting(section, key, "", core::kSettingsFile), '"'));
    };
    auto present = [&](const char* key) {
      return std::any_of(keys.begin(), keys.end(), [&](const std::string& k) { return util::iequals(k, key); });
    };
    const bool w800 = util::iequals(section, core::kSettingsSection);
    for (const std::string& key : keys)
      if (!core::findSetting(section, key) && !(w800 && core::keptKeyPrefix(key)))
        problem(whereIn(section, key, value(key)) + "unknown key (" + reader + " ignores it)");
    for (const core::SettingDef& d : core::settingsTable()) {
      if (!util::iequals(d.section, section) || (d.onlyWith && !util::toBool(value(d.onlyWith)))) continue;
      const std::string v = value(d.key);
      const std::string why = v.empty() ? (d.required && present(d.key) ? emptyProblem(d) : "") : formProblem(d, v);
      if (!why.empty()) problem(whereIn(section, d.key, v) + why);
    }
  }

  static std::string emptyProblem(const core::SettingDef& d) {
    std::string out = "empty";
    if (d.onlyWith) out += std::string(" while ") + d.onlyWith + " is on";
    return out + " (" + d.help + ")";
  }

  // What is wrong with a value of the key's type, or "" when nothing is.
  static std::string formProblem(const core::SettingDef& d, const std::string& v) {
    using T = core::SettingType;
    const std::string otherwise = d.fallback ? d.fallback
                                  : *d.def   ? std::string("the node uses ") + d.def
                                             : std::string("the node leaves it off");
    const std::string range = " from " + util::formatNumber(d.min) + " to " + util::formatNumber(d.max);
    switch (d.type) {
      case T::Bool: {
        const std::string t = util::lower(v);
        if (t == "true" || t == "false" || util::isNumeric(t)) return "";
        return std::string("not True, False or a number (the node reads it as ") +
               (util::toBool(v) ? "true" : "false") + ")";
      }
      case T::Integer:
        if (wholeNumber(v, d.min, d.max)) return "";
        return "not a whole number of " + std::string(d.unit) + range + " (" + otherwise + ")";
      case T::Number:
        if (util::isNumeric(v) && util::leadingNumber(v) >= d.min && util::leadingNumber(v) <= d.max) return "";
        return "not a number of " + std::string(d.unit) + range + " (" + otherwise + ")";
      case T::Factor:
        return util::isNumeric(v) && util::leadingNumber(v) != 0 ? "" : "not a non-zero number (" + otherwise + ")";
      case T::Choice: {
        std::vector<std::string> said;
        for (const std::string& choice : util::split(d.choices, "|")) {
          const std::size_t eq = choice.find('=');
          const std::string value = choice.substr(0, eq);
          if (util::iequals(v, value) || (util::isNumeric(v) && util::isNumeric(value) &&
                                          util::leadingNumber(v) == util::leadingNumber(value)))
            return "";
          said.push_back(eq == std::string::npos ? value : value + " (" + choice.substr(eq + 1) + ")");
        }
        std::string out = "not ";
        for (std::size_t i = 0; i < said.size(); ++i)
          out += (i == 0 ? "" : i + 1 == said.size() ? " or " : ", ") + said[i];
        return out;
      }
      case T::Port: return wholeNumber(v, d.min, d.max) ? "" : "not a TCP port number (1 to 65535)";
      case T::Uid: return validUid(core::formatNodeUid(v)) ? "" : std::string("not an xAP UID such as ") + d.def;
      case T::Topic: return v.find_first_of("+#") == std::string::npos ? "" : "a topic prefix cannot hold + or #";
      case T::Path:
        return std::ifstream(v) ? "" : "cannot read the " + std::string(d.unit) + " (" + otherwise + ")";
      case T::Text:
      case T::Password:
      case T::Address:
      case T::LinkPort: break;
    }
    return "";
  }

  // One RF link: a serial port (number or device path) or, when its address holds ".", TCP.
  void checkLink(const char* what, const char* portKey, const char* ipKey) {
    const std::string port = util::removeChar(raw(portKey), '"'), ip = util::removeChar(raw(ipKey), '"');
    if (port.empty()) {
      if (!ip.empty()) problem(where(ipKey, ip) + "set, but " + portKey + " is empty: the " + what + " stays closed");
      else note(std::string("no ") + what + " (" + portKey + " is empty)");
      return;
    }
    if (!ip.empty() && ip.find('.') == std::string::npos) {
      problem(where(ipKey, ip) + "not an address (the node takes " + portKey + " as a serial port instead)");
    } else if (!ip.empty() && port.find('/') != std::string::npos) {
      problem(where(portKey, port) + "a device path, but " + ipKey + "=" + ip + " makes the " + what +
              " a TCP link to that address: clear " + ipKey + " to use the serial port, or set " + portKey +
              " to the adapter's TCP port");
      return;
    } else if (!ip.empty()) {
      if (!validAdapterAddress(ip)) problem(where(ipKey, ip) + "the " + what + "'s TCP adapter address does not parse");
      else if (!wholeNumber(port, 1, 65535))
        problem(where(portKey, port) + "not a TCP port number (1 to 65535) of the adapter at " + ip);
      else note(std::string(what) + ": TCP adapter " + ip + " port " + port);
      return;
    }
    const std::string device = rflink::serialDevicePath(port);
    if (device.empty()) {
      problem(where(portKey, port) + "not a serial port number (1 = /dev/ttyS0) or a device path");
      return;
    }
    switch (probe_.serialDevice ? probe_.serialDevice(device) : platform::DeviceAccess::Ok) {
      case platform::DeviceAccess::Ok: note(std::string(what) + ": serial port " + device); break;
      case platform::DeviceAccess::Missing:
        problem(where(portKey, port) + "the " + what + " port " + device + " does not exist");
        break;
      case platform::DeviceAccess::NotADevice:
        problem(where(portKey, port) + device + " is not a serial device");
        break;
      case platform::DeviceAccess::Denied:
        problem(where(portKey, port) + "the " + what + " port " + device + " is not accessible to user " +
                probe_.userName + " (add the user to the group that owns it, usually dialout)");
        break;
    }
  }

  void checkLinks() {
    checkLink("receiver", "SerialPort", "SerialIP");
    checkLink("transmitter", "TxSerialPort", "TxSerialIP");
  }

  // The SDR receiver: the rtl_433 program to run, or the source of its lines.
  void checkSdr() {
    const std::string command = util::trimWhitespace(raw("Rtl433Command"));
    const std::string source = util::trimWhitespace(util::removeChar(raw("Rtl433Source"), '"'));
    if (!command.empty()) {
      const std::vector<std::string> words = sdr::splitCommand(command);
      const std::string program = words.empty() ? "" : words[0];
      const std::string found = probe_.findExecutable ? probe_.findExecutable(program) : program;
      if (found.empty())
        problem(where("Rtl433Command", command) + program + " is not an executable program" +
                (program.find('/') == std::string::npos ? " on PATH (Debian: apt install rtl-433)" : ""));
      else
        note("SDR receiver: runs " + found + " (" + command + ")");
      if (!source.empty()) note("Rtl433Source=" + source + " is not read while Rtl433Command is set");
      return;
    }
    if (source.empty()) {
      note("no SDR receiver (Rtl433Command and Rtl433Source are empty)");
      return;
    }
    if (source.rfind("tcp:", 0) == 0) {
      const std::string rest = source.substr(4);
      const std::size_t colon = rest.rfind(':');
      if (colon == std::string::npos || colon == 0 || !validAdapterAddress(rest.substr(0, colon)) ||
          !wholeNumber(rest.substr(colon + 1), 1, 65535))
        problem(where("Rtl433Source", source) + "not tcp:HOST:PORT (a host name or address, a port from 1 to 65535)");
      else
        note("SDR receiver: rtl_433 lines from " + rest);
      return;
    }
    std::error_code ec;
    if (!fs::exists(source, ec))
      problem(where("Rtl433Source", source) + "no such file or named pipe");
    else if (fs::is_directory(source, ec) || ::access(source.c_str(), R_OK) != 0)
      problem(where("Rtl433Source", source) + "not a readable file or named pipe");
    else
      note("SDR receiver: rtl_433 lines from " + source);
  }

  void checkHttp() {
    // The server reads the key itself: a missing key means 8017, an empty value leaves it off.
    std::string v = haveSettings_ ? core::storedSetting(*cache_, core::kSettingsSection, "HTTPPort")
                                  : core::findSetting(core::kSettingsSection, "HTTPPort")->def;
    v = util::removeChar(v, '"');
    if (v.empty() || (util::isNumeric(v) && util::leadingNumber(v) == 0)) {
      note("HTTP server off (HTTPPort is empty or 0)");
      return;
    }
    if (!wholeNumber(v, 1, 65535)) return;  // named with the section's keys
    const auto port = static_cast<std::uint16_t>(std::stoi(util::trimWhitespace(v)));
    const std::string busy = probe_.tcpPortProblem ? probe_.tcpPortProblem(port) : "";
    if (!busy.empty()) problem(where("HTTPPort", v) + "HTTP port " + v + " is " + busy);
    else note("HTTP server on port " + v);
  }

  void checkXap() {
    auto get = [this](const char* key) {
      return haveXap_ ? cache_->getIniSetting("Interface", key, "Default", core::kXapSettingsFile) : "Default";
    };
    auto at = [](const char* key, const std::string& v) {
      return std::string(core::kXapSettingsFile) + " [Interface] " + key + "=" + v + ": ";
    };
    const auto nics = probe_.interfaces ? probe_.interfaces() : std::vector<platform::NetworkInterface>{};
    const std::string iface = get("InterfaceAddress"), bcast = get("BroadcastAddress");
    if (!util::iequals(iface, "default")) {
      bool matches = false;
      for (const auto& n : nics) matches = matches || xap::addressMatches(n.address, iface);
      if (!parseQuad(iface)) problem(at("InterfaceAddress", iface) + "not Default or an IPv4 address");
      else if (!matches) problem(at("InterfaceAddress", iface) + "matches no address of this machine");
    }
    if (!util::iequals(bcast, "default")) {
      std::set<std::string> local{"255.255.255.255"};
      for (const auto& n : nics) {
        local.insert(n.address);
        if (!n.broadcast.empty()) local.insert(n.broadcast);
      }
      if (!parseQuad(bcast)) {
        problem(at("BroadcastAddress", bcast) + "not Default or an IPv4 address");
      } else if (!local.count(bcast) && bcast.rfind("127.", 0) != 0) {
        std::string list;
        for (const auto& a : local) list += (list.empty() ? "" : ", ") + a;
        problem(at("BroadcastAddress", bcast) + "not a broadcast address of this machine's networks (" + list + ")");
      }
    }
    note("xAP messages go to " + (util::iequals(bcast, "default") ? std::string("255.255.255.255") : bcast));
    std::string hub = haveXap_ ? cache_->getIniSetting("Interface", "StartHub", "", core::kXapSettingsFile) : "";
    std::string t = util::lower(util::removeChar(hub, '"'));
    if (!hub.empty() && t != "true" && t != "false" && !util::isNumeric(t))
      problem(at("StartHub", hub) + "not True, False or a number");
  }

  void checkFilters() {
    if (!haveSettings_) return;
    for (const std::string& key : cache_->sectionKeys("Received", core::kSettingsFile))
      if (key.find('~') == std::string::npos)
        problem(std::string(core::kSettingsFile) + " [Received] " + key + ": a receive filter is source~class");
  }

  void noteMqtt() {
    if (!haveSettings_) return;
    auto get = [this](const char* key) {
      const std::string v = util::trim(util::removeChar(core::storedSetting(*cache_, core::kMqttSection, key), '"'));
      return v.empty() ? std::string(core::findSetting(core::kMqttSection, key)->def) : v;
    };
    if (util::toBool(get("Enabled")))
      note("MQTT bridge on, broker " + get("Host") + " port " + get("Port"));
  }

  const ConfigProbe& probe_;
  ConfigReport& report_;
  core::IniCache* cache_ = nullptr;
  bool haveSettings_ = false;
  bool haveXap_ = false;
};

// The folder itself, or the nearest folder above it that exists.
fs::path existingFolder(fs::path p) {
  std::error_code ec;
  while (!p.empty() && !fs::exists(p, ec) && p != p.parent_path()) p = p.parent_path();
  return p;
}

}  // namespace

bool validAdapterAddress(const std::string& text) {
  if (text.empty() || text.size() > 253) return false;
  if (text.find_first_not_of("0123456789.") == std::string::npos) return parseQuad(text);
  for (const std::string& label : util::split(text, ".")) {
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (char c : label)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
  }
  return true;
}

ConfigProbe systemProbe() {
  ConfigProbe p;
  p.serialDevice = platform::serialDeviceAccess;
  p.tcpPortProblem = platform::tcpPortProblem;
  p.interfaces = platform::ipv4Interfaces;
  p.folderWritable = platform::folderWritable;
  p.findExecutable = platform::findExecutable;
  p.userName = platform::currentUserName();
  return p;
}

ConfigReport checkConfig(const std::string& appFolder, const std::string& templateDir, const ConfigProbe& probe) {
  ConfigReport report;
  std::error_code ec;
  const fs::path app(appFolder), config = app / "Config";
  fs::path checked = config;
  if (!fs::exists(config, ec)) {
    checked = fs::path(templateDir) / "Config";
    report.notes.push_back(appFolder + " holds no settings yet: the node creates them from " + templateDir +
                           " at its first start; checking those");
  }
  // The node writes its settings, device records and log in the folder.
  std::set<fs::path> folders{existingFolder(config), existingFolder(app / "Data")};
  for (const fs::path& dir : folders)
    if (probe.folderWritable && !dir.empty() && !probe.folderWritable(dir.string()))
      report.problems.push_back(dir.string() + " is not writable by user " + probe.userName +
                                ": the node cannot save its settings and log there");
  Checker(probe, report).run(checked);
  const fs::path script = app / "Scripts" / "Quillon.txt";
  if (fs::exists(script, ec) && !std::ifstream(script))
    report.problems.push_back("cannot read the main script " + script.string());
  return report;
}

}  // namespace quillon::app
