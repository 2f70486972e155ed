#pragma once
// A tag store kept in memory: the tags named in section Devices of "Quillon.ini", each holding
// the last message a receive filter recorded for it. The scripting layer's store replaces it.
#include <string>

#include "core/ini_cache.h"
#include "core/settings.h"
#include "util/ordered_dict.h"
#include "util/text.h"
#include "xap/bsc_endpoint.h"

namespace quillon::xap {

class MemoryTagStore : public FilterTagStore {
 public:
  void load(core::IniCache& ini) {
    tags_.clear();
    for (const std::string& key : ini.sectionKeys("Devices", core::kSettingsFile)) {
      std::string tag = util::removeChar(key, '"');
      if (!tag.empty() && !tags_.contains(tag)) tags_.insert(tag, FilteredMessage{});
    }
  }
  bool hasTag(const std::string& tag) const override { return tags_.contains(tag); }
  void record(const std::string& tag, FilteredMessage message) override { tags_.insertOrAssign(tag, std::move(message)); }
  const FilteredMessage* find(const std::string& tag) const { return tags_.find(tag); }

 private:
  util::OrderedDict<FilteredMessage> tags_{true};
};

}  // namespace quillon::xap
