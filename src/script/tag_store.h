#pragma once
// The tag store: tag name -> DeviceClass, loaded from sections Devices and Device Messages of
// "Quillon.ini", updated by the receive filters, written back at shutdown.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ini_cache.h"
#include "util/date_time.h"
#include "util/ordered_dict.h"
#include "xap/bsc_endpoint.h"

namespace quillon::script {

// One tagged record.
struct DeviceClass {
  std::int32_t sequence = 0;
  std::string tag;
  std::string value;
  // Another record whose LastChange and Sequence are reported instead of this one's.
  std::shared_ptr<DeviceClass> link;
  util::DateTime lastChange;
  // The last matching message: values keyed by "section.item", and those keys in message order.
  std::vector<std::pair<std::string, std::string>> messageList;
  std::vector<std::string> messageKeyList;

  util::DateTime reportedLastChange() const;
  std::int32_t reportedSequence() const;
};

class TagStore : public xap::FilterTagStore {
 public:
  static constexpr const char* kDevicesSection = "Devices";
  static constexpr const char* kMessagesSection = "Device Messages";

  // InitDeviceDictionary: empties the store and reads both sections.
  void load(core::IniCache& ini);
  // SaveDeviceDictionary: writes every record back (the caller flushes the cache).
  void save(core::IniCache& ini) const;

  bool hasTag(const std::string& tag) const override { return tags_.contains(tag); }
  void record(const std::string& tag, xap::FilteredMessage message) override;

  DeviceClass* find(const std::string& tag);
  // Adds a record under a new tag; false (nothing changed) when the tag is already there.
  bool add(const std::string& tag, std::shared_ptr<DeviceClass> entry) { return tags_.insert(tag, std::move(entry)); }
  const util::OrderedDict<std::shared_ptr<DeviceClass>>& tags() const { return tags_; }

 private:
  util::OrderedDict<std::shared_ptr<DeviceClass>> tags_{true};
};

}  // namespace quillon::script
