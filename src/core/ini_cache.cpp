#include "core/ini_cache.h"

#include <fstream>
#include <system_error>

#include "util/text.h"

namespace fs = std::filesystem;

namespace quillon::core {

IniCache::IniCache(std::string configDir, LogSink log) : configDir_(std::move(configDir)), log_(std::move(log)) {}

fs::path IniCache::pathOf(const std::string& file) const {
  const std::string name = file.empty() ? std::string(kDefaultFile) : file;
  fs::path exact = fs::path(configDir_) / name;
  std::error_code ec;
  if (fs::exists(exact, ec)) return exact;
  // File names are matched without regard to letter case, as on the system the files come from.
  const fs::path wanted = exact.filename();
  for (auto it = fs::directory_iterator(exact.parent_path(), ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    if (util::iequals(it->path().filename().string(), wanted.string())) return it->path();
  return exact;
}

IniCache::Slot& IniCache::findIniFile(const std::string& file, bool forWriting) {
  const std::string name = util::lower(file.empty() ? std::string(kDefaultFile) : file);
  Slot* found = nullptr;
  for (Slot& slot : slots_)
    if (slot.name == name) found = &slot;
  const fs::path path = found ? fs::path(found->image->path()) : pathOf(file);
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    std::ofstream create(path, std::ios::binary | std::ios::app);
    if (!create && log_) log_("IniTool", " Cannot create " + path.string());
  }
  auto modified = fs::last_write_time(path, ec);
  if (ec) modified = fs::file_time_type::min();

  if (found) {
    if (modified > found->date) {
      found->date = modified;
      if (!forWriting) found->image->load(path.string());
      ++version_;
    }
    return *found;
  }
  Slot slot;
  slot.name = name;
  slot.date = modified;
  slot.image = std::make_unique<IniTool>(log_);
  slot.image->removeStaleTemporaries(path.string());
  slot.image->load(path.string());
  slots_.push_back(std::move(slot));
  ++version_;
  return slots_.back();
}

std::string IniCache::getIniSetting(const std::string& group, const std::string& key, const std::string& def,
                                    const std::string& file) {
  return findIniFile(file, false).image->read(group, key, def);
}

void IniCache::saveIniSetting(const std::string& group, const std::string& key, const std::string& value,
                              const std::string& file) {
  Slot& slot = findIniFile(file, true);
  slot.image->writeKey(group, key, value);
  slot.dirty = true;
  ++version_;
}

void IniCache::removeIniSetting(const std::string& group, const std::string& key, const std::string& file) {
  Slot& slot = findIniFile(file, true);
  slot.image->removeKey(group, key);
  slot.dirty = true;
  ++version_;
}

std::string IniCache::getIniSection(const std::string& group, const std::string& file) {
  IniTool& image = *findIniFile(file, false).image;
  std::string out;
  bool first = true;
  for (const std::string& key : image.keys(group)) {
    if (key.empty()) continue;
    if (!first) out += '\0';
    first = false;
    out += key + "=" + image.read(group, key, "");
  }
  return out;
}

std::vector<std::string> IniCache::sectionKeys(const std::string& group, const std::string& file) {
  std::vector<std::string> keys = findIniFile(file, false).image->keys(group);
  if (keys.size() == 1 && keys[0].empty()) keys.clear();
  return keys;
}

void IniCache::clearIniSection(const std::string& group, const std::string& file) {
  Slot& slot = findIniFile(file, false);
  slot.image->removeSection(group);
  slot.dirty = true;
  ++version_;
}

bool IniCache::hasDirty() const {
  for (const Slot& slot : slots_)
    if (slot.dirty) return true;
  return false;
}

bool IniCache::flushIniCache() {
  bool ok = true;
  for (Slot& slot : slots_) {
    if (!slot.dirty) continue;
    if (slot.image->save()) {
      slot.dirty = false;
    } else {
      ok = false;
    }
  }
  return ok;
}

}  // namespace quillon::core
