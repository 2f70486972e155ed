#pragma once
// Watches a socket descriptor that a library owns (for example an MQTT client's) from the event
// loop: the handlers run on the loop's thread when the socket can be read or written.
#include <functional>

namespace quillon::platform {

class SocketWatcher {
 public:
  virtual ~SocketWatcher() = default;
  // Readability is always watched; writability only while asked for (a socket is nearly always
  // writable, so watching it all the time would spin the loop).
  virtual void setWriteWatch(bool on) = 0;
  // Readability is watched from creation; a descriptor about to be closed stops being watched.
  virtual void setReadWatch(bool on) = 0;

  void onReadable(std::function<void()> fn) { readable_ = std::move(fn); }
  void onWritable(std::function<void()> fn) { writable_ = std::move(fn); }

 protected:
  std::function<void()> readable_;
  std::function<void()> writable_;
};

}  // namespace quillon::platform
