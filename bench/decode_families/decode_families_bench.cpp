// Decoder throughput: a mixed stream of a house's packets (X10, security, RFXCOM, Digimax, power
// and Oregon sensors) through the family decoders, the registry and the xAP message text, with
// the sockets replaced by a recording sink. Values vary so that most packets publish an event.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "decode/families/decoders.h"
#include "xap/decode_reports_to_xap.h"
#include "platform/offline_platform.h"

using namespace quillon;

namespace {

int nib(const std::vector<int>& b, std::size_t from, std::size_t to) {
  int s = 0;
  for (std::size_t k = from; k <= to; ++k) s += (b[k - 1] >> 4) + (b[k - 1] & 15);
  return s;
}
std::string str(const std::vector<int>& b) {
  std::string s;
  for (int v : b) s.push_back(static_cast<char>(v & 0xFF));
  return s;
}
int bcd(int v) { return ((v / 10) << 4) | (v % 10); }

using Entry = std::function<void(decode::DecodeEnv&, std::string_view, std::string&)>;
struct Item {
  Entry entry;
  std::string packet;
};

std::vector<Item> stream(std::mt19937& rng) {
  using decode::OregonType;
  auto oregon = [](OregonType t) {
    return [t](decode::DecodeEnv& e, std::string_view d, std::string& s) { decodeOregon(e, t, d, s); };
  };
  auto b32 = [](decode::DecodeEnv& e, std::string_view d, std::string& s) { decode32Bit(e, d, s); };
  std::vector<Item> items;
  for (int i = 0; i < 1000; ++i) {
    const int v = static_cast<int>(rng() % 90);
    switch (i % 8) {
      case 0: {  // X10 A1 ON / OFF
        const int b3 = (i & 8) ? 0x20 : 0x00;
        items.push_back({b32, str({0x60, 0x9F, b3, b3 ^ 0xFF})});
        break;
      }
      case 1: {  // RFXCOM temperature 21D0
        const int m = 100 + v, b3 = m >> 3;
        int b4 = (m & 7) << 5;
        b4 |= (~(nib({0x21, 0xD0, b3}, 1, 3) + (b4 >> 4))) & 15;
        items.push_back({b32, str({0x21, 0xD0, b3, b4})});
        break;
      }
      case 2: {  // Oregon 1A2D thermo-hygrometer, check B
        std::vector<int> b = {0x1A, 0x2D, 0x10, 0xE5, bcd(v % 10) << 4, bcd(15 + v % 10), (v % 10) << 4, 4, 0, 0};
        b[8] = nib(b, 1, 8) - 10;
        items.push_back({oregon(OregonType::TempHum80), str(b)});
        break;
      }
      case 3: {  // Oregon CA48 thermometer, check E
        std::vector<int> b = {0xCA, 0x48, 0x10, 0x7B, (v % 10) << 4, bcd(10 + v % 10), 0, 0};
        const int x = nib(b, 1, 6) - 10;
        b[6] = (x & 15) << 4, b[7] = x >> 4;
        items.push_back({oregon(OregonType::CA48), str(b)});
        break;
      }
      case 4: {  // Oregon 5A6D thermo-hygro-barometer, check F
        std::vector<int> b = {0x5A, 0x6D, 0x10, 0x7A, 0x13, bcd(20 + v % 5), 0x30, 0x08, 150 + v % 10, 0x60, 0, 0};
        b[10] = nib(b, 1, 8) + nib(b, 9, 10) - 10;
        items.push_back({oregon(OregonType::Baro5A6D), str(b)});
        break;
      }
      case 5: {  // Oregon 1A89 anemometer, check C
        std::vector<int> b = {0x1A, 0x89, 0x00, 0x1B, (v % 16) << 4, 0, bcd(v % 10), 0x50, v % 20, 0};
        b[9] = nib(b, 1, 8) + nib(b, 9, 9) - 10;
        items.push_back({oregon(OregonType::Wind1A89), str(b)});
        break;
      }
      case 6: {  // RFXPower meter 45B5
        const int b3 = v, b4 = 0x2C;
        items.push_back({decode::decodeRfxPower48,
                         str({0x45, 0xB5, b3, b4, 0, 0x0F ^ (nib({0x45, 0xB5, b3, b4, 0}, 1, 5) & 15)})});
        break;
      }
      case 7: {  // X10 security sensor 3C33 open / closed
        const int b3 = (i & 8) ? 0x8C : 0x0C;
        items.push_back({b32, str({0x3C, 0x33, b3, b3 ^ 0xFF})});
        break;
      }
    }
  }
  return items;
}

void BM_DecodeMixedStream(benchmark::State& state) {
  platform::OfflinePlatform platform;
  core::AppPaths paths;
  paths.appFolder = (std::filesystem::temp_directory_path() / "quillon-decoders-bench").string();
  std::filesystem::create_directories(std::filesystem::path(paths.appFolder) / "Config");
  core::NodeContext ctx(platform, paths);
  ctx.settings.metric = true;
  devices::DeviceRegistry registry(ctx);
  devices::DeviceTimers timers(ctx, registry);
  xap::XapTransport transport(ctx);
  transport.setXapSource("ovk.W800.bench");
  transport.setXapUid("FF.0052:00");
  transport.setBroadcastAddress("127.0.0.1");
  transport.setInterfaceAddress("127.0.0.1");
  transport.init();
  ctx.xapReady = true;
  xap::BscEndpoint bsc(ctx, transport, registry);
  devices::OnOffReporter reporter(ctx, registry, timers, bsc);
  xap::DecodeReportsToXap reports(ctx, transport, bsc, registry);
  decode::DecodeEnv env = decode::makeDecodeContext(ctx, registry, reporter, timers, reports, nullptr, [] { return false; });
  std::mt19937 rng(42);
  const auto items = stream(rng);
  // Every record the stream touches gets a location, so its changes go out as xAP events.
  std::string detail;
  for (const auto& it : items) it.entry(env, it.packet, detail);
  for (auto& [code, d] : registry.devices()) {
    d->setLocation("House");
    d->setInUse(true);
  }
  std::size_t packets = 0;
  for (auto _ : state) {
    for (const auto& it : items) {
      detail.clear();
      it.entry(env, it.packet, detail);
    }
    packets += items.size();
    benchmark::DoNotOptimize(platform.sent.size());
    platform.sent.clear();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(packets));
  std::filesystem::remove_all(paths.appFolder);
}
BENCHMARK(BM_DecodeMixedStream)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
