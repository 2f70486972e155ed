#pragma once
// An MQTT client on libmosquitto, driven from the node's event loop: the library's socket is
// watched by the loop (platform::SocketWatcher) and a timer runs its keep-alive, so every
// callback runs on the loop's thread. It connects by itself, reconnects with back-off after a
// refusal or a lost connection, and logs each change of its connection state once.
// Each connection try (which resolves the broker's name, and may wait long on a resolver that
// does not answer) runs on a short-lived worker thread, so the loop never waits for it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/counters.h"
#include "platform/event_loop.h"
#include "platform/platform.h"

struct mosquitto;
struct mosquitto_message;

namespace quillon::mqtt {

struct ClientOptions {
  std::string host = "127.0.0.1";
  std::uint16_t port = 1883;
  std::string user, password;
  std::string clientId;
  bool tls = false;
  std::string caFile;
  std::string willTopic, willPayload;  // retained last will; empty topic: none
  int keepAliveSeconds = 30;
  int retryMinMs = 1000;   // first wait after a failure; doubled per failure
  int retryMaxMs = 60000;  // longest wait between tries
  int connectTimeoutMs = 10000;  // a connection not accepted by then is dropped and retried; a name
                                 // lookup still pending then is logged and waited for
};

class MqttClient {
 public:
  using LogFn = std::function<void(const std::string&)>;
  // retained: the broker kept the message and hands it to every new subscriber.
  using MessageFn = std::function<void(const std::string& topic, const std::string& payload, bool retained)>;

  MqttClient(platform::Platform& platform, LogFn log);
  ~MqttClient();
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;

  // Starts connecting; false when the options cannot be used (the reason is logged).
  bool start(const ClientOptions& options);
  // Publishes a last retained message (when connected), lets it go out (bounded wait) and
  // disconnects cleanly, so the broker does not send the will.
  void stop(const std::string& finalTopic = "", const std::string& finalPayload = "");

  bool connected() const { return connected_; }
  // False when not connected: nothing is queued while the broker is away.
  bool publish(const std::string& topic, const std::string& payload, bool retain, int qos = 0);
  bool subscribe(const std::string& pattern, int qos = 0);

  void onConnected(std::function<void()> fn) { connectedHandler_ = std::move(fn); }
  void onMessage(MessageFn fn) { messageHandler_ = std::move(fn); }
  int connectCount() const { return connectCount_; }
  // Each publish from now on is counted as published or failed.
  void countInto(core::Counters* counters) { counters_ = counters; }
  // The current wait before the next try (for tests).
  int retryDelayMs() const { return retryDelayMs_; }
  // Connection tries still running on worker threads, of every client, also of stopped ones
  // (for tests).
  static int triesInFlight();

 private:
  static void onConnectCb(mosquitto*, void* self, int rc);
  static void onMessageCb(mosquitto*, void* self, const mosquitto_message* m);

  struct ConnectTry;

  void tryConnect();
  void finishTry();
  void abandonTry();
  void afterIo(int rc);
  void drop(const std::string& reason);
  void scheduleRetry();
  void noteState(const std::string& text);
  void updateWriteWatch();
  bool counted(bool published) {
    if (counters_) (published ? counters_->mqttPublished : counters_->mqttFailed).add();
    return published;
  }

  platform::Platform& platform_;
  LogFn log_;
  ClientOptions options_;
  mosquitto* mosq_ = nullptr;
  std::unique_ptr<platform::SocketWatcher> watcher_;
  // The try in flight: it owns the client's mosquitto* until the loop takes it back.
  std::shared_ptr<ConnectTry> try_;
  std::unique_ptr<platform::SocketWatcher> tryWatcher_;  // its completion signal
  platform::Timer miscTimer_, retryTimer_, connectTimer_;
  bool started_ = false, everConnected_ = false, connected_ = false, stopping_ = false;
  bool slowLookupNoted_ = false;  // the pending-lookup line is logged once until connected
  int refusedCode_ = 0;  // CONNACK code of the last refusal
  int retryDelayMs_ = 0;
  int connectCount_ = 0;
  std::string lastState_;
  std::function<void()> connectedHandler_;
  MessageFn messageHandler_;
  core::Counters* counters_ = nullptr;
};

}  // namespace quillon::mqtt
