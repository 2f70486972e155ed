// Status page render time against the number of devices (the time should grow linearly).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include "support/fake_platform.h"
#include "web/status_page.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

void BM_StatusPage(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const fs::path dir = fs::temp_directory_path() / ("quillon-web-bench-" + std::to_string(count));
  fs::remove_all(dir);
  fs::create_directories(dir / "Config");
  fs::create_directories(dir / "Data");
  test::FakePlatform platform;
  core::NodeContext ctx(platform, core::AppPaths{dir.string(), ""});
  devices::DeviceRegistry registry(ctx);
  for (int i = 0; i < count; ++i) {
    char code[16];
    std::snprintf(code, sizeof code, "%04X", i);
    auto d = std::make_shared<devices::W800Device>();
    d->setDc(code);
    d->setLocation("Room " + std::to_string(i % 40));
    d->setInUse(true);
    d->setDeviceType("Temperature");
    d->setTag(i % 3 ? "" : "Tag" + std::to_string(i));
    d->setShown(std::to_string(i % 60) + "&nbsp;C", "Temperature");
    d->setDeviceLastChange(util::DateTime{2026, 12, 6, 11, 0, 0});
    registry.devices().insert(code, d);
  }
  script::TagStore tags;
  web::StatusPage page(ctx, registry, &tags, {});
  http::Request request;
  request.parsePage("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  request.flushRequest();
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string html = page.statusPage(request, nullptr);
    bytes = html.size();
    benchmark::DoNotOptimize(html);
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
  state.SetComplexityN(count);
  fs::remove_all(dir);
}
BENCHMARK(BM_StatusPage)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
