#include "core/node.h"

#include <exception>

#include "core/settings_table.h"
#include "util/text.h"

namespace quillon::core {
namespace {

// Runs one shutdown step; a failure is logged and the next step still runs.
template <class Step>
void attempt(NodeContext& ctx, const char* name, Step&& step) {
  try {
    step();
  } catch (const std::exception& e) {
    ctx.log.writeLogLine("Quillon", std::string("Main Unload ") + name, Logger::errorSuffix(e.what()));
  } catch (...) {
    ctx.log.writeLogLine("Quillon", std::string("Main Unload ") + name, Logger::errorSuffix("unknown error"));
  }
}

}  // namespace

Node::Node(NodeContext& ctx) : ctx_(ctx), logTimer_(ctx.platform.loop()) {}

bool Node::start() {
  ctx_.xapReady = false;
  ctx_.shuttingDown = false;
  logTimer_.setHandler([this] { ctx_.log.tick(); });
  logTimer_.start(platform::Millis(Logger::kFlushIntervalMs), true);
  try {
    prepareFolders();
    for (Subsystem* s : subsystems_) s->start();
    return true;
  } catch (const std::exception& e) {
    ctx_.log.writeLogLine("Quillon", "Main Load", Logger::errorSuffix(e.what()));
  } catch (...) {
    ctx_.log.writeLogLine("Quillon", "Main Load", Logger::errorSuffix("unknown error"));
  }
  return false;
}

void Node::prepareFolders() {
  if (ctx_.computerName.empty()) ctx_.computerName = ctx_.platform.machineName().substr(0, 128);
  if (!createFolders(ctx_.paths.configDir()))
    ctx_.log.writeLogLine("Quillon", "CreateFolders: cannot create " + ctx_.paths.configDir());
  if (!createFolders(ctx_.paths.dataDir()))
    ctx_.log.writeLogLine("Quillon", "CreateFolders: cannot create " + ctx_.paths.dataDir());
}

// Every key of the settings file into the running node, the receive filters, and what this run
// replaces.
void Node::readSettings() {
  initFilterDictionary(ctx_.filters, ctx_.ini);
  initIniKeys(ctx_.settings, ctx_.ini);
  setIniValue(ctx_.settings, ctx_.ini, "serverport");  // the tray menu's links need the HTTP port
  if (overrides_) overrides_(ctx_.settings);
  ctx_.log.setDebugLog(ctx_.settings.debugLog);
}

void Node::SettingsStep::save() {
  if (!node_.ctx_.ini.flushIniCache())
    node_.ctx_.log.writeLogLine("Quillon", "FlushIniCache: a settings file could not be written");
}

void Node::reReadSettings() {
  const Settings before = ctx_.settings;
  readSettings();
  applySettings(before);
}

void Node::applySettings(const Settings& before) {
  if (overrides_) overrides_(ctx_.settings);
  const SettingsChange change{before, ctx_.settings, changedKeys(before, ctx_.settings)};
  for (Subsystem* s : subsystems_) s->applySettings(change);
}

void Node::reload() {
  if (stopped_) return;
  ctx_.logEvent("Re-reading the settings and the scripts");
  try {
    reReadSettings();
    if (reloadScripts_) reloadScripts_();
    ctx_.logEvent("Settings and scripts re-read");
  } catch (const std::exception& e) {
    ctx_.log.writeLogLine("Quillon", "Reload", Logger::errorSuffix(e.what()));
  } catch (...) {
    ctx_.log.writeLogLine("Quillon", "Reload", Logger::errorSuffix("unknown error"));
  }
}

bool Node::trayIconCallback(int mouseMessage) { return mouseMessage == 0x202 || mouseMessage == 0x205; }

std::string Node::statusPageUrl() const { return "http://127.0.0.1:" + ctx_.settings.httpPort + "/status"; }

// The node's manual is the HTML page it serves (there is no PDF of it).
std::string Node::helpUrl() const { return "http://127.0.0.1:" + ctx_.settings.httpPort + "/Help/Quillon/Quillon.htm"; }

void Node::menuClick(int index) {
  switch (index) {
    case 0: ctx_.platform.openWithDesktop(statusPageUrl()); break;
    case 1: if (showSettings_) showSettings_(); break;
    case 4: if (showEcho_) showEcho_(); break;
    case 5: ctx_.platform.openWithDesktop(helpUrl()); break;
    case 7:
      ctx_.shuttingDown = true;
      shutdown();
      ctx_.platform.loop().quit();
      break;
    default: break;  // "System Config", "System Status" and the separator do nothing
  }
}

// Backward twice: first everything that must reach the settings files is saved (the settings'
// own flush last, as it comes first in the list), then whatever is open is closed.
void Node::shutdown() {
  if (stopped_) return;
  stopped_ = true;
  ctx_.shuttingDown = true;
  for (auto it = subsystems_.rbegin(); it != subsystems_.rend(); ++it)
    attempt(ctx_, (*it)->name(), [s = *it] { s->save(); });
  for (auto it = subsystems_.rbegin(); it != subsystems_.rend(); ++it)
    attempt(ctx_, (*it)->name(), [s = *it] { s->stop(); });
  logTimer_.stop();
  ctx_.log.flush();
}

}  // namespace quillon::core
