#pragma once
// All device records the node knows, keyed by device code, with the index of records by tag and
// the list of records that own an auto-off timer. Loaded from section W800Units of "Quillon.ini"
// at start-up, extended by discovery, written back at shutdown.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/node_context.h"
#include "core/subsystem.h"
#include "devices/discovery_gate.h"
#include "devices/w800_device.h"
#include "platform/event_loop.h"
#include "util/ordered_dict.h"

namespace quillon::devices {

using DevicePtr = std::shared_ptr<W800Device>;
// Device code -> record, in insertion order. Codes are compared without regard to letter case,
// as the settings file compares its keys, so two spellings of a code can never be two records
// that overwrite each other's line in the file.
using DeviceTable = util::OrderedDict<DevicePtr>;
// Tag -> record (ignoring case), for every non-empty tag; a shared tag belongs to the first record.
using TagTable = util::OrderedDict<DevicePtr>;

inline constexpr const char* kUnitsSection = "W800Units";
// Each record's last value text, beside the records (whose stored form has no field for it), so
// that a restart does not turn every sensor's value unknown.
inline constexpr const char* kValuesSection = "W800Values";

// How well a packet family's checks keep random data out; a weakly checked family's new codes
// need a second sighting before they become records.
enum class FamilyChecks { Strong, Weak };

// One change of the registry, numbered by the registry's version after it. The record reference
// is valid during the call; a listener that keeps the change copies what it needs.
// Added, Changed (its state), Repeated (heard again in the same state), Edited (the user's options), Removed (marked removed), Forgotten
// (gone from the table: ignored or replaced), Availability (it turned stale or was heard again).
struct DeviceChange {
  enum class Kind { Added, Changed, Repeated, Edited, Removed, Forgotten, Availability };
  Kind kind;
  std::uint64_t version;
  const W800Device& device;
  DeviceState before;  // equal to `after` for Added, Edited and Removed
  DeviceState after;
};

// What a decoder or timer read of a device; fields left empty keep their value.
struct DeviceReading {
  std::optional<std::int16_t> status = {};
  std::optional<std::string> type = {};
  std::optional<std::string> text = {};
  std::optional<std::string> shown = {};    // the state as a page shows it
  std::optional<std::string> picture = {};  // the picture kind for it; with `shown`, default the type
  std::optional<std::string> shownAsIs = {};  // a script's own display text instead
  bool stamp = false;                  // the last-change time becomes now
};

// A stored records section as the records read it: "\\", "\"" and "\[" stand for the character
// after the backslash; other double quotes (older files quote whole values) are dropped.
std::string unescapeStored(std::string_view text);

class DeviceRegistry final : public core::Subsystem {
 public:
  using ChangeListener = std::function<void(const DeviceChange&)>;
  // Called when a loaded record gets auto-off timer `index` (entry `index` of offTimerDevices).
  using OffTimerHook = std::function<void(int index, W800Device& device)>;
  // Asked before a code is looked up or added: false drops the packet (an ignored code).
  using AdmissionHook = std::function<bool(const std::string& code)>;
  // Told of every sighting of a known code (each packet a decoder registered).
  using HeardHook = std::function<void(W800Device& device)>;

  explicit DeviceRegistry(core::NodeContext& ctx);

  // Changes to the settings file that arrive within this time are written in one flush.
  static constexpr int kFlushDelayMs = 1000;

