#pragma once
// The cache of INI file images: one IniTool per file of the Config folder, reloaded when the file
// changes on disk, written back by FlushIniCache.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/ini_tool.h"

namespace quillon::core {

class IniCache {
 public:
  IniCache(std::string configDir, LogSink log = {});

  std::string getIniSetting(const std::string& group, const std::string& key, const std::string& def,
                            const std::string& file = "");
  void saveIniSetting(const std::string& group, const std::string& key, const std::string& value,
                      const std::string& file = "");
  // Every key of the group as key=value, the pairs joined by U+0000; empty when there are none.
  // Removes one key of a group (nothing when it is absent).
  void removeIniSetting(const std::string& group, const std::string& key, const std::string& file = "");
  std::string getIniSection(const std::string& group, const std::string& file = "");
  void clearIniSection(const std::string& group, const std::string& file = "");
  // Saves every dirty image. A file that fails to save stays dirty and the result is false.
  bool flushIniCache();
  // Some image holds changes not yet written.
  bool hasDirty() const;
  // Counts every change of the images: a key saved, a section cleared, a file reloaded from disk.
  std::uint64_t version() const { return version_; }

  // The section's key names (no empty placeholder), for callers that walk a section.
  std::vector<std::string> sectionKeys(const std::string& group, const std::string& file = "");
  std::filesystem::path pathOf(const std::string& file) const;
  const std::string& configDir() const { return configDir_; }

  static constexpr const char* kDefaultFile = "settings.ini";

 private:
  struct Slot {
    std::string name;
    std::filesystem::file_time_type date;
    bool dirty = false;
    std::unique_ptr<IniTool> image;
  };
  Slot& findIniFile(const std::string& file, bool forWriting);

  std::string configDir_;
  LogSink log_;
  std::vector<Slot> slots_;
  std::uint64_t version_ = 0;
};

}  // namespace quillon::core
