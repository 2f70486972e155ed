#include "core/node.h"

#include <exception>

#include "util/text.h"

namespace quillon::core {
namespace {

// Runs one shutdown step; a failure is logged and the next step still runs.
void attempt(NodeContext& ctx, const char* name, const std::function<void()>& step) {
  if (!step) return;
  try {
    step();
  } catch (const std::exception& e) {
    ctx.log.writeLogLine("Quillon", std::string("Main Unload ") + name, Logger::errorSuffix(e.what()));
  } catch (...) {
    ctx.log.writeLogLine("Quillon", std::string("Main Unload ") + name, Logger::errorSuffix("unknown error"));
  }
}

// The receiver-mode command: 48-bit (RFXCOM) mode or the W800's 32-bit mode.
std::string modeCommand(int mode) { return mode == 1 ? std::string("\xF0\x2C", 2) : std::string("\xF0\x29", 2); }

}  // namespace

bool Node::start() {
  ctx_.xapReady = false;
  ctx_.shuttingDown = false;
  inMessageDrain_ = false;
  logTimer_.setHandler([this] { ctx_.log.tick(); });
  logTimer_.start(platform::Millis(Logger::kFlushIntervalMs), true);
  try {
    initXap();

    int port = seams_.initXapTransport ? seams_.initXapTransport() : 0;
    if (port > 0) {
      if (seams_.sendHeartbeat) seams_.sendHeartbeat(60);
      ctx_.xapReady = true;
      ctx_.logEvent("Using xAP port " + std::to_string(port));
      if (seams_.sendXap) seams_.sendXap("time.query", "time.query", {{"id", "*"}});
    } else {
      ctx_.log.writeLogLine("Quillon", "xAP Init Error " + std::to_string(port) + " occurred");
    }

    initHw();
    if (seams_.loadTimerForm) seams_.loadTimerForm();
    if (ctx_.log.debugLog()) ctx_.logDebug("Internal Timer Started");
    if (seams_.showTrayIcon) seams_.showTrayIcon();
    return true;
  } catch (const std::exception& e) {
    ctx_.log.writeLogLine("Quillon", "Main Load", Logger::errorSuffix(e.what()));
  } catch (...) {
    ctx_.log.writeLogLine("Quillon", "Main Load", Logger::errorSuffix("unknown error"));
  }
  return false;
}

void Node::initXap() {
  if (ctx_.computerName.empty()) ctx_.computerName = ctx_.platform.machineName().substr(0, 128);
  if (!createFolders(ctx_.paths.configDir()))
    ctx_.log.writeLogLine("Quillon", "CreateFolders: cannot create " + ctx_.paths.configDir());
  if (!createFolders(ctx_.paths.dataDir()))
    ctx_.log.writeLogLine("Quillon", "CreateFolders: cannot create " + ctx_.paths.dataDir());
  if (seams_.createApplication) seams_.createApplication();
  if (seams_.startHttpServer) seams_.startHttpServer();
  ctx_.interfaceAddress = ctx_.ini.getIniSetting("Interface", "InterfaceAddress", "Default", kXapSettingsFile);
  ctx_.broadcastAddress = ctx_.ini.getIniSetting("Interface", "BroadcastAddress", "Default", kXapSettingsFile);
  ctx_.nodeUid =
      formatNodeUid(util::removeChar(ctx_.ini.getIniSetting(kSettingsSection, "UID", "FF.0052:00", kSettingsFile), '"'));
}

void Node::initHw() {
  if (seams_.loadEchoWindow) seams_.loadEchoWindow();
  initFilterDictionary(ctx_.filters, ctx_.ini);
  if (seams_.loadTagStore) seams_.loadTagStore();
  // InitINIVariables: every key, then the receiver when a serial port is set and it is not open.
  initIniKeys(ctx_.settings, ctx_.ini);
  setIniValue(ctx_.settings, ctx_.ini, "serverport");  // the tray menu's links need the HTTP port
  if (seams_.applyRunOverrides) seams_.applyRunOverrides();
  ctx_.log.setDebugLog(ctx_.settings.debugLog);
  runningHttpPort_ = ctx_.settings.httpPort;
  if (!ctx_.settings.serialPort.empty() && !(seams_.receiverOpen && seams_.receiverOpen()) && seams_.openReceiver)
    seams_.openReceiver();
  if (seams_.loadDevices) seams_.loadDevices();
  if (seams_.armPeriodicScript) seams_.armPeriodicScript(periodicSchedule(ctx_.settings.periodicScriptInterval));
  if (seams_.initLinks) seams_.initLinks();
  // The receiver's mode command goes out from the link each time it opens.
  if (seams_.settingsRead) seams_.settingsRead();
}

void Node::reReadSettings() {
  const Settings before = ctx_.settings;
  initIniKeys(ctx_.settings, ctx_.ini);
  setIniValue(ctx_.settings, ctx_.ini, "serverport");
  if (seams_.applyRunOverrides) seams_.applyRunOverrides();
  const Settings& now = ctx_.settings;
  ctx_.log.setDebugLog(now.debugLog);
  initFilterDictionary(ctx_.filters, ctx_.ini);
  if (now.periodicScriptInterval != before.periodicScriptInterval && seams_.armPeriodicScript)
    seams_.armPeriodicScript(periodicSchedule(now.periodicScriptInterval));

  if (now.serialPort != before.serialPort || now.serialIp != before.serialIp) {
    ctx_.logEvent("Receiver settings changed (SerialPort=" + now.serialPort + " SerialIP=" + now.serialIp +
                  "): reopening the receiver link");
    if (seams_.reopenReceiver) seams_.reopenReceiver();
  } else if (now.mode != before.mode && seams_.receiverOpen && seams_.receiverOpen() && seams_.sendToReceiver) {
    seams_.sendToReceiver(modeCommand(now.mode));
  }
  if (now.txSerialPort != before.txSerialPort || now.txSerialIp != before.txSerialIp) {
    ctx_.logEvent("Transmitter settings changed (TxSerialPort=" + now.txSerialPort + " TxSerialIP=" + now.txSerialIp +
                  "): reopening the transmitter link");
    if (seams_.reopenTransmitter) seams_.reopenTransmitter();
  }

  // The HTTP server and the xAP sockets took these at start and keep them for the run.
  auto atNextStart = [this](const std::string& what, const std::string& running, const std::string& stored) {
    if (running != stored)
      ctx_.logEvent(what + " changed from " + running + " to " + stored + ": takes effect at the next start");
  };
  if (now.uid != ctx_.nodeUid) {
    ctx_.nodeUid = now.uid;
    if (seams_.setXapUid) seams_.setXapUid(now.uid);
    ctx_.logEvent("xAP UID now " + now.uid);
  }
  atNextStart("HTTPPort", runningHttpPort_, now.httpPort);
  atNextStart("InterfaceAddress", ctx_.interfaceAddress,
              ctx_.ini.getIniSetting("Interface", "InterfaceAddress", "Default", kXapSettingsFile));
  atNextStart("BroadcastAddress", ctx_.broadcastAddress,
              ctx_.ini.getIniSetting("Interface", "BroadcastAddress", "Default", kXapSettingsFile));
  if (seams_.settingsRead) seams_.settingsRead();
}

void Node::reload() {
  if (stopped_) return;
  ctx_.logEvent("Re-reading the settings and the scripts");
  try {
    reReadSettings();
    if (seams_.reloadScripts) seams_.reloadScripts();
    ctx_.logEvent("Settings and scripts re-read");
  } catch (const std::exception& e) {
    ctx_.log.writeLogLine("Quillon", "Reload", Logger::errorSuffix(e.what()));
  } catch (...) {
    ctx_.log.writeLogLine("Quillon", "Reload", Logger::errorSuffix("unknown error"));
  }
}

void Node::onMessage() {
  if (inMessageDrain_) return;
  inMessageDrain_ = true;
  try {
    while (seams_.getMessage) {
      std::string message = seams_.getMessage();
      if (message.empty()) break;
      if (seams_.dispatchMessage) seams_.dispatchMessage(message);
    }
  } catch (const std::exception& e) {
    ctx_.log.writeLogLine("Quillon", "Main OnMessage", Logger::errorSuffix(e.what()));
  } catch (...) {
    ctx_.log.writeLogLine("Quillon", "Main OnMessage", Logger::errorSuffix("unknown error"));
  }
  inMessageDrain_ = false;
}

bool Node::trayIconCallback(int mouseMessage) { return mouseMessage == 0x202 || mouseMessage == 0x205; }

std::string Node::statusPageUrl() const { return "http://127.0.0.1:" + ctx_.settings.httpPort + "/status"; }

// The node's manual is the HTML page it serves (there is no PDF of it).
std::string Node::helpUrl() const { return "http://127.0.0.1:" + ctx_.settings.httpPort + "/Help/Quillon/Quillon.htm"; }

void Node::menuClick(int index) {
  switch (index) {
    case 0: ctx_.platform.openWithDesktop(statusPageUrl()); break;
    case 1: if (seams_.showSetupForm) seams_.showSetupForm(); break;
    case 4: if (seams_.loadEchoWindow) seams_.loadEchoWindow(); break;
    case 5: ctx_.platform.openWithDesktop(helpUrl()); break;
    case 7:
      ctx_.shuttingDown = true;
      shutdown();
      ctx_.platform.loop().quit();
      break;
    default: break;  // "System Config", "System Status" and the separator do nothing
  }
}

void Node::shutdown() {
  if (stopped_) return;
  stopped_ = true;
  ctx_.shuttingDown = true;
  attempt(ctx_, "SaveLastChange", seams_.saveLastChange);
  attempt(ctx_, "SaveDeviceDictionary", seams_.saveDeviceDictionary);
  attempt(ctx_, "FlushIniCache", [this] {
    if (!ctx_.ini.flushIniCache()) ctx_.log.writeLogLine("Quillon", "FlushIniCache: a settings file could not be written");
  });
  attempt(ctx_, "TrayIcon", seams_.removeTrayIcon);
  attempt(ctx_, "SetupForm", seams_.unloadSetupForm);
  attempt(ctx_, "CommAndTimer", seams_.closeLinks);
  attempt(ctx_, "EchoWindow", seams_.unloadEchoWindow);
  attempt(ctx_, "xap", seams_.closeXapTransport);
  attempt(ctx_, "TCPServer", seams_.stopHttpServer);
  logTimer_.stop();
  ctx_.log.flush();
}

}  // namespace quillon::core
