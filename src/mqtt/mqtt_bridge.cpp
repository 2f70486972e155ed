#include "mqtt/mqtt_bridge.h"

#include "rflink/link_json.h"

#include <cctype>
#include <exception>

#include "core/settings.h"
#include "core/settings_table.h"
#include "devices/onoff_reporter.h"
#include "util/text.h"

#ifndef QUILLON_MQTT_VERSION
#define QUILLON_MQTT_VERSION "0.0.0"
#endif

namespace quillon::mqtt {

namespace {

constexpr const char* kVersion = QUILLON_MQTT_VERSION;

std::string unquoted(std::string v) {
  v = util::trim(v);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return v;
}

// Home Assistant's node and object ids take letters, digits, "_" and "-" only.
std::string idPart(const std::string& text) {
  std::string out;
  for (char c : text) out += std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' ? c : '_';
  return out;
}

}  // namespace

std::string topicLevel(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '/' || c == '+' || c == '#' || c == ' ' ? '_' : c;
  return out.empty() ? "_" : out;
}

MqttSettings readMqttSettings(core::IniCache& ini, std::string* problem) {
  MqttSettings s;
  // Keys and defaults come from the settings table; a value that is empty once unquoted (or
  // stripped of its trailing "/") also gives the default.
  auto get = [&](const char* key) { return unquoted(core::storedSetting(ini, kMqttSection, key)); };
  auto orDefault = [](std::string& v, const char* key) {
    if (v.empty()) v = core::findSetting(kMqttSection, key)->def;
  };
  s.enabled = util::toBool(get("Enabled"));
  s.host = get("Host");
  orDefault(s.host, "Host");
  const std::string port = get("Port");
  const bool digits = !port.empty() && port.size() <= 5 &&
                      port.find_first_not_of("0123456789") == std::string::npos;
  const long value = digits ? std::stol(port) : 0;
  const core::SettingDef& range = *core::findSetting(kMqttSection, "Port");
  if (value >= range.min && value <= range.max)
    s.port = static_cast<std::uint16_t>(value);
  else if (problem)
    *problem = "Port \"" + port + "\" is not a port number; " + std::to_string(s.port) + " is used";
  s.user = get("User");
  s.password = get("Password");
  s.clientId = get("ClientId");
  s.tls = util::toBool(get("TLS"));
  s.caFile = get("CAFile");
  s.baseTopic = get("BaseTopic");
  while (!s.baseTopic.empty() && s.baseTopic.back() == '/') s.baseTopic.pop_back();
  orDefault(s.baseTopic, "BaseTopic");
  s.discovery = util::toBool(get("Discovery"));
  s.discoveryPrefix = get("DiscoveryPrefix");
  while (!s.discoveryPrefix.empty() && s.discoveryPrefix.back() == '/') s.discoveryPrefix.pop_back();
  orDefault(s.discoveryPrefix, "DiscoveryPrefix");
  return s;
}

MqttBridge::MqttBridge(core::NodeContext& ctx, devices::DeviceRegistry& registry, CommandSink sink)
    : ctx_(ctx), registry_(registry), sink_(std::move(sink)), linkTimer_(ctx.platform.loop()) {
  linkTimer_.setHandler([this] { publishReceiver(); });
  subscription_ = registry_.subscribe([this](const devices::DeviceChange& change) { deviceChanged(change); });
}

MqttBridge::~MqttBridge() {
  stop();
  registry_.unsubscribe(subscription_);
}

void MqttBridge::applySettings(const core::SettingsChange&) {
  if (!started_) return;
  const MqttSettings now = readMqttSettings(ctx_.ini);
  if (now == settings_) {
    refresh();  // units and switchable devices follow the node's settings
    return;
  }
  ctx_.logEvent(now.enabled ? "MQTT settings changed: connecting with the new settings" : "MQTT bridge turned off");
  stop();
  connect();
}

bool MqttBridge::connect() {
  if (client_) return true;
  started_ = true;
  std::string problem;
  settings_ = readMqttSettings(ctx_.ini, &problem);
  if (!problem.empty()) ctx_.logEvent("MQTT: " + problem);
  if (!settings_.enabled) return false;
  ClientOptions o;
  o.host = settings_.host;
  o.port = settings_.port;
  o.user = settings_.user;
  o.password = settings_.password;
  o.clientId = settings_.clientId.empty() ? "quillon-" + idPart(ctx_.computerName) : settings_.clientId;
  o.tls = settings_.tls;
  o.caFile = settings_.caFile;
  o.willTopic = statusTopic();
  o.willPayload = "offline";
  o.retryMinMs = retryMinMs_;
  o.retryMaxMs = retryMaxMs_;
  client_ = std::make_unique<MqttClient>(ctx_.platform, [this](const std::string& line) { ctx_.logEvent(line); });
  client_->countInto(&ctx_.counters);
  client_->onConnected([this] { onConnected(); });
  client_->onMessage([this](const std::string& topic, const std::string& payload, bool retained) {
    handleMessage(topic, payload, retained);
  });
  if (!client_->start(o)) {
    client_.reset();
    return false;
  }
  linkTimer_.start(platform::Millis(kLinkCheckMs));
  return true;
}

void MqttBridge::stop() {
  linkTimer_.stop();
  if (!client_) return;
  if (!receiverAvailability_.empty() && client_->connected()) client_->publish(receiverTopic() + "/status", "offline", true, 1);
  client_->stop(statusTopic(), "offline");
  client_.reset();
  published_.clear();
  states_.clear();
  receiverAvailability_.clear();
}

std::string MqttBridge::nodeTopic() const { return settings_.baseTopic + "/" + topicLevel(ctx_.computerName); }

std::string MqttBridge::stateTopic(const devices::W800Device& d) const {
  return nodeTopic() + "/" + topicLevel(d.dc()) + "/state";
}

std::string MqttBridge::availabilityTopic(const devices::W800Device& d) const {
  return nodeTopic() + "/" + topicLevel(d.dc()) + "/availability";
}

std::string MqttBridge::eventTopic(const devices::W800Device& d) const {
  return nodeTopic() + "/" + topicLevel(d.dc()) + "/event";
}

std::string MqttBridge::identity(const devices::W800Device& d) const {
  return lifecycle_ ? lifecycle_->identityOf(d.dc()) : d.dc();
}

std::string MqttBridge::configTopic(const devices::W800Device& d, Component component, const std::string& suffix) const {
  return settings_.discoveryPrefix + "/" + componentName(component) + "/quillon_" + idPart(ctx_.computerName) + "/" +
         idPart(identity(d)) + suffix + "/config";
}

const devices::W800Device* MqttBridge::batteryOwner(const devices::W800Device& d) const {
  const std::string& type = d.deviceType();
  if (type != "Battery" && type != "BatteryLevel") return nullptr;
  // "<sensor>_P" and "<sensor>_L" (Oregon), "<sensor>B" (X10 security) belong to "<sensor>".
  const std::string& code = d.dc();
  std::string owner;
  if (code.size() > 2 && code[code.size() - 2] == '_') owner = code.substr(0, code.size() - 2);
  else if (code.size() > 1 && code.back() == 'B') owner = code.substr(0, code.size() - 1);
  if (owner.empty()) return nullptr;
  const devices::DevicePtr* o = registry_.devices().find(owner);
  return o && *o && (*o)->inUse() && !(*o)->remove() ? o->get() : nullptr;
}

bool MqttBridge::announced(const devices::W800Device& d) const {
  if (d.remove()) return false;
  return d.inUse() || batteryOwner(d) != nullptr;
}

bool MqttBridge::canTransmit() const {
  return !ctx_.settings.txSerialPort.empty() || !ctx_.settings.txSerialIp.empty();
}

// The node's Home Assistant device, which every discovered entity belongs to.
nlohmann::ordered_json MqttBridge::deviceBlock() const {
  return {{"identifiers", {"quillon_" + idPart(ctx_.computerName)}},
          {"name", "Quillon " + ctx_.computerName},
          {"manufacturer", "Quillon"},
          {"model", "RF gateway node"},
          {"sw_version", kVersion}};
}

// Who announces the entities: the node, its version, and its own help page when it serves pages.
nlohmann::ordered_json MqttBridge::originBlock() const {
  nlohmann::ordered_json o{{"name", "Quillon"}, {"sw_version", kVersion}};
  const double port = util::leadingNumber(ctx_.settings.httpPort);
  if (port >= 1 && port <= 65535)
    o["support_url"] = "http://" + ctx_.computerName + ":" + util::formatNumber(port) + "/help";
  return o;
}

nlohmann::ordered_json MqttBridge::availabilityList(const devices::W800Device& d) const {
  // Both must hold: the node is online and the device is not stale.
  return nlohmann::ordered_json::array(
      {{{"topic", statusTopic()}, {"payload_available", "online"}, {"payload_not_available", "offline"}},
       {{"topic", availabilityTopic(d)}, {"payload_available", "online"}, {"payload_not_available", "offline"}}});
}

std::string MqttBridge::discoveryPayload(const devices::W800Device& d, Component* component) const {
  const DiscoveryClass k = discoveryClass(d, view());
  if (component) *component = k.component;
  if (!settings_.discovery || !announced(d) || k.component == Component::None) return "";
  const std::string host = idPart(ctx_.computerName);
  const devices::W800Device* owner = d.inUse() ? nullptr : batteryOwner(d);
  const std::string id = idPart(identity(d));
  nlohmann::ordered_json j;
  const std::string& location = owner ? owner->location() : d.location();
  std::string name = location.empty() ? d.dc() : location;
  if (!d.deviceType().empty()) name += " " + d.deviceType();
  j["name"] = name + " " + d.dc();
  j["unique_id"] = "quillon_" + host + "_" + id;
  j["default_entity_id"] = std::string(componentName(k.component)) + "." + util::lower("quillon_" + host + "_" + id);
  j["state_topic"] = stateTopic(d);
  j["availability"] = availabilityList(d);
  j["availability_mode"] = "all";
  if (owner) j["entity_category"] = "diagnostic";
  const std::string setTopic = nodeTopic() + "/" + topicLevel(d.dc()) + "/set";
  auto payloads = [&](bool withCommand) {
    if (withCommand) j["command_topic"] = setTopic;
    j["payload_on"] = "ON";
    j["payload_off"] = "OFF";
  };
  // A sensor that reports on a rhythm turns unknown when it misses three of them, even while
  // the node is away and cannot say it went stale.
  const int expire = lifecycle_ && (k.component == Component::Sensor || k.component == Component::BinarySensor)
                         ? lifecycle_->staleAfterSeconds(d)
                         : 0;
  switch (k.component) {
    case Component::Sensor:
      j["value_template"] = "{{ value_json.value }}";
      if (!k.deviceClass.empty()) j["device_class"] = k.deviceClass;
      // A quantity Home Assistant keeps statistics of (UV has no device class but is one).
      if (!k.deviceClass.empty() || d.deviceType() == "UV")
        j["state_class"] = k.deviceClass == "precipitation"      ? "total_increasing"
                           : k.deviceClass == "wind_direction" ? "measurement_angle"
                                                               : "measurement";
      if (!k.unit.empty()) j["unit_of_measurement"] = k.unit;
      break;
    case Component::BinarySensor:
      j["value_template"] = "{{ value_json.state }}";
      payloads(false);
      if (!k.deviceClass.empty()) j["device_class"] = k.deviceClass;
      break;
    case Component::Switch:
      j["value_template"] = "{{ value_json.state }}";
      j["state_on"] = "ON";
      j["state_off"] = "OFF";
      payloads(true);
      j["optimistic"] = true;  // the node publishes the commanded state at once
      break;
    case Component::Light:
      j["state_value_template"] = "{{ value_json.state }}";
      payloads(true);
      j["brightness_command_topic"] = setTopic;
      j["brightness_scale"] = 100;
      j["on_command_type"] = "brightness";
      j["optimistic"] = true;
      break;
    case Component::None: break;
  }
  // Rounded up to whole minutes, so that a small change of the learned interval sends no new config.
  if (expire > 0) j["expire_after"] = (expire + 59) / 60 * 60;
  j["device"] = deviceBlock();
  j["origin"] = originBlock();
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

namespace {

// A remote's codes: X10 unit codes that cannot be switched from here, and keyfobs.
bool isRemote(const devices::W800Device& d, const devices::DeviceView& view) {
  if (d.dc().ends_with("KF")) return true;
  if (!devices::isX10Address(d.dc()) || view.canTransmit) return false;
  const std::string& t = d.deviceType();
  return t.empty() || t == "Switch" || t == "Status" || t == "Dimmer" || t == "Light" || t == "Remote";
}

// The button a remote's state stands for: "on", "off", "dim", "bright", or its text.
std::string buttonOf(const devices::W800Device& d) {
  switch (d.deviceStatus()) {
    case devices::kDeviceStatusOn: return "on";
    case devices::kDeviceStatusOff: return "off";
    case devices::kDeviceStatusDim: return "dim";
    case devices::kDeviceStatusBright: return "bright";
    default: break;
  }
  return util::lower(idPart(util::trim(d.text())));
}

}  // namespace

std::map<std::string, std::string> MqttBridge::discoveryConfigs(const devices::W800Device& d) const {
  std::map<std::string, std::string> out;
  Component component = Component::None;
  std::string payload = discoveryPayload(d, &component);
  if (payload.empty()) return out;
  out[configTopic(d, component)] = std::move(payload);
  if (!isRemote(d, view())) return out;
  // The remote's presses as an event entity; X10 codes know their four buttons from the start.
  std::set<std::string> types;
  if (devices::isX10Address(d.dc())) types = {"on", "off", "dim", "bright"};
  if (auto it = buttons_.find(d.dc()); it != buttons_.end()) types.insert(it->second.begin(), it->second.end());
  if (types.empty()) return out;
  const std::string host = idPart(ctx_.computerName);
  const std::string id = idPart(identity(d));
  nlohmann::ordered_json j;
  j["name"] = (d.location().empty() ? d.dc() : d.location()) + " buttons " + d.dc();
  j["unique_id"] = "quillon_" + host + "_" + id + "_event";
  j["default_entity_id"] = "event." + util::lower("quillon_" + host + "_" + id + "_buttons");
  j["state_topic"] = eventTopic(d);
  j["event_types"] = std::vector<std::string>(types.begin(), types.end());
  j["device_class"] = "button";
  j["availability_topic"] = statusTopic();
  j["device"] = deviceBlock();
  j["origin"] = originBlock();
  out[settings_.discoveryPrefix + "/event/quillon_" + host + "/" + id + "_event/config"] =
      j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return out;
}

void MqttBridge::publishReceiver(bool force) {
  if (!receiverStatus_ || !client_ || !client_->connected()) return;
  rflink::LinkStatus link = receiverStatus_();
  const rflink::LinkStatus sdr = sdrStatus_ ? sdrStatus_() : rflink::LinkStatus{};
  if (!link.configured && sdr.configured) link = sdr;  // the SDR receiver is the node's only one
  if (!link.configured) return;  // a node without a receiver says nothing about one
  const std::string availability = link.open ? "online" : "offline";
  const std::int64_t now = ctx_.platform.clock().monotonicMs();
  const bool changed = availability != receiverAvailability_;
  if (!force && !changed && now - receiverStateAtMs_ < kLinkStateEveryMs) return;
  constexpr auto kReplace = nlohmann::json::error_handler_t::replace;
  nlohmann::ordered_json state = rflink::linkJson(link);
  if (sdr.configured && link.role != "sdr") state["sdr"] = rflink::linkJson(sdr);
  client_->publish(receiverTopic() + "/state", state.dump(-1, ' ', false, kReplace), true, 0);
  if (changed || force) client_->publish(receiverTopic() + "/status", availability, true, 1);
  receiverAvailability_ = availability;
  receiverStateAtMs_ = now;
  if (!force || !settings_.discovery) return;
  const std::string host = idPart(ctx_.computerName);
  // The receiver's diagnostic entities on the node's Home Assistant device.
  auto entity = [&](const char* component, const char* name, const std::string& id, const std::string& stateTopic) {
    nlohmann::ordered_json j;
    j["name"] = name;
    j["unique_id"] = "quillon_" + host + "_" + id;
    j["default_entity_id"] = std::string(component) + ".quillon_" + util::lower(host) + "_" + id;
    j["state_topic"] = stateTopic;
    return j;
  };
  auto announce = [&](const char* component, const std::string& id, nlohmann::ordered_json j) {
    j["entity_category"] = "diagnostic";
    j["availability_topic"] = statusTopic();
    j["payload_available"] = "online";
    j["payload_not_available"] = "offline";
    j["device"] = deviceBlock();
    j["origin"] = originBlock();
    client_->publish(settings_.discoveryPrefix + "/" + component + "/quillon_" + host + "/" + id + "/config",
                     j.dump(-1, ' ', false, kReplace), true, 1);
  };
  // Its link as a connectivity sensor.
  nlohmann::ordered_json online = entity("binary_sensor", "Receiver", "receiver", receiverTopic() + "/status");
  online["payload_on"] = "online";
  online["payload_off"] = "offline";
  online["device_class"] = "connectivity";
  online["json_attributes_topic"] = receiverTopic() + "/state";
  announce("binary_sensor", "receiver", std::move(online));
  // When it last delivered a packet: a quiet receiver shows in Home Assistant too.
  nlohmann::ordered_json last = entity("sensor", "Receiver last packet", "receiver_last_packet", receiverTopic() + "/state");
  last["value_template"] = "{{ value_json.last_packet_at }}";
  last["device_class"] = "timestamp";
  announce("sensor", "receiver_last_packet", std::move(last));
}

void MqttBridge::refresh() {
  if (!client_ || !client_->connected()) return;
  try {
    for (const auto& [code, device] : registry_.devices())
      if (device) updateDiscovery(*device);
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "MqttRefresh", e.what());
  }
}

// Brings one device's discovery configs in line with its record: published when it gets them,
// cleared when it no longer does (out of use, removed) or moved to another component.
void MqttBridge::updateDiscovery(const devices::W800Device& d) {
  const std::map<std::string, std::string> wanted = discoveryConfigs(d);
  std::map<std::string, std::string>& had = published_[d.dc()];
  for (const auto& [topic, payload] : had)
    if (!wanted.contains(topic)) client_->publish(topic, "", true, 1);
  for (const auto& [topic, payload] : wanted)
    if (auto it = had.find(topic); it == had.end() || it->second != payload) client_->publish(topic, payload, true, 1);
  if (wanted.empty()) published_.erase(d.dc());
  else had = wanted;
}

void MqttBridge::publishAvailability(const devices::W800Device& d) {
  if (!client_ || !announced(d)) return;
  client_->publish(availabilityTopic(d), d.stale() ? "offline" : "online", true, 1);
}

void MqttBridge::publishButton(const devices::W800Device& d) {
  if (!client_ || !announced(d) || !isRemote(d, view())) return;
  const std::string button = buttonOf(d);
  if (button.empty()) return;
  if (buttons_[d.dc()].insert(button).second) updateDiscovery(d);  // a new button: the entity learns it
  nlohmann::ordered_json j{{"event_type", button}};
  client_->publish(eventTopic(d), j.dump(), false, 0);
}

// A record left the table. When a new code carries its identity, the entities stay (the new
// code's configs go out under the same topics); otherwise they are cleared.
void MqttBridge::forgotten(const devices::W800Device& d) {
  auto it = published_.find(d.dc());
  const bool moved = lifecycle_ && lifecycle_->identityMoved(d.dc());
  if (it != published_.end()) {
    if (!moved)
      for (const auto& [topic, payload] : it->second) client_->publish(topic, "", true, 1);
    published_.erase(it);
  }
  client_->publish(stateTopic(d), "", true, 0);
  client_->publish(availabilityTopic(d), "", true, 1);
  states_.erase(d.dc());
  buttons_.erase(d.dc());
}

void MqttBridge::publishState(const devices::W800Device& d) {
  if (!client_ || !announced(d)) return;
  std::string payload = devices::deviceJson(d, view()).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::string& last = states_[d.dc()];
  if (payload == last) return;
  if (client_->publish(stateTopic(d), payload, true, 0)) last = std::move(payload);
}

void MqttBridge::deviceChanged(const devices::DeviceChange& change) {
  if (!client_ || !client_->connected()) return;  // the record keeps the latest; republished on connect
  using Kind = devices::DeviceChange::Kind;
  try {
    switch (change.kind) {
      case Kind::Forgotten: forgotten(change.device); return;
      case Kind::Availability:
        publishAvailability(change.device);
        updateDiscovery(change.device);  // expire_after follows what was learned
        return;
      case Kind::Repeated: publishButton(change.device); return;
      case Kind::Changed:
        updateDiscovery(change.device);
        publishState(change.device);
        publishButton(change.device);
        return;
      default:
        updateDiscovery(change.device);
        // A device taken into use (or a battery record with it) gets its state and availability.
        if (change.kind == Kind::Edited) {
          publishAvailability(change.device);
          publishState(change.device);
          // Its battery records are announced with it (or no longer).
          for (const char* suffix : {"_P", "_L", "B"})
            if (const devices::W800Device* b = registry_.device(change.device.dc() + suffix)) {
              updateDiscovery(*b);
              publishAvailability(*b);
              publishState(*b);
            }
        }
        return;
    }
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "MqttState", e.what());
  }
}

