#pragma once
// The node's running counts since start-up, shown on /metrics: packets by family, decode errors,
// xAP and MQTT messages, HTTP answers by status, script runs. Each count is one relaxed atomic add
// where it happens: cheap on the receive path, and still right should a count come from a thread.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace quillon::core {

class Count {
 public:
  void add() { value_.fetch_add(1, std::memory_order_relaxed); }
  std::uint64_t value() const { return value_.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::uint64_t> value_{0};
};

struct Counters {
  static constexpr std::size_t kPacketFamilies = 32;  // slots by decode::PacketFamily
  static constexpr int kMaxStatus = 599;

  std::array<Count, kPacketFamilies> packets;  // packets a family's decoder took
  Count decodeErrors;  // packets that failed their checks, had no known length, or whose decoder failed
  Count xapSent, xapReceived;
  Count mqttPublished, mqttFailed;
  Count scriptRuns, scriptErrors;  // procedures run; syntax and run-time errors
  std::array<Count, kMaxStatus + 1> httpAnswers;  // by status; slot 0 holds any status out of range

  void packet(std::size_t family) {
    if (family < kPacketFamilies) packets[family].add();
  }
  void httpAnswer(int status) { httpAnswers[status >= 100 && status <= kMaxStatus ? status : 0].add(); }
};

}  // namespace quillon::core
