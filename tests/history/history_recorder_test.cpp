// The history subsystem on virtual time with a real database: what a device change adds, one
// write a second, the export's answers, and a database that fails without stopping the node.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "core/node.h"
#include "history/history_export.h"
#include "history/history_recorder.h"
#include "history/local_time.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

class RecorderTest : public ::testing::Test {
 protected:
  RecorderTest() : dir(test::freshTestFolder("quillon-history")) {
    fs::create_directories(dir / "Data");
    std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\nMetric=1\n";
  }
  ~RecorderTest() override {
    if (node) node->shutdown();
    fs::remove_all(dir);
  }
  void start() {
    ctx = std::make_unique<core::NodeContext>(platform, core::AppPaths{dir.string(), ""});
    ctx->log.setXapSender([this](const std::string&, const std::string&, const std::string& t) { logs.push_back(t); });
    registry = std::make_unique<devices::DeviceRegistry>(*ctx);
    recorder = std::make_unique<history::HistoryRecorder>(*ctx, *registry);
    node = std::make_unique<core::Node>(*ctx);
    node->setSubsystems({&node->settingsStep(), registry.get(), recorder.get()});
    ASSERT_TRUE(node->start());
  }
  devices::W800Device& device(const std::string& code) {
    registry->addW800Unit(code);
    return *registry->device(code);
  }
  // Rows as another reader of the file sees them.
  std::vector<history::Point> stored(const std::string& code) {
    history::HistoryStore reader;
    std::string error;
    std::vector<history::Point> rows;
    if (!reader.open(dir / "Data" / "history.sqlite", error)) return rows;
    const std::int64_t now = history::utcMsOfLocal(ctx->now());
    reader.query(code, now - 86400000, now + 1000, history::Step::Raw, 1000, rows, error);
    return rows;
  }
  int logged(const std::string& text) const {
    int n = 0;
    for (const std::string& l : logs) n += l.find(text) != std::string::npos;
    return n;
  }
  history::ExportAnswer ask(std::map<std::string, std::string> params, const std::string& accept = "") {
    return history::historyExport(
        *recorder, [&](std::string_view k) { auto it = params.find(std::string(k)); return it == params.end() ? "" : it->second; },
        accept, history::utcMsOfLocal(ctx->now()));
  }

  test::FakePlatform platform;
  fs::path dir;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<devices::DeviceRegistry> registry;
  std::unique_ptr<history::HistoryRecorder> recorder;
  std::unique_ptr<core::Node> node;
  std::vector<std::string> logs;
};

TEST_F(RecorderTest, KeepsReadingsAndStateChangesWrittenOnceASecond) {
  start();
  devices::W800Device& t = device("21D0");
  registry->report(t, {.type = "Temperature", .text = "21.5"});
  registry->report(t, {.text = "21.5", .stamp = true});  // heard again: a reading
  registry->report(t, {.text = "22"});
  devices::W800Device& sw = device("A1");
  registry->report(sw, {.status = devices::kDeviceStatusOn, .type = "Motion", .text = "ON"});
  registry->report(sw, {.status = devices::kDeviceStatusOn, .text = "ON", .stamp = true});  // no change
  registry->report(sw, {.status = devices::kDeviceStatusOff, .text = "OFF"});
  registry->report(device("EE11"), {.text = "Play"});
  EXPECT_TRUE(stored("21D0").empty());  // not before the second is up
  platform.time().advance(1000);
  const std::vector<history::Point> temps = stored("21D0");
  ASSERT_EQ(temps.size(), 3u);
  EXPECT_DOUBLE_EQ(*temps[2].value, 22.0);
  const std::vector<history::Point> states = stored("A1");
  ASSERT_EQ(states.size(), 2u);
  EXPECT_EQ(states[0].state, "ON");
  EXPECT_EQ(states[1].state, "OFF");
  EXPECT_DOUBLE_EQ(*states[1].value, 0.0);
  ASSERT_EQ(stored("EE11").size(), 1u);
  EXPECT_EQ(stored("EE11")[0].state, "Play");
  EXPECT_EQ(recorder->device("21D0")->unit, "°C");
}

