#include "app/node_assembly.h"

#include "app/node_subsystems.h"

#include "core/settings.h"
#include "web/device_api.h"
#include "util/text.h"

namespace quillon::app {

NodeAssembly::NodeAssembly(platform::Platform& platform, core::AppPaths paths, NodeOptions options)
    : options_(std::move(options)),
      ctx_(platform, std::move(paths)),
      registry_(ctx_),
      lifecycle_(ctx_, registry_),
      transport_(ctx_),
      bsc_(ctx_, transport_, registry_),
      timers_(ctx_, registry_),
      reporter_(ctx_, registry_, timers_, bsc_),
      decodeReports_(ctx_, transport_, registry_),
      decodeEnv_(decode::makeDecodeContext(ctx_, registry_, reporter_, timers_, decodeReports_)),
      processor_(ctx_, decoders_),
      links_(ctx_),
      scripts_(ctx_, applicationServices(), options_.vbsProgram),
      http_(ctx_),
      statusPage_(ctx_, registry_, &tagStore_, webServices()),
      mqtt_(ctx_, registry_, [this](const std::string& text) { return links_.sendToTransmitter("1", text); }),
      metrics_(ctx_, registry_, lifecycle_, [this] { return receiverStatus(); }),
      history_(ctx_, registry_),
      chartLibrary_(ctx_.paths.htmlDir()),
      node_(ctx_) {
  decodeEnv_.queueTagEvent = [this](const std::string& tag) { bsc_.queueTagEvent(tag); };
  decode::DecoderEnv env{ctx_, &decodeEnv_};
  decode::registerAllDecoders(decoders_, env);
  // The debug log already carries each event's line; the echo only adds it when that is off.
  if (options_.echo)
    processor_.setEchoSink([this](const std::string& line) {
      if (!ctx_.settings.debugLog) options_.echo(line);
    });
  // The SDR receiver's rebuilt packets share the serial receiver's decoders and debounce; a line
  // that comes while the processor is inside an event waits for it.
  sdr_ = std::make_unique<sdr::SdrReceiver>(
      ctx_,
      [this](int bits, const std::string& bytes, std::string& detail) -> std::optional<bool> {
        if (processor_.busy()) return std::nullopt;
        return processor_.processPacket(bits, bytes, detail);
      },
      decodeEnv_);
  links_.receiver().onData([this](const std::string& bytes, int code) { processor_.processCommData(bytes, code); });
  // Every open of the receiver, at start-up or after the device or adapter came back, commands
  // its mode again and waits for the answer again (a receiver power-cycled with its adapter is
  // back in its default mode).
  links_.receiver().onOpened([this] { sendToReceiver(processor_.modeCommand()); });
  bsc_.setTransmitterWriter([this](const std::string& text) { links_.sendToTransmitter("1", text); });
  bsc_.setTagStore(&tagStore_);
  bsc_.setScriptQueuer([this](const std::string& script) { scripts_.queueTagEvent(script); });
  bsc_.setTagEventQueuer([this](const std::string& tag) { scripts_.queueTagEvent(tag); });
  bsc_.setMessageObserver([this](const std::string& raw, const xap::XapMessage& m) { scripts_.deliver(m, raw); });
  timers_.setOffReporter([this](devices::W800Device& d) { reporter_.informEvent(d, devices::kDeviceStatusOff, "OFF"); });
  timers_.setRolloverPublisher([this](devices::W800Device& d) {
    if (d.bsc()) bsc_.sendXapBsc(d.dc(), "xapbsc.event");
    if (!d.tag().empty()) bsc_.queueTagEvent(d.tag());
  });
  http_.setStatusPage([this](http::Request& request, http::Response&) { return statusPage_.page(request); });
  // The status page's live view: every change of a record goes to the pages that listen.
  registry_.subscribe([this](const devices::DeviceChange& change) {
    if (http_.eventClients() > 0) http_.broadcastEvent(statusPage_.deviceEvent(change.device));
  });
  // The device API answers under /api/.
  http_.setApiRoute([this](const std::string& path, http::ApiReply& reply) {
    return web::deviceApi(path, registry_, mqtt_.view(), reply, [this] {
      std::vector<rflink::LinkStatus> links{receiverStatus(), transmitterStatus()};
      if (sdr_->configured()) links.push_back(sdr_->status());
      return links;
    });
  });
  wireHistory();
  mqtt_.setReceiverStatus([this] { return receiverStatus(); });
  mqtt_.setSdrStatus([this] { return sdr_->status(); });
  mqtt_.setLifecycle(&lifecycle_);
  statusPage_.setLifecycle(&lifecycle_);
  lifecycle_.setScriptEvent([this](const std::string& text) { scripts_.queueTagEvent(text); });
  http_.addRoute([this](const std::string& path, const http::Request&, http::RouteReply& reply) {
    if (path != "\\metrics") return false;  // the dispatcher's form of "/metrics"
    reply = {200, "text/plain; version=0.0.4; charset=utf-8", metrics_.text()};
    return true;
  });
  ctx_.log.setXapSender([this](const std::string& time, const std::string& type, const std::string& data) {
    transport_.sendLogEvent(time, type, data);
  });
  node_.setRunOverrides([this](core::Settings& s) {
    if (options_.replayFile.empty()) return;
    s.serialPort.clear();  // the recording stays the receiver for this run
    if (replay_ && replay_->recordedMode() >= 0) s.mode = replay_->recordedMode();
  });
  node_.setScriptReload([this] { scripts_.requestInitScriptControl(); });

  scriptEngine_ = std::make_unique<ScriptEngine>(*this);
  xapService_ = std::make_unique<XapService>(*this);
  tagFile_ = std::make_unique<TagFile>(*this);
  periodic_ = std::make_unique<PeriodicScript>(*this);
  linksStep_ = std::make_unique<Links>(*this);
  // The node's subsystems in start-up order; shutdown walks the list backward, saving first
  // (timers stopped, records, tags, then the settings flush), then stopping.
  node_.setSubsystems({
      scriptEngine_.get(),  // the script object model: engine, `xap`, main script
      &http_,               // the HTTP server (its port applies at the next start)
      xapService_.get(),    // the node's xAP identity, the hub when asked for, the transport
      &node_.settingsStep(),  // every key of the settings file; flushed last at shutdown
      tagFile_.get(),       // tags of sections Devices and Device Messages
      &registry_,           // device records of W800Units
      &lifecycle_,          // first/last seen, usual intervals, stale devices, ignore list
      &history_,            // readings and state changes in Data/history.sqlite
      periodic_.get(),      // the periodic script's timer
      linksStep_.get(),     // receiver (or the replay standing in) and transmitter
      sdr_.get(),           // the SDR receiver (rtl_433), beside the serial one
      &timers_,             // auto-off and new-day timers
      &mqtt_,               // MQTT bridge
  });
}

void NodeAssembly::attachDesktop(core::Subsystem& desktop) {
  std::vector<core::Subsystem*> list = node_.subsystems();
  list.push_back(&desktop);
  node_.setSubsystems(std::move(list));
}

// What the status page's buttons and setup section ask of the running node.
web::WebServices NodeAssembly::webServices() {
  web::WebServices s;
  s.initScriptControl = [this] { scripts_.requestInitScriptControl(); };
  s.bscQuery = [this](const std::string& target) { bsc_.bscQuery(target); };
  s.settingsSaved = [this](const core::Settings& before) { node_.applySettings(before); };
  s.linkSummary = [this] {
    const rflink::LinkStatus link = receiverStatus();
    std::string line = link.configured ? link.summary(ctx_.now()) : std::string();
    if (sdr_->configured()) line += (line.empty() ? "" : " | ") + sdr_->status().summary(ctx_.now());
    return line;
  };
  return s;
}

script::ApplicationServices NodeAssembly::applicationServices() {
  script::ApplicationServices s;
  s.sendUdp = [this](const std::string& text) { transport_.sendRawXap(text); };
  s.sendXap = [this](const std::string& target, const std::string& cls, const std::string& section,
                     const std::string& data, const std::string& sub, const std::string& uid, const std::string& tsub) {
    transport_.sendXap(target, cls, section, data, sub, uid, tsub);
  };
  s.ini = &ctx_.ini;
  s.appPath = ctx_.paths.appFolder;
  s.now = [this] { return ctx_.now(); };
  s.log = [this](const std::string& text) { ctx_.logEvent(text); };
  s.registry = &registry_;
  s.tags = &tagStore_;
  s.sunrise = [this] { return bsc_.sunrise(); };
  s.sunset = [this] { return bsc_.sunset(); };
  s.history = historyForScripts();
  return s;
}

xap::XapHub* NodeAssembly::hub() { return xapService_->hub(); }

NodeAssembly::~NodeAssembly() {
  node_.shutdown();
  ctx_.log.setXapSender({});
}

void NodeAssembly::startReplay() {
  if (replay_) return;
  replay_ = std::make_unique<rflink::ReplayFeed>(ctx_, [this](const std::string& bytes, int code) {
    replayBytes_ += bytes.size();
    processor_.processCommData(bytes, code);
  });
  if (!replay_->load(options_.replayFile)) {
    replay_.reset();
    return;
  }
  // A recording that starts with the receiver's answer to the mode command has it taken as such.
  if (replay_->startsWithModeAnswer()) processor_.expectModeAnswer();
  const int recorded = replay_->recordedMode();
  if (recorded >= 0 && recorded != ctx_.settings.mode) {
    ctx_.logEvent(std::string("Replay recorded in ") + (recorded == 1 ? "48" : "32") + " bit mode: using Mode=" +
                  std::to_string(recorded) + " for this run");
    ctx_.settings.mode = recorded;
  }
  replay_->onFinished([this] {
    ctx_.logEvent("Replay finished: " + std::to_string(replay_->delivered()) + " receive events");
  });
  replay_->start(options_.replaySpeed);
}

// A mode command (at every open of the receiver, or when the Mode setting changed): its answer is
// awaited.
void NodeAssembly::sendToReceiver(const std::string& bytes) {
  if (replay_) return;  // the recording already holds the receiver's answer
  if (!links_.receiverOpen()) {
    ctx_.logDebug("Receiver not open: mode command not sent");
    return;
  }
  processor_.expectModeAnswer();
  links_.sendToReceiver(bytes);
}

rflink::LinkStatus NodeAssembly::receiverStatus() const {
  rflink::LinkStatus s = links_.receiverStatus();
  if (replay_) {  // the recording stands in for the receiver
    s.configured = true;
    s.open = !replay_->finished();
    s.tcp = false;
    s.where = "replay " + replay_->name() + (s.open ? "" : " (finished)");
    s.bytes = replayBytes_;
  }
  s.packets = processor_.packetsDecoded();
  s.haveLastPacket = processor_.haveLastPacket();
  s.lastPacket = processor_.lastPacketTime();
  return s;
}

}  // namespace quillon::app