  // Finds or (with discovery on) creates the record of a device code; true when it now exists.
  // New codes are admitted by the discovery gate; one held back is counted and logged, and the
  // result is false.
  bool addW800Unit(const std::string& code, FamilyChecks checks = FamilyChecks::Strong);
  // Applies a reading to a record; when the record's state changed, every subscriber hears of
  // it (old and new). True when it changed.
  bool report(W800Device& device, const DeviceReading& reading);
  void setAdmissionHook(AdmissionHook hook) { admission_ = std::move(hook); }
  void setHeardHook(HeardHook hook) { heard_ = std::move(hook); }
  // Drops a record from the table and the settings file; subscribers hear Forgotten first.
  bool forget(const std::string& code);
  // Tells subscribers that a record turned stale or was heard again (its flag already set).
  void availabilityChanged(const W800Device& device);
  // The user edited a record's options (the status page's post); `before` is its state before the
  // edit, `removed` tells that the edit marked it removed.
  void edited(const W800Device& device, const DeviceState& before, bool removed = false);
  // Subscribers hear of changes from now on, in the order they subscribed; the id unsubscribes.
  int subscribe(ChangeListener listener);
  void unsubscribe(int id);
  // Counts every change announced since the start.
  std::uint64_t version() const { return version_; }
  // Counts every reading handed in, changing the state or not (a repeated state still moves its
  // time of change), and every announced change: what a drawn page of the records depends on.
  std::uint64_t revision() const { return revision_; }

  // New codes held back by the discovery gate since the start.
  std::uint64_t heldBack() const { return heldBack_; }
  DiscoveryGate& discoveryGate() { return gate_; }
  // Writes pending changes of the settings files now (the coalescing timer's work).
  void flushNow();
  // DeviceTable(code): the record or nullptr.
  W800Device* device(const std::string& code);
  DevicePtr devicePtr(const std::string& code);
  const DeviceTable& devices() const { return devices_; }
  DeviceTable& devices() { return devices_; }

  // Rebuilds the tag index from the device table (first record keeps a shared tag; logged).
  void buildTagDictionary();
  const TagTable& tags() const { return tags_; }
  // The record a tag names. A tag that several records share gives the first of them and is
  // logged (once per index build), so a caller never gets an arbitrary one unnoticed.
  W800Device* findByTag(const std::string& tag);
  bool tagIsShared(const std::string& tag) const;

  // Start-up: every record of section W800Units, then the tag index.
  void loadDevices();
  const char* name() const override { return "SaveLastChange"; }
  void start() override { loadDevices(); }
  void save() override { saveLastChange(); }
  void initIniSection(const std::string& section, const std::string& file);
  void setIniSectionValue(const std::string& section, const std::string& index, const std::string& key,
                          const std::string& value);
  // Writes every record back to section W800Units (the caller flushes the cache).
  void saveLastChange();

  // Records with an auto-off timer; entry i (from 1) is the record whose TimerIndex is i.
  const std::vector<DevicePtr>& offTimerDevices() const { return offTimerDevices_; }
  W800Device* offTimerDevice(int index);
  int offTimerCount() const { return offTimerCount_; }
  // Gives the record the next timer index and appends it to the list; 0 when none is left.
  int allocateOffTimer(const DevicePtr& device);
  void setOffTimerHook(OffTimerHook hook) { offTimerHook_ = std::move(hook); }

  // The device's part of its xAP UID, derived from its code.
  static std::string deviceUidSuffix(const std::string& code);
  // The device's full xAP UID: the node UID without its last two characters, then the device's
  // uID or "00".
  std::string deviceXapUid(const W800Device& device) const;

 private:
  std::string codeProblem(const std::string& code) const;
  void rebuildTagsIfStale();

  void scheduleFlush();
  void announce(DeviceChange::Kind kind, const W800Device& device, const DeviceState& before);

  core::NodeContext& ctx_;
  DiscoveryGate gate_;
  platform::Timer flushTimer_;
  std::uint64_t heldBack_ = 0;
  DeviceTable devices_{true};
  TagTable tags_{true};
  // Tags that more than one record carries -> whether a lookup has been logged since the build.
  util::OrderedDict<bool> sharedTags_{true};
  std::vector<DevicePtr> offTimerDevices_;
  std::int16_t offTimerCount_ = 0;
  OffTimerHook offTimerHook_;
  AdmissionHook admission_;
  HeardHook heard_;
  std::vector<std::pair<int, ChangeListener>> listeners_;
  int nextListenerId_ = 1;
  std::uint64_t version_ = 0;
  std::uint64_t revision_ = 0;
  // What the tag index was built from: the tag epoch and the table size at the last build.
  std::uint64_t builtTagEpoch_ = ~std::uint64_t{0};
  std::size_t builtTableSize_ = 0;
};

}  // namespace quillon::devices
