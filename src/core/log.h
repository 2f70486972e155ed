#pragma once
// The node's log: a file in the Data folder and, for event entries, an xAP event-log message.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <source_location>
#include <string>

#include "platform/clock.h"

namespace quillon::core {

class Logger {
 public:
  // Receives an event entry for the network: time text, type, data (text plus error suffix).
  using XapSender = std::function<void(const std::string& time, const std::string& type, const std::string& data)>;

  static constexpr const char* kDebugType = "Quillon Debug";
  // Longest type and text of one entry. Longer ones are cut and marked, so that an event-log
  // message stays within an xAP datagram (1500 bytes with the header and the other items).
  static constexpr std::size_t kMaxTypeBytes = 100;
  static constexpr std::size_t kMaxTextBytes = 1000;
  // Entries of one kind (type and the text's leading words) pass at most kBurstPerKind times in
  // each window, and all kinds together kBurstTotal times; the rest are counted and announced in
  // one summary per kind when the window has passed.
  static constexpr int kBurstPerKind = 5;
  static constexpr int kBurstTotal = 20;
  static constexpr std::int64_t kWindowMs = 10000;
  static constexpr std::size_t kMaxKinds = 64;
  // A buffered log file is flushed at least this often (and on tick, flush and destruction).
  static constexpr std::int64_t kFlushIntervalMs = 1000;
  // The file is rotated when it reaches this size: Quillon.txt becomes Quillon.txt.1, the older
  // ones move up by one, and Quillon.txt.<kKeptFiles> is removed.
  static constexpr std::uintmax_t kMaxFileBytes = 10u * 1024 * 1024;
  static constexpr int kKeptFiles = 3;

  Logger(const platform::Clock& clock, std::string logFile);
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

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
  // The text cut to at most `limit` bytes (not inside a UTF-8 sequence), with a marker when cut.
  static std::string cutToFit(const std::string& text, std::size_t limit);

  void setDebugLog(bool on) { debugLog_ = on; }
  bool debugLog() const { return debugLog_; }
  void setXapSender(XapSender sender) { xapSender_ = std::move(sender); }
  // Copies every entry to standard error, those that skip the file included.
  void setEchoToStderr(bool on) { echoToStderr_ = on; }
  // Off (the default): every line reaches the disk when it is written. On: the file stays open and
  // lines are buffered, flushed at least once every kFlushIntervalMs.
  void setBuffered(bool on);
  // Once a second: flushes the file and sends the summaries of windows that have passed.
  void tick();
  void flush();
  const std::string& logFile() const { return logFile_; }
  // The last file write failed (disk full, folder missing); entries are lost, the node goes on.
  bool lastWriteFailed() const { return lastWriteFailed_; }
  // Entries held back by the rate limit since the start.
  std::uint64_t suppressedCount() const { return suppressedTotal_; }

 private:
  struct Kind {
    std::int64_t windowStart = 0;
    int passed = 0;
    std::uint64_t suppressed = 0;
  };
  std::string formatLine(const std::string& type, const std::string& text, const std::string& errorSuffix) const;
  // True when the entry may go out now; otherwise it is counted for its kind's summary.
  bool admit(const std::string& type, const std::string& text);
  void sendSummaries();
  void publish(const std::string& type, const std::string& text, const std::string& errorSuffix);
  bool openFile();
  void closeFile();
  void rotate();

  const platform::Clock& clock_;
  std::string logFile_;
  bool debugLog_ = false;
  bool echoToStderr_ = false;
  bool lastWriteFailed_ = false;
  bool sending_ = false;
  bool summarizing_ = false;
  bool buffered_ = false;
  XapSender xapSender_;
  std::FILE* file_ = nullptr;
  std::uintmax_t fileBytes_ = 0;
  std::int64_t lastFlushMs_ = 0;
  std::map<std::string, Kind> kinds_;
  std::int64_t totalWindowStart_ = 0;
  int totalPassed_ = 0;
  std::uint64_t suppressedTotal_ = 0;
};

}  // namespace quillon::core
