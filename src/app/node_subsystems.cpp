#include "app/node_subsystems.h"

#include "core/settings_table.h"
#include "util/text.h"

namespace quillon::app {

// The node's xAP identity from the settings files, the hub when asked for, then the transport:
// its heartbeat and a time query once it has the port.
void NodeAssembly::XapService::start() {
  core::NodeContext& ctx = a_.ctx_;
  ctx.interfaceAddress = ctx.ini.getIniSetting("Interface", "InterfaceAddress", "Default", core::kXapSettingsFile);
  ctx.broadcastAddress = ctx.ini.getIniSetting("Interface", "BroadcastAddress", "Default", core::kXapSettingsFile);
  ctx.nodeUid = core::formatNodeUid(
      util::removeChar(core::storedSetting(ctx.ini, core::kSettingsSection, "UID"), '"'));
  startHubIfAsked();
  xap::XapTransport& t = a_.transport_;
  t.registerNewMessageCallback([this] { drain_.run(); });
  t.setXapSource("ovk.W800." + ctx.computerName);
  t.setXapUid(ctx.nodeUid);
  t.setBroadcastAddress(ctx.broadcastAddress);
  t.setInterfaceAddress(ctx.interfaceAddress);
  const int port = t.init();
  if (port <= 0) {
    ctx.log.writeLogLine("Quillon", "xAP Init Error " + std::to_string(port) + " occurred");
    return;
  }
  t.sendHeartbeat(60);
  ctx.xapReady = true;
  ctx.logEvent("Using xAP port " + std::to_string(port));
  t.sendXapItems("time.query", "time.query", {{"id", "*"}});
}

void NodeAssembly::XapService::stop() {
  a_.transport_.close();
  if (hub_) hub_->stop();
}

// Key "StartHub" of section Interface in "ovkXap.ini": when true and no other program holds the
// xAP port, the node runs the hub itself so that it hears the network without a separate hub.
void NodeAssembly::XapService::startHubIfAsked() {
  core::NodeContext& ctx = a_.ctx_;
  if (hub_ || !util::toBool(ctx.ini.getIniSetting("Interface", "StartHub", "0", core::kXapSettingsFile))) return;
  auto hub = std::make_unique<xap::XapHub>(ctx.platform, [&ctx](const std::string& line) { ctx.logDebug("Hub: " + line); });
  if (hub->start(xap::kXapPort)) {
    ctx.logEvent("xAP hub started on port " + std::to_string(xap::kXapPort));
    hub_ = std::move(hub);
  } else {
    ctx.logEvent("xAP hub not started: port " + std::to_string(xap::kXapPort) + " is in use");
  }
}

// The UID applies at once; the sockets keep their addresses for the run.
void NodeAssembly::XapService::applySettings(const core::SettingsChange& change) {
  core::NodeContext& ctx = a_.ctx_;
  if (change.now.uid != ctx.nodeUid) {
    ctx.nodeUid = change.now.uid;
    a_.transport_.setXapUid(change.now.uid);
    ctx.logEvent("xAP UID now " + change.now.uid);
  }
  auto atNextStart = [&ctx](const std::string& what, const std::string& running, const std::string& stored) {
    if (running != stored)
      ctx.logEvent(what + " changed from " + running + " to " + stored + ": takes effect at the next start");
  };
  atNextStart("InterfaceAddress", ctx.interfaceAddress,
              ctx.ini.getIniSetting("Interface", "InterfaceAddress", "Default", core::kXapSettingsFile));
  atNextStart("BroadcastAddress", ctx.broadcastAddress,
              ctx.ini.getIniSetting("Interface", "BroadcastAddress", "Default", core::kXapSettingsFile));
}

// The receiver when a port is set (a replay feed takes its place), then the transmitter. Every
// open of the receiver sends the mode command from the link's open.
void NodeAssembly::Links::start() {
  core::NodeContext& ctx = a_.ctx_;
  a_.links_.receiver().setSilenceLimit(ctx.settings.receiverSilenceMinutes);
  if (!ctx.settings.serialPort.empty() && !a_.links_.receiverOpen()) a_.links_.initCommPort();
  if (!a_.options_.replayFile.empty()) {
    ctx.settings.serialPort.clear();  // for this run only; the settings file keeps its value
    a_.startReplay();
  }
  a_.links_.initW800();
}

void NodeAssembly::Links::stop() {
  if (a_.replay_) a_.replay_->stop();
  a_.links_.closeLinks();
}

// Each link is reopened only when its own port or address changed; a new mode alone is commanded
// on the open receiver.
void NodeAssembly::Links::applySettings(const core::SettingsChange& change) {
  core::NodeContext& ctx = a_.ctx_;
  const core::Settings &before = change.before, &now = change.now;
  if (now.serialPort != before.serialPort || now.serialIp != before.serialIp) {
    ctx.logEvent("Receiver settings changed (SerialPort=" + now.serialPort + " SerialIP=" + now.serialIp +
                 "): reopening the receiver link");
    if (!a_.replay_) a_.links_.reopenReceiver();
  } else if (now.mode != before.mode && (a_.replay_ || a_.links_.receiverOpen())) {
    a_.sendToReceiver(a_.processor_.modeCommand());
  }
  if (now.txSerialPort != before.txSerialPort || now.txSerialIp != before.txSerialIp) {
    ctx.logEvent("Transmitter settings changed (TxSerialPort=" + now.txSerialPort + " TxSerialIP=" + now.txSerialIp +
                 "): reopening the transmitter link");
    a_.links_.reopenTransmitter();
  }
  a_.links_.receiver().setSilenceLimit(now.receiverSilenceMinutes);
}

}  // namespace quillon::app
