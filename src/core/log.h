#pragma once
// The node's log: a file in the Data folder and, for event entries, an xAP event-log message.
#include <functional>
#include <source_location>
#include <string>

#include "platform/clock.h"

namespace quillon::core {

class Logger {
 public:
  // Receives an event entry for the network: time text, type, data (text plus error suffix).
  using XapSender = std::function<void(const std::string& time, const std::string& type, const std::string& data)>;

  static constexpr const char* kDebugType = "Quillon Debug";

  Logger(const platform::Clock& clock, std::string logFile);

  // Debug entries go to the file only; other entries go to the network, and to the file as well
  // when DebugLog is on. The error suffix reaches only the network copy.
  void logEvent(const std::string& type, const std::string& text, const std::string& errorSuffix = "");
  // Logs a caught failure: the suffix carries the source line and the description.
  void logError(const std::string& type, const std::string& text, const std::string& description,
                std::source_location where = std::source_location::current());
  // Appends one line to the log file unconditionally.
  void writeLogLine(const std::string& type, const std::string& text, const std::string& errorSuffix = "");

  static std::string errorSuffix(const std::string& description,
                                 std::source_location where = std::source_location::current());

  void setDebugLog(bool on) { debugLog_ = on; }
  bool debugLog() const { return debugLog_; }
  void setXapSender(XapSender sender) { xapSender_ = std::move(sender); }
  // Copies every entry to standard error, those that skip the file included.
  void setEchoToStderr(bool on) { echoToStderr_ = on; }
  const std::string& logFile() const { return logFile_; }
  // The last file write failed (disk full, folder missing); entries are lost, the node goes on.
  bool lastWriteFailed() const { return lastWriteFailed_; }

 private:
  std::string formatLine(const std::string& type, const std::string& text, const std::string& errorSuffix) const;

  const platform::Clock& clock_;
  std::string logFile_;
  bool debugLog_ = false;
  bool echoToStderr_ = false;
  bool lastWriteFailed_ = false;
  bool sending_ = false;
  XapSender xapSender_;
};

}  // namespace quillon::core
