// Device record and registry costs: properties string both ways, discovery lookups on a large
// table, discovery of a new device (which writes the settings file), and the start-up load.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "devices/device_registry.h"
#include "support/fake_platform.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

const util::DateTime kNow{2026, 12, 6, 12, 0, 0, 0};

std::string code(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", i);
  return buf;
}

// A temporary application folder whose "Quillon.ini" holds `count` device records.
struct Folder {
  explicit Folder(int count, const std::string& name) {
    dir = fs::temp_directory_path() / ("quillon-devices-bench-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir / "Config");
    fs::create_directories(dir / "Data");
    std::ofstream out(dir / "Config" / "Quillon.ini", std::ios::binary);
    out << "[W800UNITS]\r\n";
    for (int i = 0; i < count; ++i)
      out << code(i) << "=" << code(i) << "~3~Tag" << i << "~False~~06/12/2026 11:59:00~Room " << i % 40 << "~"
          << code(i) << "~False~True~False~0~~Temperature~False~4.7~\r\n";
  }
  ~Folder() { fs::remove_all(dir); }
  fs::path dir;
};

struct Node {
  explicit Node(const fs::path& dir)
      : ctx(platform, core::AppPaths{dir.string(), ""}), registry(ctx) {
    registry.loadDevices();
  }
  test::FakePlatform platform;
  core::NodeContext ctx;
  devices::DeviceRegistry registry;
};

devices::W800Device sample() {
  devices::W800Device d;
  d.setProperties("6C10_AB~2~Porch~True~~12/05/2026 14:03:11~Back Yard~6C104142~True~True~True~30~P16~Temperature~"
                  "True~4.01~door",
                  kNow);
  return d;
}

void BM_PropertiesFormat(benchmark::State& state) {
  const devices::W800Device d = sample();
  for (auto _ : state) benchmark::DoNotOptimize(d.properties());
}
BENCHMARK(BM_PropertiesFormat);

void BM_PropertiesParse(benchmark::State& state) {
  const std::string text = sample().properties();
  devices::W800Device d;
  for (auto _ : state) benchmark::DoNotOptimize(d.setProperties(text, kNow));
}
BENCHMARK(BM_PropertiesParse);

void BM_AddW800UnitKnown5000(benchmark::State& state) {
  Folder folder(5000, "known");
  Node node(folder.dir);
  int i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(node.registry.addW800Unit(code(i++ % 5000)));
}
BENCHMARK(BM_AddW800UnitKnown5000);

// Each new device is written to the file at once: the cost is a save of the whole file.
void BM_AddW800UnitNew5000(benchmark::State& state) {
  Folder folder(5000, "new");
  Node node(folder.dir);
  int i = 0x8000;
  for (auto _ : state) benchmark::DoNotOptimize(node.registry.addW800Unit(code(i++)));
}
BENCHMARK(BM_AddW800UnitNew5000)->Iterations(200)->Unit(benchmark::kMillisecond);

void BM_LoadUnits10000(benchmark::State& state) {
  Folder folder(10000, "load");
  for (auto _ : state) {
    Node node(folder.dir);
    benchmark::DoNotOptimize(node.registry.devices().size());
  }
}
BENCHMARK(BM_LoadUnits10000)->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
