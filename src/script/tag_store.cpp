#include "script/tag_store.h"

#include "core/settings.h"
#include "util/text.h"

namespace quillon::script {

util::DateTime DeviceClass::reportedLastChange() const {
  return link ? link->lastChange : lastChange;
}

std::int32_t DeviceClass::reportedSequence() const { return link ? link->sequence : sequence; }

void TagStore::load(core::IniCache& ini) {
  tags_.clear();
  std::string section = util::removeChar(ini.getIniSection(kDevicesSection, core::kSettingsFile), '"');
  if (section.empty()) return;
  for (const std::string& line : util::split(section, std::string(1, '\0'))) {
    std::size_t eq = line.find('=');
    std::string tag = line.substr(0, eq);
    if (tag.empty() || tags_.contains(tag)) continue;
    std::vector<std::string> parts = util::split(eq == std::string::npos ? "" : line.substr(eq + 1), ";");
    auto rec = std::make_shared<DeviceClass>();
    rec->tag = tag;
    std::optional<util::DateTime> when = parts.empty() ? std::nullopt : util::parseDateTime(util::trim(parts[0]));
    rec->lastChange = when ? *when : util::DateTime{2000, 1, 1};
    for (std::size_t i = 1; i < parts.size(); ++i) {
      std::string key = util::lower(parts[i]);
      std::string value = ini.getIniSetting(kMessagesSection, tag + "." + key, "", core::kSettingsFile);
      rec->messageKeyList.push_back(key);
      rec->messageList.emplace_back(key, std::move(value));
    }
    tags_.insert(tag, std::move(rec));
  }
}

void TagStore::save(core::IniCache& ini) const {
  // Only what differs is written, so an unchanged store leaves the file alone.
  auto put = [&ini](const char* section, const std::string& key, const std::string& value) {
    const std::string kAbsent("\x01" "absent");
    if (ini.getIniSetting(section, key, kAbsent, core::kSettingsFile) != value)
      ini.saveIniSetting(section, key, value, core::kSettingsFile);
  };
  // Values of keys a record no longer has would otherwise stay in the file for ever.
  util::OrderedDict<bool> wanted{true};
  for (const auto& [tag, rec] : tags_)
    for (const auto& [key, item] : rec->messageList) wanted.insertOrAssign(tag + "." + key, true);
  bool stale = false;
  for (const std::string& key : ini.sectionKeys(kMessagesSection, core::kSettingsFile))
    if (!wanted.contains(key)) stale = true;
  if (stale) ini.clearIniSection(kMessagesSection, core::kSettingsFile);
  for (const auto& [tag, rec] : tags_) {
    std::string value = util::formatGeneral(rec->lastChange);
    for (const std::string& key : rec->messageKeyList) value += ";" + key;
    put(kDevicesSection, tag, value);
    for (const auto& [key, item] : rec->messageList) put(kMessagesSection, tag + "." + key, item);
  }
}

void TagStore::record(const std::string& tag, xap::FilteredMessage message) {
  auto* slot = tags_.find(tag);
  if (!slot) return;
  DeviceClass& rec = **slot;
  rec.messageList = std::move(message.values);
  rec.messageKeyList = std::move(message.keys);
  rec.lastChange = message.lastChange;
  rec.sequence = static_cast<std::int32_t>(message.sequence);
}

DeviceClass* TagStore::find(const std::string& tag) {
  auto* slot = tags_.find(tag);
  return slot ? slot->get() : nullptr;
}

}  // namespace quillon::script
