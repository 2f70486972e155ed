#pragma once
// The Application object scripts see as `xap` (its members are global names too): xAP senders,
// the INI cache, device records, the tag store, sunrise and sunset, and other scripts.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine.h"
#include "util/date_time.h"

namespace quillon::core {
class IniCache;
}
namespace quillon::devices {
class DeviceRegistry;
}

namespace quillon::script {

class ScriptHost;
class TagStore;

inline constexpr const char* kObjectModelVersion = "1.6.174";

// One row of a device's history as scripts get it: the local time and the value (a number, or
// the state's text when it has none).
struct HistoryRow {
  util::DateTime time;
  std::optional<double> value;
  std::string state;
};
// code, from, to (local times), step ("raw", "hour", "day"); false with the reason in `error`.
using HistoryFn = std::function<bool(const std::string& code, const util::DateTime& from, const util::DateTime& to,
                                     const std::string& step, std::vector<HistoryRow>& rows, std::string& error)>;

// What the members work on. The node fills every field; the stand-alone runner leaves the
// node's parts null, and the members that need them raise an error that names the member.
struct ApplicationServices {
  std::function<void(const std::string& text)> sendUdp;
  std::function<void(const std::string& target, const std::string& cls, const std::string& section,
                     const std::string& data, const std::string& subAddress, const std::string& uid,
                     const std::string& targetSubAddress)>
      sendXap;
  core::IniCache* ini = nullptr;
  std::string appPath;
  std::function<util::DateTime()> now;
  std::function<void(const std::string& text)> log;
  // The running node's parts.
  ScriptHost* host = nullptr;
  devices::DeviceRegistry* registry = nullptr;
  TagStore* tags = nullptr;
  std::function<std::string()> sunrise, sunset;
  HistoryFn history;  // the device history, when it is kept
};

std::shared_ptr<vbs::HostObject> makeApplicationObject(const ApplicationServices& services);

// A time of day in seconds from a text such as "06:45", "6:45:10 PM" or "02/01/2026 06:45".
std::optional<double> parseTimeOfDay(const std::string& text);
// True outside the span from sunrise - offset to sunset + offset (minutes); true when either
// time is not readable.
bool nightTime(const util::DateTime& now, const std::string& sunrise, const std::string& sunset, double offsetMinutes);

}  // namespace quillon::script
