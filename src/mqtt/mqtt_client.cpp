#include "mqtt/mqtt_client.h"

#include <mosquitto.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace quillon::mqtt {

namespace {

constexpr int kMiscIntervalMs = 500;   // keep-alive and retry bookkeeping of the library
constexpr int kStopFlushMs = 500;      // longest wait for the last messages at stop

std::atomic<int> triesInFlight_{0};

void initLibraryOnce() {
  static const bool done = [] {
    mosquitto_lib_init();
    return true;
  }();
  (void)done;
}

// err: the errno of the thread that got rc.
std::string errorText(int rc, int err) {
  if (rc == MOSQ_ERR_ERRNO) return std::strerror(err);
  return mosquitto_strerror(rc);
}

std::string durationText(int ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

}  // namespace

// One connection try, shared by the loop and its worker thread. The worker sets done and
// signals the eventfd under the mutex and touches nothing after that, so the loop, once it sees
// done, takes the mosquitto* back and closes the eventfd itself. When the client let go of the try
// first (stop, or the client destroyed), the last owner destroys both.
struct MqttClient::ConnectTry {
  mosquitto* mosq = nullptr;
  int doneFd = -1;
  bool first = true;  // connect (host, port, keep-alive) rather than reconnect
  std::string host;
  int port = 0, keepAlive = 0;
  std::mutex mutex;  // guards the three below
  int rc = MOSQ_ERR_UNKNOWN, err = 0;
  bool done = false;

  ~ConnectTry() {
    if (mosq) mosquitto_destroy(mosq);
    if (doneFd >= 0) ::close(doneFd);
  }

  // On the worker: the library resolves the name and starts a non-blocking connect.
  void run() {
    const int result = first ? mosquitto_connect_async(mosq, host.c_str(), port, keepAlive) : mosquitto_reconnect_async(mosq);
    const int error = errno;
    const std::lock_guard lock(mutex);
    rc = result;
    err = error;
    done = true;
    const std::uint64_t one = 1;
    (void)!::write(doneFd, &one, sizeof one);
  }
};

int MqttClient::triesInFlight() { return triesInFlight_.load(); }

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
    if (try_) {
      // The name lookup cannot be cancelled: say so once and wait for the worker.
      if (!slowLookupNoted_)
        log_("MQTT: the broker's name " + options_.host + " has not resolved within " + durationText(options_.connectTimeoutMs) +
             "; waiting for the resolver before the next try");
      slowLookupNoted_ = true;
      return;
    }
    if (!connected_ && watcher_) drop("no answer from the broker within " + durationText(options_.connectTimeoutMs));
  });
}

MqttClient::~MqttClient() {
  stop();
  abandonTry();
  if (mosq_) mosquitto_destroy(mosq_);
}

bool MqttClient::start(const ClientOptions& options) {
  initLibraryOnce();
  abandonTry();
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
      log_("MQTT: TLS cannot be set up with CA file \"" + options_.caFile + "\": " + errorText(rc, errno));
      return false;
    }
  }
  if (!options_.willTopic.empty())
    mosquitto_will_set(mosq_, options_.willTopic.c_str(), static_cast<int>(options_.willPayload.size()),
                       options_.willPayload.data(), 1, true);
  started_ = true;
  stopping_ = false;
  everConnected_ = false;
  slowLookupNoted_ = false;
  retryDelayMs_ = options_.retryMinMs;
  miscTimer_.start(platform::Millis(kMiscIntervalMs));
  tryConnect();
  return true;
}

// Hands the client's mosquitto* to a worker thread for one try; finishTry takes it back.
void MqttClient::tryConnect() {
  if (!started_ || stopping_ || watcher_ || try_ || !mosq_) return;
  auto t = std::make_shared<ConnectTry>();
  t->doneFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (t->doneFd < 0) {
    drop("broker " + options_.host + ":" + std::to_string(options_.port) + " unreachable: " + std::strerror(errno));
    return;
  }
  tryWatcher_ = platform_.createSocketWatcher(t->doneFd);
  if (!tryWatcher_) {
    log_("MQTT: this platform cannot watch the client's socket");
    started_ = false;
    return;
  }
  tryWatcher_->onReadable([this] { finishTry(); });
  // The first try gives the library the host, port and keep-alive; later ones reuse them (the
  // library resolves the name again on every try).
  t->first = !everConnected_;
  t->host = options_.host;
  t->port = options_.port;
  t->keepAlive = options_.keepAliveSeconds;
  t->mosq = std::exchange(mosq_, nullptr);
  try {
    ++triesInFlight_;
    std::thread([t]() mutable {
      t->run();
      t.reset();  // the last owner cleans up before the try counts as ended
      --triesInFlight_;
    }).detach();
  } catch (const std::system_error& e) {
    --triesInFlight_;
    mosq_ = std::exchange(t->mosq, nullptr);
    tryWatcher_.reset();
    drop("broker " + options_.host + ":" + std::to_string(options_.port) + " unreachable: no thread for the try: " + e.what());
    return;
  }
  try_ = std::move(t);
  connectTimer_.start(platform::Millis(options_.connectTimeoutMs), false);
}

// On the loop, once the worker has signalled: the try's outcome, as a synchronous try had it.
void MqttClient::finishTry() {
  if (!try_) return;
  int rc = MOSQ_ERR_UNKNOWN, err = 0;
  {
    const std::lock_guard lock(try_->mutex);
    if (!try_->done) return;
    rc = try_->rc;
    err = try_->err;
  }
  const std::shared_ptr<ConnectTry> t = std::move(try_);
  tryWatcher_.reset();
  ::close(std::exchange(t->doneFd, -1));
  connectTimer_.stop();
  mosq_ = std::exchange(t->mosq, nullptr);
  everConnected_ = everConnected_ || rc == MOSQ_ERR_SUCCESS;
  const int fd = rc == MOSQ_ERR_SUCCESS ? mosquitto_socket(mosq_) : -1;
  if (fd < 0) {
    drop("broker " + options_.host + ":" + std::to_string(options_.port) + " unreachable: " +
         errorText(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_NO_CONN : rc, err));
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

// Lets go of a try still running: the worker destroys the mosquitto* when it ends.
void MqttClient::abandonTry() {
  tryWatcher_.reset();
  try_.reset();
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
    drop("connection to " + where + " lost: " + errorText(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc, errno));
  else
    drop("broker " + where + " unreachable: " + errorText(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc, errno));
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
  c->slowLookupNoted_ = false;
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
  if (!connected_ || !mosq_) return counted(false);
  const int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos, retain);
  updateWriteWatch();
  return counted(rc == MOSQ_ERR_SUCCESS);
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
  abandonTry();  // returns at once: a lookup in flight is left to its worker
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
