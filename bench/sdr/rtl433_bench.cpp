// Decode rate of rtl_433 JSON lines: lines per second from text to records (and the xAP messages
// they cause) in the assembled node on the offline platform. The mix: X10 RF presses (rebuilt
// packets through the X10 decoder), Oregon thermo-hygrometers (rebuilt, checksummed, decoded),
// HomeEasy switches (rebuilt as door switch packets) and a model without a family (generic
// records), each line a new reading.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/node_assembly.h"
#include "platform/offline_platform.h"

using namespace quillon;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> mixedLines(int n) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) {
    const int unit = i % 8;  // A1..A8 on and off in turn: no two equal presses in a row
    const unsigned b1 = 0x60 | ((unit & 4) ? 0x04 : 0);
    const unsigned b3 = ((unit & 1) ? 0x10 : 0) | ((unit & 2) ? 0x08 : 0) | ((i / 8) % 2 ? 0x20 : 0);
    const unsigned data = b1 << 24 | ((~b1) & 0xFF) << 16 | b3 << 8 | ((~b3) & 0xFF);
    switch (i % 4) {
      case 0:
        lines.push_back(R"({"model":"X10-RF","id":1,"channel":"A","state":"ON","data":)" + std::to_string(data) + "}");
        break;
      case 1:
        lines.push_back(R"({"time":"1765200000.123456","protocol":12,"model":"Oregon-THGR122N","id":)" +
                        std::to_string(200 + i % 10) + R"(,"channel":1,"battery_ok":1,"temperature_C":)" +
                        std::to_string(10 + i % 150 / 10.0) + R"(,"humidity":)" + std::to_string(30 + i % 50) + "}");
        break;
      case 2:
        lines.push_back(R"({"time":"1765200000.123456","protocol":15,"model":"KlikAanKlikUit-Switch","id":19088746,"unit":)" +
                        std::to_string(i % 16) + R"(,"group_call":"No","command":")" + ((i / 4) % 2 ? "On" : "Off") +
                        R"(","dim":"No","dim_value":0})");
        break;
      default:
        lines.push_back(R"({"time":"1765200000.123456","protocol":40,"model":"Acurite-Tower","id":)" +
                        std::to_string(1000 + i % 10) + R"(,"channel":"A","battery_ok":1,"temperature_C":)" +
                        std::to_string(5 + i % 200 / 10.0) + R"(,"humidity":)" + std::to_string(20 + i % 70) +
                        R"(,"mic":"CHECKSUM"})");
    }
  }
  return lines;
}

void BM_Rtl433LinesToRecords(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / "quillon-rtl433-bench";
  fs::remove_all(dir);
  fs::create_directories(dir / "Config");
  // Argument 1: with the history database (the default), 0: without.
  std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\nHTTPPort=0\nMetric=1\nHistoryEnabled=" << state.range(0) << "\n";
  std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n";
  platform::OfflinePlatform platform;
  {
    app::NodeAssembly node(platform, core::AppPaths{dir.string(), ""});
    node.start();
    const std::vector<std::string> lines = mixedLines(3000);
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    std::int64_t now = 0;
    for (auto _ : state) {
      node.sdrReceiver().feed(text);
      now += 60000;  // past every debounce and discovery limit before the next round
      platform.advanceTo(now);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.size()));
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(state.iterations() * lines.size()), benchmark::Counter::kIsRate);
    if (node.sdrReceiver().decoder().packets() == 0) state.SkipWithError("no line made a record");
    node.shutdown();
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_Rtl433LinesToRecords)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
