#pragma once
// One rtl_433 JSON line into the node's records: families the serial receiver knows are rebuilt
// as its packets and go through the receive processor (same decoders, codes, xAP messages and
// debounce); any other model becomes generic records. Malformed lines are counted and logged.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "decode/families/decoders.h"

namespace quillon::sdr {

class Rtl433Decoder {
 public:
  static constexpr std::size_t kMaxLine = 64 * 1024;  // rtl_433's own lines stay under 2 KB
  static constexpr int kMaxNesting = 32;

  enum class Outcome { Packet, Generic, Repeat, Malformed, Busy };
  // Runs a rebuilt packet through the receive processor: whether a decoder took it, or nothing
  // when the processor is in the middle of another event (the line is then to be offered again).
  using PacketSink = std::function<std::optional<bool>(int bits, const std::string& bytes, std::string& detail)>;

  Rtl433Decoder(decode::DecodeEnv& env, PacketSink sink) : env_(env), sink_(std::move(sink)) {}

  // `detail` gets the line's description (as the serial receiver's description lines).
  Outcome decodeLine(std::string_view line, std::string& detail);

  std::uint64_t packets() const { return packets_; }    // lines that made or refreshed records
  std::uint64_t malformed() const { return malformed_; }

 private:
  Outcome generic(const nlohmann::json& j, std::string& detail);

  decode::DecodeEnv& env_;
  PacketSink sink_;
  std::uint64_t packets_ = 0;
  std::uint64_t malformed_ = 0;
  std::string lastKey_;  // the last generic reading, for the debounce
  std::int64_t lastAtMs_ = 0;
};

}  // namespace quillon::sdr
