#pragma once
// One INI file loaded into a case-insensitive dictionary, answering reads and writes from memory
// and rewriting the file, sorted, on Save.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/ordered_dict.h"

namespace quillon::core {

using LogSink = std::function<void(const std::string& type, const std::string& text)>;

class IniTool {
 public:
  explicit IniTool(LogSink log = {}) : log_(std::move(log)) {}

  // Empties the image, remembers the path and reads the file when it exists.
  void load(const std::string& path);
  void dumpHashTable() {}
  // The stored value; the default when the entry is missing or empty.
  std::string read(const std::string& section, const std::string& key, const std::string& def) const;
  void writeKey(const std::string& section, const std::string& key, const std::string& value);
  void removeKey(const std::string& section, const std::string& key);
  // Removes every value of the section; the section itself stays.
  void removeSection(const std::string& section);
  std::vector<std::string> headers() const;
  // Key names of the section in insertion order; a single empty name when there are none.
  std::vector<std::string> keys(const std::string& section) const;
  void clear() { dict_.clear(); }
  // Writes the image back to the remembered file: the old file is copied to "<name>_bck", the new
  // one is written beside it under a unique name, forced to the disk and renamed over it, and the
  // folder is synced. False (and logged) when anything fails.
  bool save();
  // Removes temporary files of the file's saves that a killed writer left behind.
  void removeStaleTemporaries(const std::string& path);

  const std::string& path() const { return path_; }
  // True when the last load could not read the file (too big or unreadable); the first save then
  // keeps the original as "<name>_unread" before replacing it.
  bool loadFailed() const { return loadFailed_; }

  static constexpr char kSep = '\x03';
  static constexpr std::uintmax_t kMaxFileSize = 32u * 1024 * 1024;
  // A save's temporary file is "<name>" + kTempInfix + six random characters.
  static constexpr const char* kTempInfix = ".tmp-";

 private:
  void logLine(const std::string& text) const {
    if (log_) log_("IniTool", text);
  }

  LogSink log_;
  std::string path_;
  bool loadFailed_ = false;
  util::OrderedDict<std::string> dict_;
};

}  // namespace quillon::core
