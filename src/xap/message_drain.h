#pragma once
// Takes every received xAP message to a handler. A handler that lets events run can cause a
// nested notification: that call returns at once, and the outer drain takes what arrived
// meanwhile. A handler's failure is logged and the next message still runs.
#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "core/node_context.h"

namespace quillon::xap {

class MessageDrain {
 public:
  using Next = std::function<std::string()>;  // empty when the queue is empty
  using Handler = std::function<void(const std::string&)>;

  MessageDrain(core::NodeContext& ctx, Next next, Handler handle)
      : ctx_(ctx), next_(std::move(next)), handle_(std::move(handle)) {}

  void run() {
    if (inDrain_) return;
    inDrain_ = true;
    for (std::string m = next_(); !m.empty(); m = next_()) {
      try {
        handle_(m);
      } catch (const std::exception& e) {
        ctx_.log.writeLogLine("Quillon", "Main OnMessage", core::Logger::errorSuffix(e.what()));
      } catch (...) {
        ctx_.log.writeLogLine("Quillon", "Main OnMessage", core::Logger::errorSuffix("unknown error"));
      }
    }
    inDrain_ = false;
  }

 private:
  core::NodeContext& ctx_;
  Next next_;
  Handler handle_;
  bool inDrain_ = false;
};

}  // namespace quillon::xap
