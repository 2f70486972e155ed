#pragma once
// What the node learns of each device over time: when it was first and last heard and how often,
// its usual reporting interval (a sensor not heard for three of them is stale), the codes the user
// ignores, and the move of a record's name and settings to the new code of a replaced sensor
// (Oregon sensors take a new code at every battery change).
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/node_context.h"
#include "core/subsystem.h"
#include "devices/device_registry.h"
#include "platform/event_loop.h"

namespace quillon::devices {

// code = first seen~last seen~count~usual interval in seconds~family hint
inline constexpr const char* kSeenSection = "W800Seen";
// code = minutes without a packet after which the device is stale, instead of the learned rule
inline constexpr const char* kStaleSection = "W800Stale";
// code pattern ("*" any run, "?" any one character, case ignored) = the date it was added
inline constexpr const char* kIgnoreSection = "W800Ignore";
// code = the older code whose identity (Home Assistant entities) the device carries
inline constexpr const char* kIdentitySection = "W800Identity";

struct Sighting {
  util::DateTime firstSeen, lastSeen;
  std::int64_t lastMonoMs = 0;  // the clock's monotonic time of lastSeen
  std::uint64_t count = 0;
  std::vector<int> gaps;  // the latest gaps between sightings in seconds, oldest first
  int intervalS = 0;      // the usual interval; 0 while unknown or irregular
};

// True when the code matches the pattern ("*", "?", letter case ignored).
bool codeMatches(std::string_view pattern, std::string_view code);
// The usual interval of a series of gaps: their median when at least two thirds of them lie
// within half and two and a half times it (a lost packet doubles a gap); 0 otherwise.
int usualInterval(const std::vector<int>& gaps);

class DeviceLifecycle final : public core::Subsystem {
 public:
  static constexpr int kCheckMs = 5000;  // how often staleness is checked (a walk of the table)
  static constexpr int kStaleIntervals = 3;  // intervals without a packet before a device is stale
  static constexpr int kMinGapS = 5;         // closer sightings are repeats of one transmission
  static constexpr std::size_t kGapsKept = 9;
  static constexpr int kMaxIntervalS = 6 * 3600;  // longer "intervals" are not a sensor's rhythm

  DeviceLifecycle(core::NodeContext& ctx, DeviceRegistry& registry);
  ~DeviceLifecycle() override;

  const char* name() const override { return "DeviceLifecycle"; }
  // Reads what earlier runs learned and the lists, and starts checking.
  void start() override;
  // Writes what was learned (first/last seen, counts, intervals).
  void save() override;
  void stop() override { checkTimer_.stop(); }

  // A script event ("Stale:<tag or code>", "Heard:<tag or code>") for the node's scripts.
  void setScriptEvent(std::function<void(const std::string&)> fn) { scriptEvent_ = std::move(fn); }
  // Told of each replacement (old code, new code) before the old record is forgotten.
  void setReplacedHook(std::function<void(const std::string&, const std::string&)> fn) { replaced_ = std::move(fn); }

  const Sighting* sighting(const std::string& code) const;
  // Seconds without a packet after which the device is stale; 0: it never is.
  int staleAfterSeconds(const W800Device& device) const;
  // Marks devices stale or fresh; logs, tells subscribers and scripts of each change.
  void checkStale();

  // Stale minutes set for a device (0: none), and setting them (0 clears).
  int staleMinutes(const std::string& code) const;
  void setStaleMinutes(const std::string& code, int minutes);

  const std::vector<std::string>& ignorePatterns() const { return ignore_; }
  bool isIgnored(const std::string& code) const;
  // Packets of ignored codes since the start, by pattern.
  std::uint64_t ignoredPackets(const std::string& pattern) const;
  // Replaces the list; records not in use that a pattern matches are forgotten. Returns notices.
  std::vector<std::string> setIgnorePatterns(const std::vector<std::string>& patterns);
  // Adds one code to the list and forgets its record. "" when done, else why not.
  std::string ignore(const std::string& code);

  // Moves name, location, options and identity from oldCode to newCode and forgets oldCode.
  // "" when done, else why not.
  std::string replace(const std::string& oldCode, const std::string& newCode);
  // The code whose identity a device carries: its own, or the code it replaced.
  std::string identityOf(const std::string& code) const;
  // True when another code now carries this code's identity.
  bool identityMoved(const std::string& code) const;

  // Counts changes of what the pages show beyond the records (lists, staleness).
  std::uint64_t revision() const { return revision_; }

 private:
  void heard(W800Device& device);
  bool admit(const std::string& code);
  void loadSeen();
  void loadLists();
  std::int64_t nowMono() const;

  core::NodeContext& ctx_;
  DeviceRegistry& registry_;
  platform::Timer checkTimer_;
  std::map<std::string, Sighting> seen_;  // by code in upper case
  std::map<std::string, int> staleMinutes_;
  std::map<std::string, std::string> identity_;  // new code -> identity it carries
  std::vector<std::string> ignore_;
  std::map<std::string, std::uint64_t> ignoredCounts_;
  std::function<void(const std::string&)> scriptEvent_;
  std::function<void(const std::string&, const std::string&)> replaced_;
  std::uint64_t revision_ = 0;
};

}  // namespace quillon::devices
