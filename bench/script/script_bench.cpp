// The script host of an assembled node on the offline platform (virtual time, no sockets):
//  - one decoded X10 packet up to Main of the main script having run for the device's tag,
//    against the same packet for a device without a tag (nothing queued), so the difference is
//    what the host adds per event;
//  - one drain of a long queue of event texts, each running Main once.
// Main counts its runs in the script's n; Runs() reads it back (the main script is a private
// module, so n is not visible to a global eval) to check that every event ran.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/node_assembly.h"
#include "convert.h"
#include "platform/offline_platform.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

const char* kCountingScript =
    "Dim n\r\n"
    "n = 0\r\n"
    "Sub Main(t)\r\n"
    "  n = n + 1\r\n"
    "End Sub\r\n"
    "Function Runs()\r\n"
    "  Runs = n\r\n"
    "End Function\r\n";

// X10 A1 ON and OFF in 48-bit mode: the count byte, then the four data bytes.
const std::string kA1On("\x20\x60\x9F\x00\xFF", 5);
const std::string kA1Off("\x20\x60\x9F\x20\xDF", 5);

// An application folder with device A1 (tagged "HallLight" when tagged) and the counting script.
fs::path makeAppFolder(const std::string& name, bool tagged) {
  fs::path dir = fs::temp_directory_path() / name;
  fs::remove_all(dir);
  fs::create_directories(dir / "Config");
  fs::create_directories(dir / "Scripts");
  std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n"
                                                  "StartHub=0\n";
  std::ofstream(dir / "Config" / "Quillon.ini")
      << "[W800]\nMode=1\nMetric=1\nDebugLog=0\nDebounceInterval=200\n[W800Units]\n"
      << "A1=A1~0~" << (tagged ? "HallLight" : "") << "~False~~~Hall~~False~False~True~0~~~False~4.7~\n";
  std::ofstream(dir / "Scripts" / "Quillon.txt") << kCountingScript;
  return dir;
}

// A started node on virtual time, its receiver's mode answer already given.
struct BenchNode {
  BenchNode(const std::string& name, bool tagged)
      : dir(makeAppFolder(name, tagged)),
        owner(std::make_unique<app::NodeAssembly>(platform, core::AppPaths{dir.string(), ""})),
        assembly(*owner) {
    assembly.start();
    assembly.receiveProcessor().processCommData("\x2C", 2);
    advance(1000);
  }
  // The node saves its records on shutdown: the folder goes only after it.
  ~BenchNode() {
    owner.reset();
    fs::remove_all(dir);
  }
  void advance(std::int64_t ms) { platform.advanceTo(now += ms); }
  // The script's run count, or -1 when it cannot be read.
  double runs() {
    vbs::Variant v;
    std::vector<vbs::Variant> args;
    if (!assembly.scripts().engine().runIn(script::kMainModule, "Runs", args, &v)) return -1;
    try {
      return vbs::toDouble(v);
    } catch (...) {
      return -1;
    }
  }

  fs::path dir;
  platform::OfflinePlatform platform;
  std::unique_ptr<app::NodeAssembly> owner;
  app::NodeAssembly& assembly;
  std::int64_t now = 0;
};

// Feeds A1 ON and OFF in turn (each a new event, so none is debounced) and moves time by the
// host's start delay, so a queued tag runs Main before the next packet. The datagrams are counted
// outside the timing: every packet must publish one xap-x10.event.
void packetLoop(benchmark::State& state, bool tagged, const char* name) {
  BenchNode node(name, tagged);
  if (!node.assembly.scripts().hasMainScript()) {
    state.SkipWithError("the main script did not load");
    return;
  }
  auto& rx = node.assembly.receiveProcessor();
  auto& sent = node.platform.sent;
  sent.clear();
  std::int64_t events = 0, i = 0;
  auto countEvents = [&] {
    for (const auto& d : sent) events += d.find("xap-x10.event") != std::string::npos;
    sent.clear();
  };
  for (auto _ : state) {
    rx.processCommData((i++ & 1) ? kA1Off : kA1On, 2);
    node.advance(script::ScriptHost::kStartDelayMs);
    if (sent.size() >= 1024) {
      state.PauseTiming();
      countEvents();
      state.ResumeTiming();
    }
  }
  countEvents();
  const auto n = static_cast<double>(state.iterations());
  if (events != state.iterations()) state.SkipWithError("not every packet published an X10 event");
  else if (node.runs() != (tagged ? n : 0)) state.SkipWithError("Main did not run once per tagged packet");
  else if (node.assembly.scripts().queueLength() != 0) state.SkipWithError("texts left in the queue");
  state.SetItemsProcessed(state.iterations());
}

void BM_PacketToMain(benchmark::State& state) { packetLoop(state, true, "quillon-bench-script-tag"); }
BENCHMARK(BM_PacketToMain)->Unit(benchmark::kMicrosecond);

void BM_PacketNoScript(benchmark::State& state) { packetLoop(state, false, "quillon-bench-script-notag"); }
BENCHMARK(BM_PacketNoScript)->Unit(benchmark::kMicrosecond);

// Queues a burst of texts and lets the one drain that follows run Main for each of them.
void BM_DrainBurst(benchmark::State& state) {
  constexpr int kBurst = 10000;
  BenchNode node("quillon-bench-script-burst", false);
  auto& host = node.assembly.scripts();
  if (!host.hasMainScript()) {
    state.SkipWithError("the main script did not load");
    return;
  }
  for (auto _ : state) {
    for (int k = 0; k < kBurst; ++k) host.queueTagEvent("x");
    node.advance(script::ScriptHost::kStartDelayMs);
  }
  const double expected = static_cast<double>(state.iterations()) * kBurst;
  if (host.queueLength() != 0) state.SkipWithError("texts left in the queue");
  else if (node.runs() != expected) state.SkipWithError("Main did not run once per queued text");
  state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_DrainBurst)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
