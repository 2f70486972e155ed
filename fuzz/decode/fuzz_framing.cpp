// Drives the receive processor with random chunks. Input: one byte of options (bit 0: 48-bit
// mode, bit 1: the first chunk answers the mode command), then records of a length byte and that
// many bytes. A length byte of 0 lets 2.5 s of virtual time pass (the receive time-out fires).
// Decoders accept or reject by a hash of the packet; some throw, some deliver bytes re-entrantly.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/node_context.h"
#include "decode/receive_processor.h"
#include "support/fake_platform.h"

using namespace quillon;

namespace {

std::uint32_t fnv(std::string_view s) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

decode::ReceiveProcessor* current = nullptr;
int nestedLeft = 0;  // re-entrant deliveries left for this input (a real receiver is not an echo of the decoder)

class HashDecoder : public decode::FamilyDecoder {
 public:
  bool decode(const decode::Packet& p, decode::DecodeContext& ctx) override {
    if (p.data.empty() && p.bits > 8) __builtin_trap();  // a framed packet always has data bytes
    std::uint32_t h = fnv(p.data);
    ctx.packetDetail() += " | hash";
    if (h % 29 == 0) throw std::runtime_error("decoder failure");
    if (h % 31 == 0 && current && nestedLeft > 0) {
      --nestedLeft;
      if (!current->busy()) __builtin_trap();  // decoders run inside the receive guard
      current->processCommData(std::string(p.data.substr(0, p.data.size() / 2)), 2);
    }
    return h & 1;
  }
};

struct World {
  World() : ctx(platform, paths()) {
    auto d = std::make_shared<HashDecoder>();
    for (int f = 0; f <= static_cast<int>(decode::PacketFamily::OregonUV120); ++f)
      registry.add(static_cast<decode::PacketFamily>(f), d);
  }
  static core::AppPaths paths() {
    core::AppPaths p;
    p.appFolder = (std::filesystem::temp_directory_path() / "quillon-fuzz-framing").string();
    return p;
  }
  test::FakePlatform platform;
  core::NodeContext ctx;
  decode::DecoderRegistry registry;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;  // the log file is not written: DebugLog is off and no xAP sender is set
  if (size == 0) return 0;
  world.ctx.settings.mode = data[0] & 1;
  decode::ReceiveProcessor rp(world.ctx, world.registry);
  current = &rp;
  nestedLeft = 8;
  std::size_t echoes = 0;
  rp.setEchoSink([&](const std::string&) { ++echoes; });
  if (data[0] & 2) rp.expectModeAnswer();
  std::size_t pos = 1, calls = 0;
  while (pos < size) {
    std::size_t len = data[pos++];
    if (len == 0) {
      world.platform.time().advance(2500);
      if (rp.buffered() != 0) __builtin_trap();
      continue;
    }
    len = std::min(len, size - pos);
    rp.processCommData(std::string(reinterpret_cast<const char*>(data + pos), len), 2);
    pos += len;
    ++calls;
    if (rp.busy()) __builtin_trap();
    // After a call everything that can frame has been framed: at most one partial packet is left.
    if (rp.buffered() > (world.ctx.settings.mode == 1 ? 16u : 3u)) __builtin_trap();
  }
  if (echoes > calls) __builtin_trap();
  current = nullptr;
  return 0;
}
