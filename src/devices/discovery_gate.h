#pragma once
// Admission of device codes the node has never seen: a bounded rate of new records, a cap on
// the table, and for packet families whose checks random data passes easily a second sighting
// of the code before its record is made. Radio noise then cannot fill the registry.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

namespace quillon::devices {

class DiscoveryGate {
 public:
  // At most kAdmitPerWindow new records in any kWindowMs.
  static constexpr int kAdmitPerWindow = 20;
  static constexpr std::int64_t kWindowMs = 60000;
  // Discovery stops at this many records (records loaded from the file are not limited).
  static constexpr std::size_t kMaxRecords = 5000;
  // A code of a weakly checked family is admitted when seen again within this time. Sensors of
  // these families send every 30 to 90 seconds.
  static constexpr std::int64_t kConfirmWindowMs = 300000;
  // Codes waiting for their second sighting; the oldest is forgotten beyond this.
  static constexpr std::size_t kMaxCandidates = 1000;

  enum class Verdict { Admit, AwaitSecondSighting, RateLimited, TableFull };

  // The verdict for a new code; `records` is the table's size now. An admitted code counts
  // against the rate.
  Verdict check(const std::string& code, bool weakFamily, std::size_t records, std::int64_t nowMs);
  std::size_t candidates() const { return firstSeen_.size(); }
  // Replaces kAdmitPerWindow (tools and tests that replay many devices at once).
  void setAdmitPerWindow(int n) { admitPerWindow_ = n; }

 private:
  int admitPerWindow_ = kAdmitPerWindow;
  std::deque<std::int64_t> admitted_;            // admission times within the window, oldest first
  std::map<std::string, std::int64_t> firstSeen_;  // weak codes seen once -> when
  std::deque<std::pair<std::int64_t, std::string>> seenOrder_;  // the same, oldest first
};

}  // namespace quillon::devices
