#pragma once
// Node-wide state every subsystem shares: the platform, the folders, the INI cache, the log, the
// settings, the running counts and the start-up flags.
#include <memory>
#include <string>

#include "core/app_paths.h"
#include "core/counters.h"
#include "core/ini_cache.h"
#include "core/log.h"
#include "core/settings.h"
#include "platform/platform.h"

namespace quillon::core {

struct NodeContext {
  NodeContext(platform::Platform& p, AppPaths appPaths)
      : platform(p),
        paths(std::move(appPaths)),
        log(p.clock(), paths.logFile()),
        ini(paths.configDir(), [this](const std::string& type, const std::string& text) { log.logEvent(type, text); }) {}

  platform::Platform& platform;
  AppPaths paths;
  Logger log;
  IniCache ini;
  Settings settings;
  FilterDictionary filters;
  Counters counters;

  bool xapReady = false;
  bool shuttingDown = false;
  std::string computerName;
  std::string nodeUid = "FF.0052:00";
  std::string broadcastAddress = "Default";
  std::string interfaceAddress = "Default";

  util::DateTime now() const { return platform.clock().now(); }
  // LogEvent with the node's own type.
  void logEvent(const std::string& text) { log.logEvent("Quillon", text); }
  void logDebug(const std::string& text) { log.logEvent(Logger::kDebugType, text); }
};

}  // namespace quillon::core
