#pragma once
// Builds a whole node from its subsystems on a given platform and gives the main form their list.
#include <functional>
#include <memory>
#include <string>

#include "core/node.h"
#include "core/node_context.h"
#include "decode/families/decoders.h"
#include "decode/family_decoder.h"
#include "decode/receive_processor.h"
#include "devices/device_registry.h"
#include "devices/device_timers.h"
#include "devices/onoff_reporter.h"
#include "http/http_server.h"
#include "devices/device_lifecycle.h"
#include "metrics/node_metrics.h"
#include "history/history_recorder.h"
#include "mqtt/mqtt_bridge.h"
#include "rflink/replay_feed.h"
#include "rflink/rf_link.h"
#include "script/script_host.h"
#include "sdr/sdr_receiver.h"
#include "script/tag_store.h"
#include "xap/bsc_endpoint.h"
#include "xap/decode_reports_to_xap.h"
#include "xap/xap_hub.h"
#include "xap/xap_transport.h"
#include "web/chart_library.h"
#include "web/status_page.h"

namespace quillon::app {

struct NodeOptions {
  std::string replayFile;     // a recorded receiver feed instead of the real receiver
  double replaySpeed = 1.0;   // replay pace; 0 = as fast as possible
  bool headless = true;
  // The program that runs the job files scripts start with Spawn (quillon-vbs).
  std::string vbsProgram = "quillon-vbs";
  // Receives the echo window's line of every receive event (the console in verbose mode).
  std::function<void(const std::string&)> echo;
};

class NodeAssembly {
 public:
  NodeAssembly(platform::Platform& platform, core::AppPaths paths, NodeOptions options = {});
  ~NodeAssembly();

  bool start() { return node_.start(); }
  void shutdown() { node_.shutdown(); }
  // A desktop (tray icon and windows) joins the end of the list; call before start().
  void attachDesktop(core::Subsystem& desktop);
  core::Node& node() { return node_; }
  core::NodeContext& context() { return ctx_; }
  devices::DeviceRegistry& registry() { return registry_; }
  devices::DeviceLifecycle& lifecycle() { return lifecycle_; }
  xap::XapTransport& transport() { return transport_; }
  xap::BscEndpoint& bsc() { return bsc_; }
  devices::DeviceTimers& deviceTimers() { return timers_; }
  devices::OnOffReporter& reporter() { return reporter_; }
  rflink::RfLinks& links() { return links_; }
  http::HttpServer& httpServer() { return http_; }
  web::StatusPage& statusPage() { return statusPage_; }
  mqtt::MqttBridge& mqtt() { return mqtt_; }
  script::ScriptHost& scripts() { return scripts_; }
  history::HistoryRecorder& history() { return history_; }
  script::TagStore& tagStore() { return tagStore_; }
  decode::ReceiveProcessor& receiveProcessor() { return processor_; }
  // The replay feed standing in for the receiver, when the options name a file.
  rflink::ReplayFeed* replay() { return replay_.get(); }
  // The in-process hub, when the settings asked for one and it could take the port.
  xap::XapHub* hub();
  // The receiver link's state with the packets decoded from it (a replay stands in for it).
  rflink::LinkStatus receiverStatus() const;
  rflink::LinkStatus transmitterStatus() const { return links_.transmitterStatus(); }
  // The SDR receiver (rtl_433) beside the serial one.
  sdr::SdrReceiver& sdrReceiver() { return *sdr_; }

 private:
  // The parts that are more than one object, or one object at two places of the list.
  class ScriptEngine;
  class XapService;
  class TagFile;
  class PeriodicScript;
  class Links;

  script::ApplicationServices applicationServices();
  web::WebServices webServices();
  void startReplay();
  void sendToReceiver(const std::string& bytes);
  void wireHistory();  // history_wiring.cpp
  script::HistoryFn historyForScripts();

  NodeOptions options_;
  core::NodeContext ctx_;
  devices::DeviceRegistry registry_;
  devices::DeviceLifecycle lifecycle_;
  xap::XapTransport transport_;
  script::TagStore tagStore_;
  xap::BscEndpoint bsc_;
  devices::DeviceTimers timers_;
  devices::OnOffReporter reporter_;
  xap::DecodeReportsToXap decodeReports_;
  decode::DecodeEnv decodeEnv_;
  decode::DecoderRegistry decoders_;
  decode::ReceiveProcessor processor_;
  rflink::RfLinks links_;
  std::unique_ptr<sdr::SdrReceiver> sdr_;
  std::unique_ptr<rflink::ReplayFeed> replay_;
  std::uint64_t replayBytes_ = 0;
  script::ScriptHost scripts_;
  http::HttpServer http_;
  web::StatusPage statusPage_;
  mqtt::MqttBridge mqtt_;
  metrics::NodeMetrics metrics_;
  history::HistoryRecorder history_;
  web::ChartLibrary chartLibrary_;
  core::Node node_;
  std::unique_ptr<ScriptEngine> scriptEngine_;
  std::unique_ptr<XapService> xapService_;
  std::unique_ptr<TagFile> tagFile_;
  std::unique_ptr<PeriodicScript> periodic_;
  std::unique_ptr<Links> linksStep_;
};

}  // namespace quillon::app
