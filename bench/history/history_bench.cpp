// History figures: readings per second through the registry's change stream into SQLite, a
// synthetic year of 100 sensors (one reading a minute each; raw rows kept 30 days) queried at
// hourly and raw resolution with the database's size, and the status page of 1,000 devices while
// readings arrive, with and without history.
// HISTORY_BENCH_DAYS sets the synthetic period (default 365).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "history/history_recorder.h"
#include "support/fake_platform.h"
#include "web/status_page.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

constexpr std::int64_t kMin = 60'000, kDay = 1440 * kMin;

fs::path freshDir(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("quillon-history-bench-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir / "Config");
  fs::create_directories(dir / "Data");
  return dir;
}

std::string code(int i) {
  char c[16];
  std::snprintf(c, sizeof c, "S%03d", i);
  return c;
}

// Readings through DeviceRegistry::report into the recorder, one transaction a virtual second.
void BM_Ingest(benchmark::State& state) {
  const fs::path dir = freshDir("ingest");
  test::FakePlatform platform;
  core::NodeContext ctx(platform, core::AppPaths{dir.string(), ""});
  devices::DeviceRegistry registry(ctx);
  std::vector<devices::W800Device*> sensors;
  for (int i = 0; i < 100; ++i) {  // put in the table directly: discovery admits 20 new codes a minute
    auto d = std::make_shared<devices::W800Device>();
    d->setDc(code(i));
    registry.devices().insert(code(i), d);
    sensors.push_back(d.get());
  }
  history::HistoryRecorder recorder(ctx, registry);
  recorder.start();
  std::int64_t n = 0;
  for (auto _ : state) {
    for (int round = 0; round < 100; ++round) {  // 10,000 readings, 100 ms of virtual time
      for (devices::W800Device* d : sensors)
        registry.report(*d, {.type = "Temperature", .text = std::to_string(15 + (n++ / 100 % 100) / 10.0)});
      platform.time().advance(1);
    }
    platform.time().advance(99);
  }
  recorder.flush();
  state.SetItemsProcessed(n);
  recorder.stop();
  // What reached the file: one sensor's rows against the readings it was given.
  history::HistoryStore check;
  std::string error;
  std::vector<history::Point> rows;
  if (check.open(dir / "Data" / "history.sqlite", error))
    check.query(code(0), 0, std::int64_t{1} << 50, history::Step::Raw, 100'000'000, rows, error);
  state.counters["stored_share"] = static_cast<double>(rows.size()) * 100.0 / static_cast<double>(n);
  fs::remove_all(dir);
}
BENCHMARK(BM_Ingest)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The synthetic period, loaded once: written a day at a time with retention steps between days,
// as the running node would.
struct Year {
  fs::path dir = freshDir("year");
  history::HistoryStore store;
  std::int64_t end = 0;
  double loadSeconds = 0;
  Year() {
    const char* env = std::getenv("HISTORY_BENCH_DAYS");
    const int days = env ? std::atoi(env) : 365;
    std::string error;
    if (!store.open(dir / "Data" / "history.sqlite", error)) std::abort();
    const std::int64_t start = 1767225600000;  // 2026-01-01T00:00Z
    end = start + days * kDay;
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<history::Reading> batch;
    for (int day = 0; day < days; ++day) {
      for (std::int64_t m = 0; m < 1440; m += 60) {  // an hour at a time, one transaction each
        batch.clear();
        for (std::int64_t k = m; k < m + 60; ++k)
          for (int s = 0; s < 100; ++s)
            batch.push_back({code(s), start + day * kDay + k * kMin, 10.0 + s % 10 + (k % 720) / 100.0, "", "Temperature", "°C"});
        if (!store.write(batch, error)) std::abort();
      }
      const std::int64_t now = start + (day + 1) * kDay;
      for (int i = 0; i < 100 * 8; ++i)  // every device in turn, enough steps to keep up
        if (store.pruneStep(now - 30 * kDay, now - 10 * 366 * kDay, 2000, error) < 0) std::abort();
    }
    store.checkpoint();
    loadSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  ~Year() {
    store.close();
    fs::remove_all(dir);
  }
  double sizeMb() const {
    double bytes = 0;
    for (const auto& e : fs::directory_iterator(dir / "Data")) bytes += static_cast<double>(e.file_size());
    return bytes / 1e6;
  }
};
Year& year() {
  static Year y;
  return y;
}

void BM_YearHourly(benchmark::State& state) {
  Year& y = year();
  std::vector<history::Point> out;
  std::string error;
  for (auto _ : state) {
    y.store.query("S042", y.end - 366 * kDay, y.end, history::Step::Hour, 10000, out, error);
    benchmark::DoNotOptimize(out);
  }
  state.counters["rows"] = static_cast<double>(out.size());
  state.counters["db_MB"] = y.sizeMb();
  state.counters["load_s"] = y.loadSeconds;
}
BENCHMARK(BM_YearHourly)->Unit(benchmark::kMillisecond);

void BM_DayRaw(benchmark::State& state) {
  Year& y = year();
  std::vector<history::Point> out;
  std::string error;
  for (auto _ : state) {
    y.store.query("S042", y.end - kDay, y.end, history::Step::Raw, 10000, out, error);
    benchmark::DoNotOptimize(out);
  }
  state.counters["rows"] = static_cast<double>(out.size());
}
BENCHMARK(BM_DayRaw)->Unit(benchmark::kMillisecond);

// The 1,000-device status page drawn while 100 readings arrive between drawings (not timed); arg 1:
// with history recording them.
void BM_StatusPageWhileRecording(benchmark::State& state) {
  const bool withHistory = state.range(0) != 0;
  const fs::path dir = freshDir(withHistory ? "page-on" : "page-off");
  test::FakePlatform platform;
  core::NodeContext ctx(platform, core::AppPaths{dir.string(), ""});
  devices::DeviceRegistry registry(ctx);
  std::vector<devices::W800Device*> devs;
  for (int i = 0; i < 1000; ++i) {
    char c[16];
    std::snprintf(c, sizeof c, "%04X", i);
    auto d = std::make_shared<devices::W800Device>();
    d->setDc(c);
    d->setLocation("Room " + std::to_string(i % 40));
    d->setInUse(true);
    d->setDeviceType("Temperature");
    registry.devices().insert(c, d);
    devs.push_back(d.get());
  }
  history::HistoryRecorder recorder(ctx, registry);
  if (withHistory) recorder.start();
  script::TagStore tags;
  web::StatusPage page(ctx, registry, &tags, {});
  http::Request request;
  request.parsePage("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  request.flushRequest();
  int n = 0;
  for (auto _ : state) {
    // Only the drawing is timed; the readings (and the history's writes) happen between drawings.
    state.PauseTiming();
    for (int i = 0; i < 100; ++i, ++n)
      registry.report(*devs[n % 1000], {.type = "Temperature", .text = std::to_string(n % 300 / 10.0)});
    platform.time().advance(10);  // the history writes once every 100 drawings
    state.ResumeTiming();
    std::string html = page.statusPage(request, nullptr);
    benchmark::DoNotOptimize(html);
  }
  recorder.stop();
  fs::remove_all(dir);
}
BENCHMARK(BM_StatusPageWhileRecording)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
