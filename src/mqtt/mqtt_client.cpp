#include "mqtt/mqtt_client.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace quillon::mqtt {

namespace {

constexpr int kMiscIntervalMs = 500;   // keep-alive and retry bookkeeping of the library
constexpr int kStopFlushMs = 500;      // longest wait for the last messages at stop

void initLibraryOnce() {
  static const bool done = [] {
    mosquitto_lib_init();
    return true;
  }();
  (void)done;
}

std::string errorText(int rc) {
  if (rc == MOSQ_ERR_ERRNO) return std::strerror(errno);
  return mosquitto_strerror(rc);
}

}  // namespace

MqttClient::MqttClient(platform::Platform& platform, LogFn log)
    : platform_(platform),
      log_(std::move(log)),
      miscTimer_(platform.loop()),
      retryTimer_(platform.loop()),
      connectTimer_(platform.loop()) {
  miscTimer_.setHandler([this] {
    if (!mosq_ || !watcher_) return;
    afterIo(mosquitto_loop_misc(mosq_));
  });
  retryTimer_.setHandler([this] { tryConnect(); });
  connectTimer_.setHandler([this] {
    if (!connected_ && watcher_) drop("no answer from the broker within " + std::to_string(options_.connectTimeoutMs / 1000) + " s");
  });
}

MqttClient::~MqttClient() {
  stop();
  if (mosq_) mosquitto_destroy(mosq_);
}

bool MqttClient::start(const ClientOptions& options) {
  initLibraryOnce();
  options_ = options;
  if (mosq_) mosquitto_destroy(mosq_);
  mosq_ = mosquitto_new(options_.clientId.empty() ? nullptr : options_.clientId.c_str(), true, this);
  if (!mosq_) {
    log_("MQTT: cannot create the client: " + std::string(std::strerror(errno)));
    return false;
  }
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_connect_callback_set(mosq_, &MqttClient::onConnectCb);
  mosquitto_message_callback_set(mosq_, &MqttClient::onMessageCb);
  if (!options_.user.empty() &&
      mosquitto_username_pw_set(mosq_, options_.user.c_str(), options_.password.empty() ? nullptr : options_.password.c_str()) != MOSQ_ERR_SUCCESS) {
    log_("MQTT: the user name cannot be used");
    return false;
  }
  if (options_.tls) {
    const int rc = mosquitto_tls_set(mosq_, options_.caFile.empty() ? nullptr : options_.caFile.c_str(),
                                     options_.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      log_("MQTT: TLS cannot be set up with CA file \"" + options_.caFile + "\": " + errorText(rc));
      return false;
    }
  }
  if (!options_.willTopic.empty())
    mosquitto_will_set(mosq_, options_.willTopic.c_str(), static_cast<int>(options_.willPayload.size()),
                       options_.willPayload.data(), 1, true);
  started_ = true;
  stopping_ = false;
  everConnected_ = false;
  retryDelayMs_ = options_.retryMinMs;
  miscTimer_.start(platform::Millis(kMiscIntervalMs));
  tryConnect();
  return true;
}

void MqttClient::tryConnect() {
  if (!started_ || stopping_ || watcher_) return;
  const std::string where = options_.host + ":" + std::to_string(options_.port);
  // The first try resolves the host; later ones reuse what the library kept.
  const int rc = everConnected_ ? mosquitto_reconnect_async(mosq_)
                                : mosquitto_connect_async(mosq_, options_.host.c_str(), options_.port, options_.keepAliveSeconds);
  everConnected_ = everConnected_ || rc == MOSQ_ERR_SUCCESS;
  const int fd = rc == MOSQ_ERR_SUCCESS ? mosquitto_socket(mosq_) : -1;
  if (fd < 0) {
    drop("broker " + where + " unreachable: " + errorText(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_NO_CONN : rc));
    return;
  }
  watcher_ = platform_.createSocketWatcher(fd);
  if (!watcher_) {
    log_("MQTT: this platform cannot watch the client's socket");
    started_ = false;
    mosquitto_disconnect(mosq_);
    return;
  }
  watcher_->onReadable([this] { afterIo(mosquitto_loop_read(mosq_, 1)); });
  watcher_->onWritable([this] { afterIo(mosquitto_loop_write(mosq_, 1)); });
  refusedCode_ = 0;
  updateWriteWatch();
  connectTimer_.start(platform::Millis(options_.connectTimeoutMs), false);
}