void MqttBridge::onConnected() {
  client_->publish(statusTopic(), "online", true, 1);
  client_->subscribe(nodeTopic() + "/+/set", 1);
  published_.clear();  // the broker may have lost its retained messages: everything goes out again
  states_.clear();
  publishReceiver(true);
  refresh();
  for (const auto& [code, device] : registry_.devices())
    if (device && announced(*device)) {
      publishAvailability(*device);
      publishState(*device);
    }
}

void MqttBridge::handleMessage(const std::string& topic, const std::string& payload, bool retained) {
  try {
    const std::string prefix = nodeTopic() + "/";
    const std::string suffix = "/set";
    if (topic.size() <= prefix.size() + suffix.size() || topic.rfind(prefix, 0) != 0 ||
        topic.compare(topic.size() - suffix.size(), suffix.size(), suffix) != 0)
      return;
    const std::string code = topic.substr(prefix.size(), topic.size() - prefix.size() - suffix.size());
    auto refuse = [&](const std::string& why) {
      std::string shown = payload.substr(0, 40);
      for (char& c : shown)
        if (static_cast<unsigned char>(c) < 32) c = '?';
      ctx_.logEvent("MQTT: set command \"" + shown + "\" for " + code + " refused: " + why);
    };
    if (retained) {
      if (retainedLogged_.insert(topic).second)
        ctx_.logEvent("MQTT: retained command on " + topic +
                      " ignored (commands are acted on when sent, not at each connect; an empty retained message "
                      "on the topic clears it)");
      return;
    }
    devices::W800Device* d = registry_.device(code);
    if (!d || !d->inUse()) return refuse("no device in use with this code");
    const Component component = discoveryClass(*d, view()).component;
    if (component != Component::Switch && component != Component::Light)
      return refuse("the device cannot be switched from here");
    const std::string word = util::upper(util::trimWhitespace(payload));
    std::string text;
    if (word == "ON" || word == "OFF") {
      text = d->dc() + " " + word;
    } else if (component == Component::Light && !word.empty() && word.size() <= 3 &&
               word.find_first_not_of("0123456789") == std::string::npos) {
      const int level = std::stoi(word);
      if (level > 100) return refuse("a level runs from 0 to 100");
      text = level == 0 ? d->dc() + " OFF" : level == 100 ? d->dc() + " ON" : d->dc() + " DIM " + std::to_string(level);
    } else {
      return refuse(component == Component::Light ? "expected ON, OFF or a level 0-100" : "expected ON or OFF");
    }
    std::string shown = util::trimWhitespace(payload);
    if (!sink_ || !sink_(text)) {
      ctx_.logEvent("MQTT: command not sent \"" + shown + "\" for " + code + ": the transmitter link is not open");
      return;
    }
    ctx_.logEvent("MQTT: command sent \"" + shown + "\" for " + code + " as \"" + text + "\"");
    // The commanded state, until the receiver hears otherwise: Home Assistant's switch stays put.
    if (client_ && client_->connected()) {
      nlohmann::ordered_json j = devices::deviceJson(*d, view());
      j["state"] = text.ends_with(" OFF") ? "OFF" : "ON";
      std::string state = j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      if (client_->publish(stateTopic(*d), state, true, 0)) states_[d->dc()] = std::move(state);
    }
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "MqttCommand", e.what());
  }
}

}  // namespace quillon::mqtt
