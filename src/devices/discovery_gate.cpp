#include "devices/discovery_gate.h"

namespace quillon::devices {

DiscoveryGate::Verdict DiscoveryGate::check(const std::string& code, bool weakFamily, std::size_t records,
                                            std::int64_t nowMs) {
  if (records >= kMaxRecords) return Verdict::TableFull;
  // Forget first sightings that are too old to be confirmed (and the oldest beyond the cap).
  while (!seenOrder_.empty() && (nowMs - seenOrder_.front().first > kConfirmWindowMs ||
                                 seenOrder_.size() > kMaxCandidates)) {
    auto it = firstSeen_.find(seenOrder_.front().second);
    if (it != firstSeen_.end() && it->second == seenOrder_.front().first) firstSeen_.erase(it);
    seenOrder_.pop_front();
  }
  if (weakFamily) {
    auto it = firstSeen_.find(code);
    if (it == firstSeen_.end()) {
      firstSeen_.emplace(code, nowMs);
      seenOrder_.emplace_back(nowMs, code);
      return Verdict::AwaitSecondSighting;
    }
  }
  while (!admitted_.empty() && nowMs - admitted_.front() >= kWindowMs) admitted_.pop_front();
  if (admitted_.size() >= static_cast<std::size_t>(admitPerWindow_)) return Verdict::RateLimited;
  admitted_.push_back(nowMs);
  firstSeen_.erase(code);
  return Verdict::Admit;
}

}  // namespace quillon::devices