TEST_F(RecorderTest, ExportAnswersJsonCsvAndClearErrors) {
  start();
  devices::W800Device& t = device("21D0");
  for (int i = 0; i < 5; ++i) {
    registry->report(t, {.type = "Temperature", .text = std::to_string(20 + i)});
    platform.time().advance(60'000);
  }
  const history::ExportAnswer json = ask({{"code", "21d0"}, {"limit", "3"}});  // pending rows are written first
  ASSERT_EQ(json.status, 200) << json.body;
  const nlohmann::json j = nlohmann::json::parse(json.body);
  EXPECT_EQ(j["code"], "21D0");
  EXPECT_EQ(j["rows"].size(), 3u);
  EXPECT_EQ(j["rows"][0]["value"], 20.0);
  EXPECT_TRUE(j["more"]);
  const history::ExportAnswer csv = ask({{"code", "21D0"}, {"step", "hour"}}, "text/csv");
  EXPECT_EQ(csv.contentType.rfind("text/csv", 0), 0u);
  EXPECT_EQ(csv.body.substr(0, csv.body.find('\r')), "time,t,mean,min,max,count");
  EXPECT_NE(csv.body.find(",22,20,24,5\r\n"), std::string::npos) << csv.body;
  EXPECT_NE(ask({{"code", "21D0"}, {"format", "csv"}}).body.find(",24,\r\n"), std::string::npos);
  for (const auto& [params, bad] : std::vector<std::pair<std::map<std::string, std::string>, std::string>>{
           {{}, "code"},
           {{{"code", "21D0"}, {"from", "yesterday"}}, "from"},
           {{{"code", "21D0"}, {"from", "2026-12-07"}, {"to", "2026-12-06"}}, "from"},
           {{{"code", "21D0"}, {"step", "week"}}, "step"},
           {{{"code", "21D0"}, {"limit", "0"}}, "limit"},
           {{{"code", "21D0"}, {"limit", "99999999"}}, "limit"},
           {{{"code", "21D0"}, {"format", "xml"}}, "format"}}) {
    const history::ExportAnswer a = ask(params);
    EXPECT_EQ(a.status, 400);
    EXPECT_EQ(nlohmann::json::parse(a.body)["parameter"], bad) << a.body;
  }
}

TEST_F(RecorderTest, BrokenDatabaseIsLoggedOnceAndTheNodeGoesOnUntilItWorksAgain) {
  std::ofstream(dir / "Data" / "history.sqlite") << std::string(4096, '\x7f');
  start();
  devices::W800Device& t = device("21D0");
  for (int i = 0; i < 200; ++i) {  // three minutes and more of readings without history
    registry->report(t, {.type = "Temperature", .text = std::to_string(i)});
    platform.time().advance(1000);
  }
  EXPECT_EQ(logged("history.sqlite cannot be opened: file is not a database"), 1);
  EXPECT_FALSE(recorder->available());
  EXPECT_EQ(ask({{"code", "21D0"}}).status, 503);
  fs::remove(dir / "Data" / "history.sqlite");
  platform.time().advance(history::HistoryRecorder::kRetryMs);
  EXPECT_EQ(logged("works again"), 1);
  EXPECT_EQ(stored("21D0").size(), 200u);  // the readings held meanwhile
}

TEST_F(RecorderTest, UnopenableFileAndTurningHistoryOff) {
  fs::create_directories(dir / "Data" / "history.sqlite");  // a folder where the file should be
  start();
  EXPECT_EQ(logged("history.sqlite cannot be opened"), 1);
  fs::remove_all(dir / "Data" / "history.sqlite");
  const core::Settings before = ctx->settings;
  ctx->settings.historyEnabled = false;
  recorder->applySettings({before, ctx->settings, {"HistoryEnabled"}});
  registry->report(device("21D0"), {.type = "Temperature", .text = "1"});
  platform.time().advance(120'000);
  EXPECT_FALSE(fs::exists(dir / "Data" / "history.sqlite"));  // off: no retry either
  EXPECT_EQ(recorder->pending(), 0u);
}

}  // namespace
