#pragma once
// Script subscriptions to xAP messages (ScriptVBS records) and the store of delivered messages
// that GetXapMessage reads, each exactly once.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillon::xap {
class XapMessage;
}

namespace quillon::script {

// One subscription: what it matches, the script it names, and its unread message handles.
class ScriptVBS {
 public:
  std::string schema, source, target, section, script;

  void addMessageHandle(const std::string& h) { handles_.push_back(h); }
  void removeMessageHandle(const std::string& h);
  std::uint16_t messageCount() const { return static_cast<std::uint16_t>(handles_.size()); }
  // Removes and returns the oldest handle; empty when there is none.
  std::string messageHandle();

  bool matches(const xap::XapMessage& m) const;

 private:
  friend class Subscriptions;
  std::deque<std::string> handles_;
  std::size_t dropped_ = 0;  // handles dropped since the script last read
};

struct StoredMessage {
  std::shared_ptr<const xap::XapMessage> message;
  std::string raw;
};

class Subscriptions {
 public:
  // Unread messages one subscription holds at most; older ones are dropped.
  static constexpr std::size_t kMaxHeld = 200;
  using Log = std::function<void(const std::string&)>;

  explicit Subscriptions(Log log = {}) : log_(std::move(log)) {}

  // scriptPath is already resolved; all five values are compared in lower case.
  void select(const std::string& target, const std::string& cls, const std::string& section,
              const std::string& source, const std::string& scriptPath);
  void deselect(const std::string& target, const std::string& cls, const std::string& section,
                const std::string& scriptPath);
  // Stores the message under a new handle for every subscription it matches.
  void deliver(const xap::XapMessage& message, const std::string& raw);
  // The oldest unread message of subscription `position` (from 1), or null.
  std::shared_ptr<const StoredMessage> take(int position);

  std::size_t size() const { return list_.size(); }
  const ScriptVBS* at(int position) const;
  std::size_t storedCount() const { return store_.size(); }

 private:
  std::vector<std::unique_ptr<ScriptVBS>> list_;
  std::unordered_map<std::string, std::shared_ptr<const StoredMessage>> store_;
  std::uint64_t nextHandle_ = 0;
  Log log_;
};

}  // namespace quillon::script
