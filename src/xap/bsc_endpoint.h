#pragma once
// The node's xAP endpoint for its devices: every received message passes through readMessage
// (receive filters, BSC queries and commands, echo, time and role messages), and device states
// go out as BSC events and infos under each device's sub-address and UID.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/node_context.h"
#include "devices/device_registry.h"
#include "devices/onoff_reporter.h"
#include "platform/event_loop.h"
#include "util/date_time.h"
#include "xap/xap_transport.h"

namespace quillon::xap {

class XapMessage;

// What a receive filter stores for its tag: the message's items under "section.name", in order.
struct FilteredMessage {
  std::vector<std::pair<std::string, std::string>> values;  // "section.name" -> value
  std::vector<std::string> keys;                             // the "section.name" keys, in order
  util::DateTime lastChange;
  std::uint32_t sequence = 0;
};

// The tag store as receive filters see it. record() returns false when the store has no such tag.
class FilterTagStore {
 public:
  virtual ~FilterTagStore() = default;
  virtual bool hasTag(const std::string& tag) const = 0;
  virtual void record(const std::string& tag, FilteredMessage message) = 0;
};

// "Location.Name.Type" of a device: blanks in the location become "_" ("Unknown" when empty), the
// name is the 16-character field "RFXCOM"/"W800" padded with "_" and ending in the device code.
std::string deviceSubAddress(const devices::W800Device& device, int mode, bool lowerType = false);
std::string subAddressLocation(const devices::W800Device& device);
std::string subAddressName(const devices::W800Device& device, int mode);
// The executable's path as a role reply reports it (\\server\share\rest -> share:\rest).
std::string rolePath(const std::string& exePath);

class BscEndpoint : public devices::DevicePublisher {
 public:
  using TransmitterWriter = std::function<void(const std::string& text)>;
  using ScriptQueuer = std::function<void(const std::string& script)>;
  static constexpr int kReplyIntervalMs = 200;

  BscEndpoint(core::NodeContext& ctx, XapTransport& transport, devices::DeviceRegistry& registry);

  void setTagStore(FilterTagStore* store) { tags_ = store; }
  void setScriptQueuer(ScriptQueuer fn) { queueScript_ = std::move(fn); }
  void setTransmitterWriter(TransmitterWriter fn) { writeTransmitter_ = std::move(fn); }
  // Queues a device tag for the scripts (none until a script host is attached).
  void setTagEventQueuer(std::function<void(const std::string& tag)> fn) { queueTag_ = std::move(fn); }
  // Sees every message that parsed, before the filters (the scripts' subscriptions).
  using MessageObserver = std::function<void(const std::string& raw, const XapMessage& message)>;
  void setMessageObserver(MessageObserver fn) { observer_ = std::move(fn); }

  // Handles one received datagram; failures are logged and never escape.
  void readMessage(const std::string& raw);
  // Publishes one device ("xapbsc.event" on a change, "xapbsc.info" otherwise); unknown keys send nothing.
  void sendXapBsc(const std::string& deviceKey, const std::string& cls) override;
  void sendXapBscAs(const devices::W800Device& device, const std::string& cls, const std::string& typeWord,
                    const std::string& stateText) override;
  void sendXap(const std::string& cls, const std::string& section,
               const std::vector<std::pair<std::string, std::string>>& items) override;
  void queueTagEvent(const std::string& tag) override {
    if (queueTag_) queueTag_(tag);
  }
  void bscQuery(const std::string& target);
  void bscCommand(const std::string& target, const std::string& id, const std::string& text);

  const std::string& sunrise() const { return sunrise_; }
  const std::string& sunset() const { return sunset_; }
  std::uint32_t tagSequence() const { return tagSequence_; }
  std::uint32_t nextTagSequence() { return ++tagSequence_; }
  std::size_t queuedReplies() const { return queue_.size(); }
  // Received datagrams that had parse errors, since the start.
  std::uint64_t parseFailures() const { return parseFailures_; }

 private:
  struct Reply {
    std::string cls, section, body, subAddress, uid;
  };
  void applyFilters(const XapMessage& m);
  void sendReply(const Reply& r);
  void onReplyTimer();

  core::NodeContext& ctx_;
  XapTransport& transport_;
  devices::DeviceRegistry& registry_;
  FilterTagStore* tags_ = nullptr;
  ScriptQueuer queueScript_;
  TransmitterWriter writeTransmitter_;
  std::function<void(const std::string&)> queueTag_;
  MessageObserver observer_;
  platform::Timer replyTimer_;
  std::deque<Reply> queue_;
  // The replies waiting in queue_ by endpoint (a deque keeps their addresses while it grows at
  // the back and shrinks at the front).
  std::unordered_map<std::string, Reply*> queued_;
  static std::string replyKey(const Reply& r) { return r.uid + '\n' + r.subAddress; }
  std::string sunrise_, sunset_;
  std::uint32_t tagSequence_ = 0;
  std::uint64_t parseFailures_ = 0;
};

}  // namespace quillon::xap
