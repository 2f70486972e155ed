#include "app/node_assembly.h"

#include "core/settings.h"
#include "util/text.h"

namespace quillon::app {

NodeAssembly::NodeAssembly(platform::Platform& platform, core::AppPaths paths, NodeOptions options)
    : options_(std::move(options)),
      ctx_(platform, std::move(paths)),
      registry_(ctx_),
      transport_(ctx_),
      bsc_(ctx_, transport_, registry_),
      timers_(ctx_, registry_),
      reporter_(ctx_, registry_, timers_, bsc_),
      node_(ctx_, {}) {
  bsc_.setTagStore(&tagStore_);
  timers_.setOffReporter([this](devices::W800Device& d) { reporter_.informEvent(d, devices::kDeviceStatusOff, "OFF"); });
  timers_.setRolloverPublisher([this](devices::W800Device& d) {
    if (d.bsc()) bsc_.sendXapBsc(d.dc(), "xapbsc.event");
    if (!d.tag().empty()) bsc_.queueTagEvent(d.tag());
  });
  node_.seams() = buildSeams();
}

NodeAssembly::~NodeAssembly() {
  node_.shutdown();
  ctx_.log.setXapSender({});
}

// Key "StartHub" of section Interface in "ovkXap.ini": when true and no other program holds the
// xAP port, the node runs the hub itself so that it hears the network without a separate hub.
void NodeAssembly::startHubIfAsked() {
  if (hub_ || !util::toBool(ctx_.ini.getIniSetting("Interface", "StartHub", "0", core::kXapSettingsFile))) return;
  auto hub = std::make_unique<xap::XapHub>(ctx_.platform, [this](const std::string& line) {
    ctx_.logDebug("Hub: " + line);
  });
  if (hub->start(xap::kXapPort)) {
    ctx_.logEvent("xAP hub started on port " + std::to_string(xap::kXapPort));
    hub_ = std::move(hub);
  } else {
    ctx_.logEvent("xAP hub not started: port " + std::to_string(xap::kXapPort) + " is in use");
  }
}

int NodeAssembly::initXapTransport() {
  startHubIfAsked();
  transport_.registerNewMessageCallback([this] { node_.onMessage(); });
  transport_.setXapSource("ovk.W800." + ctx_.computerName);
  transport_.setXapUid(ctx_.nodeUid);
  transport_.setBroadcastAddress(ctx_.broadcastAddress);
  transport_.setInterfaceAddress(ctx_.interfaceAddress);
  return transport_.init();
}

core::NodeSeams NodeAssembly::buildSeams() {
  core::NodeSeams s;
  ctx_.log.setXapSender([this](const std::string& time, const std::string& type, const std::string& data) {
    transport_.sendLogEvent(time, type, data);
  });
  s.initXapTransport = [this] { return initXapTransport(); };
  s.sendHeartbeat = [this](int interval) { transport_.sendHeartbeat(interval); };
  s.sendXap = [this](const std::string& cls, const std::string& block, const core::XapItems& items) {
    transport_.sendXapItems(cls, block, items);
  };
  s.getMessage = [this] { return transport_.getMessage(); };
  s.dispatchMessage = [this](const std::string& message) { bsc_.readMessage(message); };
  s.loadTagStore = [this] { tagStore_.load(ctx_.ini); };
  s.loadDevices = [this] { registry_.loadDevices(); };
  s.loadTimerForm = [this] { timers_.start(); };
  s.saveLastChange = [this] {
    timers_.stop();
    registry_.saveLastChange();
  };
  s.closeXapTransport = [this] {
    transport_.close();
    if (hub_) hub_->stop();
  };
  return s;
}

}  // namespace quillon::app
