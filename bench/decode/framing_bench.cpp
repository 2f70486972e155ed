// Framing throughput: a mixed stream of 32- and 48-bit packets (48-bit receiver mode) delivered
// in random chunk sizes, with decoders that accept everything, so the framing alone is measured.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/node_context.h"
#include "decode/receive_processor.h"
#include "platform/offline_platform.h"

using namespace quillon;

namespace {

class AcceptAll : public decode::FamilyDecoder {
 public:
  bool decode(const decode::Packet& p, decode::DecodeContext&) override {
    bytes += p.data.size();
    return true;
  }
  std::size_t bytes = 0;
};

void BM_FramingMixedStream(benchmark::State& state) {
  platform::OfflinePlatform platform;
  core::AppPaths paths;
  paths.appFolder = (std::filesystem::temp_directory_path() / "quillon-framing-bench").string();
  core::NodeContext ctx(platform, paths);
  ctx.settings.mode = 1;
  auto decoder = std::make_shared<AcceptAll>();
  decode::DecoderRegistry registry;
  for (int f = 0; f <= static_cast<int>(decode::PacketFamily::OregonUV120); ++f) registry.add(static_cast<decode::PacketFamily>(f), decoder);
  decode::ReceiveProcessor rp(ctx, registry);

  // 32-bit X10 packets and 48-bit RFXPower packets, alternating at random.
  const std::string p32("\xA0\x20\xDF\x10\xEF", 5);
  const std::string p48("\xB0\x01\x02\x03\x04\x05\x06", 7);
  std::mt19937 rng(42);
  std::string stream;
  const int kPackets = 10000;
  for (int k = 0; k < kPackets; ++k) stream += (rng() & 1) ? p32 : p48;
  // Random chunk sizes of 1 to 64 bytes, cut once so the loop measures framing only.
  std::vector<std::string> chunks;
  for (std::size_t pos = 0; pos < stream.size();) {
    std::size_t n = std::min<std::size_t>(1 + rng() % 64, stream.size() - pos);
    chunks.push_back(stream.substr(pos, n));
    pos += n;
  }

  for (auto _ : state) {
    for (const auto& c : chunks) rp.processCommData(c, 2);
  }
  if (decoder->bytes == 0 || rp.buffered() != 0) state.SkipWithError("stream did not frame");
  state.SetItemsProcessed(state.iterations() * kPackets);
  state.counters["packets/s"] = benchmark::Counter(static_cast<double>(state.iterations() * kPackets), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FramingMixedStream)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
