#pragma once
// The node's MQTT bridge: device states as retained JSON under <base>/<host>/<code>/state, the
// node's availability under <base>/<host>/status (with the broker's last will), the receiver's
// availability under <base>/<host>/receiver/status with its link state in receiver/state, Home
// Assistant discovery configs for every device in use and for the receiver's connectivity, and
// <code>/set commands to the transmitter.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "core/ini_cache.h"
#include "core/node_context.h"
#include "core/settings_table.h"
#include "core/subsystem.h"
#include "devices/device_json.h"
#include "devices/device_lifecycle.h"
#include "devices/device_registry.h"
#include "mqtt/discovery_class.h"
#include "mqtt/mqtt_client.h"
#include "platform/event_loop.h"
#include "rflink/link_status.h"

namespace quillon::mqtt {

inline constexpr const char* kMqttSection = core::kMqttSection;

// Section [MQTT] of "Quillon.ini" as the bridge uses it (core/settings_table.h declares the keys).
struct MqttSettings {
  bool enabled = false;
  std::string host = "127.0.0.1";
  std::uint16_t port = 1883;
  std::string user, password, clientId;
  bool tls = false;
  std::string caFile;
  std::string baseTopic = "quillon";
  bool discovery = true;
  std::string discoveryPrefix = "homeassistant";

  bool operator==(const MqttSettings&) const = default;
};

// Reads the section; a malformed port is reported in `problem` and leaves the default.
MqttSettings readMqttSettings(core::IniCache& ini, std::string* problem = nullptr);

// A topic level from free text: "/", "+", "#" and blanks become "_".
std::string topicLevel(const std::string& text);

class MqttBridge final : public core::Subsystem {
 public:
  // Hands a transmitter text to the node's command path (the one xAP BSC commands take).
  // Sends a command's text to the transmitter; false when it could not go out.
  using CommandSink = std::function<bool(const std::string& text)>;
  static constexpr int kLinkCheckMs = 2000;  // the receiver's availability is checked this often
  static constexpr int kLinkStateEveryMs = 60000;  // the receiver's counters go out this often

  MqttBridge(core::NodeContext& ctx, devices::DeviceRegistry& registry, CommandSink sink);
  ~MqttBridge();

  const char* name() const override { return "MQTT"; }
  // Reads [MQTT] and connects when enabled.
  void start() override { connect(); }
  // Publishes "offline" and disconnects cleanly.
  void stop() override;
  // The settings were re-read (SIGHUP, the settings window): when [MQTT] changed, the bridge
  // disconnects and starts again with the new section; otherwise the discovery configs follow the
  // node's settings (units, a transmitter). Nothing before the first start().
  void applySettings(const core::SettingsChange& change) override;
  bool running() const { return client_ != nullptr; }
  // Where staleness and carried identities come from; without it every code is its own identity.
  void setLifecycle(const devices::DeviceLifecycle* lifecycle) { lifecycle_ = lifecycle; }
  // Test hooks: back-off bounds of the client, before start().
  void setRetry(int minMs, int maxMs) { retryMinMs_ = minMs, retryMaxMs_ = maxMs; }

  // Brings every discovery config in line with the registry.
  void refresh();
  // A message on a subscribed topic (a set command).
  // A message on a set topic. A retained one is ignored (it would act again at every connect).
  void handleMessage(const std::string& topic, const std::string& payload, bool retained = false);
  // Where the receiver link's state comes from; without it nothing is published for it.
  void setReceiverStatus(std::function<rflink::LinkStatus()> fn) { receiverStatus_ = std::move(fn); }
  // The SDR receiver's state, carried as "sdr" in receiver/state (or as the receiver itself when
  // it is the node's only one).
  void setSdrStatus(std::function<rflink::LinkStatus()> fn) { sdrStatus_ = std::move(fn); }
  // Publishes the receiver's availability (and state) when it changed, or every minute.
  void publishReceiver(bool force = false);

  // Whether X10 units can be switched: a transmitter is configured.
  bool canTransmit() const;
  devices::DeviceView view() const { return {ctx_.settings.metric, canTransmit(), lifecycle_}; }
  const MqttSettings& settings() const { return settings_; }
  MqttClient* client() { return client_.get(); }

  std::string nodeTopic() const;  // <base>/<host>
  std::string statusTopic() const { return nodeTopic() + "/status"; }
  std::string receiverTopic() const { return nodeTopic() + "/receiver"; }
  std::string stateTopic(const devices::W800Device& device) const;
  // Per device "online"/"offline": offline while the device is stale.
  std::string availabilityTopic(const devices::W800Device& device) const;
  // A remote's button presses, as {"event_type": "on"}.
  std::string eventTopic(const devices::W800Device& device) const;
  std::string configTopic(const devices::W800Device& device, Component component, const std::string& suffix = "") const;
  // The discovery config of a device, or an empty text when it gets none.
  std::string discoveryPayload(const devices::W800Device& device, Component* component = nullptr) const;
  // Every discovery config of a device (its entity, a remote's event entity), topic -> payload.
  std::map<std::string, std::string> discoveryConfigs(const devices::W800Device& device) const;
  // Published to Home Assistant: in use, or the battery record of a device in use.
  bool announced(const devices::W800Device& device) const;

 private:
  // Reads [MQTT] and connects when enabled; false when off or not usable.
  bool connect();
  nlohmann::ordered_json originBlock() const;
  nlohmann::ordered_json deviceBlock() const;
  void onConnected();
  void publishState(const devices::W800Device& device);
  void deviceChanged(const devices::DeviceChange& change);
  void updateDiscovery(const devices::W800Device& device);
  void publishAvailability(const devices::W800Device& device);
  void publishButton(const devices::W800Device& device);
  void forgotten(const devices::W800Device& device);
  // The code a device's entity ids are made from (a replaced sensor's, when it carries one).
  std::string identity(const devices::W800Device& device) const;
  // The in-use record a battery record belongs to, or nullptr.
  const devices::W800Device* batteryOwner(const devices::W800Device& device) const;
  nlohmann::ordered_json availabilityList(const devices::W800Device& device) const;

  core::NodeContext& ctx_;
  devices::DeviceRegistry& registry_;
  std::set<std::string> retainedLogged_;  // set topics whose retained command was logged
  CommandSink sink_;
  MqttSettings settings_;
  bool started_ = false;  // start() ran once: settings_ holds what was read then
  std::unique_ptr<MqttClient> client_;
  platform::Timer linkTimer_;
  int subscription_ = 0;
  int retryMinMs_ = 1000, retryMaxMs_ = 60000;
  const devices::DeviceLifecycle* lifecycle_ = nullptr;
  // Per device code: the config topics and payloads last published (bounded by the registry).
  std::map<std::string, std::map<std::string, std::string>> published_;
  // Per remote code: the buttons heard, which its event entity lists.
  std::map<std::string, std::set<std::string>> buttons_;
  // Per device code: the state payload last published, so a repeated report sends nothing.
  std::map<std::string, std::string> states_;
  std::function<rflink::LinkStatus()> receiverStatus_;
  std::function<rflink::LinkStatus()> sdrStatus_;
  std::string receiverAvailability_;  // last published: "online", "offline" or none
  std::int64_t receiverStateAtMs_ = 0;
};

}  // namespace quillon::mqtt