void MqttClient::updateWriteWatch() {
  if (watcher_ && mosq_) watcher_->setWriteWatch(mosquitto_want_write(mosq_));
}

void MqttClient::afterIo(int rc) {
  if (!watcher_) return;
  if (rc == MOSQ_ERR_SUCCESS && refusedCode_ == 0 && mosquitto_socket(mosq_) >= 0) {
    updateWriteWatch();
    return;
  }
  const std::string where = options_.host + ":" + std::to_string(options_.port);
  if (refusedCode_ != 0)
    drop("broker " + where + " refused the connection: " + mosquitto_connack_string(refusedCode_));
  else if (connected_)
    drop("connection to " + where + " lost: " + errorText(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc));
  else
    drop("broker " + where + " unreachable: " + errorText(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc));
}

// Forgets the socket (the library has closed it or closes it now) and waits before the next try.
void MqttClient::drop(const std::string& reason) {
  watcher_.reset();
  connectTimer_.stop();
  const bool wasConnected = connected_;
  connected_ = false;
  if (mosq_ && mosquitto_socket(mosq_) >= 0) mosquitto_disconnect(mosq_);
  if (stopping_ || !started_) return;
  noteState(reason);
  if (wasConnected) retryDelayMs_ = options_.retryMinMs;
  scheduleRetry();
}

void MqttClient::scheduleRetry() {
  retryTimer_.start(platform::Millis(retryDelayMs_), false);
  retryDelayMs_ = std::min(options_.retryMaxMs, retryDelayMs_ * 2);
}

void MqttClient::noteState(const std::string& text) {
  if (text == lastState_) return;  // one line per change, not per try
  lastState_ = text;
  log_("MQTT: " + text);
}

void MqttClient::onConnectCb(mosquitto*, void* self, int rc) {
  auto* c = static_cast<MqttClient*>(self);
  if (rc != 0) {
    c->refusedCode_ = rc;  // handled once the library returns from its read
    return;
  }
  c->connectTimer_.stop();
  c->connected_ = true;
  c->retryDelayMs_ = c->options_.retryMinMs;
  ++c->connectCount_;
  c->noteState("connected to " + c->options_.host + ":" + std::to_string(c->options_.port));
  if (c->connectedHandler_) c->connectedHandler_();
}

void MqttClient::onMessageCb(mosquitto*, void* self, const mosquitto_message* m) {
  auto* c = static_cast<MqttClient*>(self);
  if (!c->messageHandler_ || !m || !m->topic) return;
  std::string payload = m->payload && m->payloadlen > 0
                            ? std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen))
                            : std::string();
  c->messageHandler_(m->topic, payload, m->retain);
}

bool MqttClient::publish(const std::string& topic, const std::string& payload, bool retain, int qos) {
  if (!connected_ || !mosq_) return false;
  const int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos, retain);
  updateWriteWatch();
  return rc == MOSQ_ERR_SUCCESS;
}

bool MqttClient::subscribe(const std::string& pattern, int qos) {
  if (!connected_ || !mosq_) return false;
  const int rc = mosquitto_subscribe(mosq_, nullptr, pattern.c_str(), qos);
  updateWriteWatch();
  return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::stop(const std::string& finalTopic, const std::string& finalPayload) {
  if (!started_) return;
  if (connected_ && !finalTopic.empty()) publish(finalTopic, finalPayload, true, 0);
  stopping_ = true;
  started_ = false;
  retryTimer_.stop();
  miscTimer_.stop();
  connectTimer_.stop();
  if (mosq_ && connected_) {
    mosquitto_disconnect(mosq_);
    // The messages and the DISCONNECT go out before the socket closes (bounded wait).
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopFlushMs);
    while (mosquitto_want_write(mosq_) && mosquitto_socket(mosq_) >= 0 && std::chrono::steady_clock::now() < until) {
      if (mosquitto_loop_write(mosq_, 1) != MOSQ_ERR_SUCCESS) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  watcher_.reset();
  connected_ = false;
  if (mosq_) {
    mosquitto_destroy(mosq_);
    mosq_ = nullptr;
  }
  log_("MQTT: disconnected");
}

}  // namespace quillon::mqtt
