#include "core/log.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "util/text.h"

namespace quillon::core {

namespace {

// The part of a text that names its kind: its leading words, up to the first figure, quote,
// bracket or separator, where the varying part of a message usually begins.
std::string kindPrefix(const std::string& text) {
  std::size_t end = 0;
  // A leading tag ("MQTT: ") names the subsystem, not the kind: the words after it count too, so
  // that its connection lines are never merged with its command lines.
  if (const std::size_t colon = text.find(": "); colon != std::string::npos && colon > 0 && colon <= 12 &&
      std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon),
                  [](char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == ' '; }))
    end = colon + 2;
  while (end < text.size() && end < 40) {
    const char c = text[end];
    if ((c >= '0' && c <= '9') || c == ':' || c == '=' || c == ',' || c == '\'' || c == '"' || c == '(' || c == '[')
      break;
    ++end;
  }
  return util::trim(text.substr(0, end));
}

}  // namespace

Logger::Logger(const platform::Clock& clock, std::string logFile) : clock_(clock), logFile_(std::move(logFile)) {
  lastFlushMs_ = clock_.monotonicMs();
}

Logger::~Logger() { closeFile(); }

std::string Logger::errorSuffix(const std::string& description, std::source_location where) {
  return " Line " + std::to_string(where.line()) + " " + description;
}

std::string Logger::cutToFit(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  const std::string marker = " ...[cut from " + std::to_string(text.size()) + " bytes]";
  std::size_t keep = limit > marker.size() ? limit - marker.size() : 0;
  // Not inside a UTF-8 sequence: step back over continuation bytes.
  while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;
  return text.substr(0, keep) + marker;
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
  if (!admit(type, text)) return;
  publish(type, text, errorSuffix);
}

void Logger::publish(const std::string& type, const std::string& text, const std::string& errorSuffix) {
  const std::string shownType = cutToFit(type, kMaxTypeBytes);
  if (debugLog_) writeLogLine(shownType, text);
  // Standard error (the service's journal) gets every entry, also those the file leaves out.
  else if (echoToStderr_) std::fprintf(stderr, "%s\n", formatLine(shownType, cutToFit(text, kMaxTextBytes), "").c_str());
  // A log entry raised while sending a log entry is not sent again.
  if (xapSender_ && !sending_) {
    sending_ = true;
    xapSender_(util::formatGeneral(clock_.now()), shownType, cutToFit(text + errorSuffix, kMaxTextBytes));
    sending_ = false;
  }
}

bool Logger::admit(const std::string& type, const std::string& text) {
  const std::int64_t now = clock_.monotonicMs();
  sendSummaries();
  if (now - totalWindowStart_ >= kWindowMs) {
    totalWindowStart_ = now;
    totalPassed_ = 0;
  }
  std::string prefix = kindPrefix(text);
  std::string key = type + '\x1F' + prefix;
  auto it = kinds_.find(key);
  if (it == kinds_.end()) {
    // Past the table's size, all new kinds share one entry.
    if (kinds_.size() >= kMaxKinds) {
      key = std::string("Quillon") + '\x1F' + "Entries of other kinds";
      it = kinds_.find(key);
    }
    if (it == kinds_.end()) it = kinds_.emplace(key, Kind{now, 0, 0}).first;
  }
  Kind& kind = it->second;
  if (kind.passed < kBurstPerKind && totalPassed_ < kBurstTotal) {
    ++kind.passed;
    ++totalPassed_;
    return true;
  }
  ++kind.suppressed;
  ++suppressedTotal_;
  return false;
}

void Logger::sendSummaries() {
  // An entry logged while a summary goes out (a failed send) does not walk the table again.
  if (summarizing_) return;
  summarizing_ = true;
  const std::int64_t now = clock_.monotonicMs();
  for (auto it = kinds_.begin(); it != kinds_.end();) {
    Kind& kind = it->second;
    if (now - kind.windowStart < kWindowMs) {
      ++it;
      continue;
    }
    if (kind.suppressed == 0) {
      it = kinds_.erase(it);  // a quiet kind starts afresh when it comes back
      continue;
    }
    const std::size_t sep = it->first.find('\x1F');
    const std::string type = it->first.substr(0, sep);
    const std::string prefix = it->first.substr(sep + 1);
    const std::string text = (prefix.empty() ? std::string("Entries") : prefix) + " ... repeated " +
                             std::to_string(kind.suppressed) + " times in " +
                             std::to_string((now - kind.windowStart + 500) / 1000) + " s";
    kind = Kind{now, 0, 0};
    // The summary itself always reaches the file, so that the file tells what was held back.
    if (!debugLog_) writeLogLine(type, text);
    publish(type, text, "");
    ++it;
  }
  summarizing_ = false;
}

std::string Logger::formatLine(const std::string& type, const std::string& text, const std::string& errorSuffix) const {
  const util::DateTime now = clock_.now();
  const double seconds = std::floor(now.secondsSinceMidnight() * 100.0 + 0.5) / 100.0;
  return util::formatGeneral(now) + " " + util::formatNumber(seconds) + " | " + type + " " + text + " " + errorSuffix;
}

void Logger::setBuffered(bool on) {
  if (on == buffered_) return;
  closeFile();  // reopened with the new buffering at the next line
  buffered_ = on;
}

bool Logger::openFile() {
  file_ = std::fopen(logFile_.c_str(), "ab");
  if (!file_) return false;
  if (buffered_) std::setvbuf(file_, nullptr, _IOFBF, 64 * 1024);
  std::fseek(file_, 0, SEEK_END);
  const long at = std::ftell(file_);
  fileBytes_ = at > 0 ? static_cast<std::uintmax_t>(at) : 0;
  return true;
}

void Logger::closeFile() {
  if (!file_) return;
  if (std::fclose(file_) != 0) lastWriteFailed_ = true;
  file_ = nullptr;
}

void Logger::flush() {
  lastFlushMs_ = clock_.monotonicMs();
  if (file_ && std::fflush(file_) != 0) lastWriteFailed_ = true;
}

void Logger::tick() {
  sendSummaries();
  flush();
}

void Logger::rotate() {
  closeFile();
  for (int i = kKeptFiles - 1; i >= 1; --i)
    std::rename((logFile_ + "." + std::to_string(i)).c_str(), (logFile_ + "." + std::to_string(i + 1)).c_str());
  if (std::rename(logFile_.c_str(), (logFile_ + ".1").c_str()) != 0) lastWriteFailed_ = true;
}

void Logger::writeLogLine(const std::string& type, const std::string& text, const std::string& errorSuffix) {
  std::string line =
      formatLine(cutToFit(type, kMaxTypeBytes), cutToFit(text, kMaxTextBytes), cutToFit(errorSuffix, kMaxTextBytes));
  if (echoToStderr_) std::fprintf(stderr, "%s\n", line.c_str());
  if (!file_ && !openFile()) {
    lastWriteFailed_ = true;
    return;
  }
  line += "\r\n";
  bool ok = std::fwrite(line.data(), 1, line.size(), file_) == line.size();
  fileBytes_ += line.size();
  const std::int64_t now = clock_.monotonicMs();
  if (!buffered_ || now - lastFlushMs_ >= kFlushIntervalMs) {
    ok = std::fflush(file_) == 0 && ok;
    lastFlushMs_ = now;
  }
  lastWriteFailed_ = !ok;
  if (fileBytes_ >= kMaxFileBytes) rotate();
}

}  // namespace quillon::core
