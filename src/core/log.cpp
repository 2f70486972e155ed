#include "core/log.h"

#include <cmath>
#include <cstdio>

#include "util/text.h"

namespace quillon::core {

Logger::Logger(const platform::Clock& clock, std::string logFile) : clock_(clock), logFile_(std::move(logFile)) {}

std::string Logger::errorSuffix(const std::string& description, std::source_location where) {
  return " Line " + std::to_string(where.line()) + " " + description;
}

void Logger::logError(const std::string& type, const std::string& text, const std::string& description,
                      std::source_location where) {
  logEvent(type, text, errorSuffix(description, where));
}

void Logger::logEvent(const std::string& type, const std::string& text, const std::string& errorSuffix) {
  if (type == kDebugType) {
    writeLogLine(type, text);
    return;
  }
  if (debugLog_) writeLogLine(type, text);
  // Standard error (the service's journal) gets every entry, also those the file leaves out.
  else if (echoToStderr_) std::fprintf(stderr, "%s\n", formatLine(type, text, "").c_str());
  // A log entry raised while sending a log entry is not sent again.
  if (xapSender_ && !sending_) {
    sending_ = true;
    xapSender_(util::formatGeneral(clock_.now()), type, text + errorSuffix);
    sending_ = false;
  }
}

std::string Logger::formatLine(const std::string& type, const std::string& text, const std::string& errorSuffix) const {
  const util::DateTime now = clock_.now();
  const double seconds = std::floor(now.secondsSinceMidnight() * 100.0 + 0.5) / 100.0;
  return util::formatGeneral(now) + " " + util::formatNumber(seconds) + " | " + type + " " + text + " " + errorSuffix;
}

void Logger::writeLogLine(const std::string& type, const std::string& text, const std::string& errorSuffix) {
  std::string line = formatLine(type, text, errorSuffix);
  if (echoToStderr_) std::fprintf(stderr, "%s\n", line.c_str());
  std::FILE* f = std::fopen(logFile_.c_str(), "ab");
  if (!f) {
    lastWriteFailed_ = true;
    return;
  }
  line += "\r\n";
  lastWriteFailed_ = std::fwrite(line.data(), 1, line.size(), f) != line.size();
  if (std::fclose(f) != 0) lastWriteFailed_ = true;
}

}  // namespace quillon::core
