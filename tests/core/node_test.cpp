#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "core/node.h"
#include "support/fake_platform.h"
#include "support/node_process.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

class NodeTest : public ::testing::Test {
 protected:
  NodeTest() {
    dir = fs::temp_directory_path() / ("quillon-node-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    paths.appFolder = dir.string();
    ctx = std::make_unique<core::NodeContext>(platform, paths);
  }
  ~NodeTest() override { fs::remove_all(dir); }

  // A subsystem that records what the node asks of it.
  struct Recorder final : core::Subsystem {
    Recorder(NodeTest& t, const char* n) : test(t), id(n) {}
    const char* name() const override { return id; }
    void start() override {
      test.calls.push_back(std::string("start ") + id);
      if (failStart) throw std::runtime_error("bad record");
    }
    void save() override {
      test.calls.push_back(std::string("save ") + id);
      if (failSave) throw std::runtime_error("disk gone");
    }
    void stop() override {
      test.calls.push_back(std::string("stop ") + id + (test.ctx->shuttingDown ? "" : " (not shutting down)"));
    }
    void applySettings(const core::SettingsChange& c) override {
      std::string keys;
      for (const auto& k : c.keys) keys += " " + k;
      test.calls.push_back(std::string("apply ") + id + keys);
    }
    NodeTest& test;
    const char* id;
    bool failStart = false, failSave = false;
  };
  Recorder a{*this, "a"}, b{*this, "b"}, c{*this, "c"};
  std::vector<core::Subsystem*> list(core::Node& node) { return {&a, &node.settingsStep(), &b, &c}; }

  void writeSettings(const std::string& text) {
    fs::create_directories(dir / "Config");
    std::ofstream(dir / "Config" / "Quillon.ini", std::ios::binary) << text;
  }

  test::FakePlatform platform;
  core::AppPaths paths;
  fs::path dir;
  std::unique_ptr<core::NodeContext> ctx;
  std::vector<std::string> calls;
};

// Start-up walks the list forward; shutdown walks it backward twice, saving first (the
// settings' flush after what the subsystems later in the list saved), then stopping; a failing
// step never stops the next.
TEST_F(NodeTest, StartsForwardSavesAndStopsBackward) {
  writeSettings("[W800]\r\nSerialPort=1\r\nMode=1\r\nUID=FF123400\r\n");
  core::Node node(*ctx);
  node.setSubsystems(list(node));
  b.failSave = true;
  ASSERT_TRUE(node.start());
  EXPECT_EQ(calls, (std::vector<std::string>{"start a", "start b", "start c"}));
  EXPECT_EQ(ctx->settings.serialPort, "1");  // read by the settings step, before b
  EXPECT_EQ(ctx->computerName, "testhost");
  EXPECT_TRUE(fs::is_directory(dir / "Data"));

  calls.clear();
  node.menuClick(2);
  node.menuClick(3);
  EXPECT_TRUE(calls.empty());
  ctx->ini.saveIniSetting("W800Units", "A1", "x", "Quillon.ini");
  node.menuClick(7);  // Exit
  EXPECT_EQ(calls, (std::vector<std::string>{"save c", "save b", "save a", "stop c", "stop b", "stop a"}));
  EXPECT_TRUE(platform.time().quitRequested);
  EXPECT_NE(test::readWholeFile(dir / "Config" / "Quillon.ini").find("[W800UNITS]\r\nA1=x"), std::string::npos);
  EXPECT_NE(test::readWholeFile(dir / "Data" / "Quillon.txt").find("Main Unload b"), std::string::npos);
  calls.clear();
  node.shutdown();  // only once
  EXPECT_TRUE(calls.empty());
}

TEST_F(NodeTest, FailingStartStepLogsMainLoadAndSkipsTheRest) {
  core::Node node(*ctx);
  node.setSubsystems(list(node));
  b.failStart = true;
  EXPECT_FALSE(node.start());
  EXPECT_EQ(calls, (std::vector<std::string>{"start a", "start b"}));
  const std::string log = test::readWholeFile(dir / "Data" / "Quillon.txt");
  EXPECT_NE(log.find("Main Load  Line "), std::string::npos);
  EXPECT_NE(log.find("bad record"), std::string::npos);
}

// A re-read tells every subsystem which keys changed, with a run's own overrides applied first.
TEST_F(NodeTest, ReReadTellsEverySubsystemWhatChanged) {
  writeSettings("[W800]\r\nSerialPort=1\r\nHTTPPort=8017\r\n");
  core::Node node(*ctx);
  node.setSubsystems(list(node));
  node.setRunOverrides([](core::Settings& s) { s.serialPort.clear(); });
  ASSERT_TRUE(node.start());
  calls.clear();
  for (const auto& [key, value] : {std::pair{"SerialPort", "2"}, {"HTTPPort", "8018"}, {"Mode", "1"}})
    ctx->ini.saveIniSetting("W800", key, value, "Quillon.ini");
  node.reReadSettings();
  EXPECT_EQ(calls, (std::vector<std::string>{"apply a HTTPPort Mode", "apply b HTTPPort Mode",
                                             "apply c HTTPPort Mode"}));
  EXPECT_TRUE(ctx->settings.serialPort.empty());
}

TEST_F(NodeTest, TrayAndBrowserEntries) {
  core::Node node(*ctx);
  EXPECT_TRUE(node.trayIconCallback(0x202));
  EXPECT_TRUE(node.trayIconCallback(0x205));
  EXPECT_FALSE(node.trayIconCallback(0x200));
  node.menuClick(0);
  node.menuClick(5);
  EXPECT_EQ(platform.opened, (std::vector<std::string>{"http://127.0.0.1:8017/status",
                                                       "http://127.0.0.1:8017/Help/Quillon/Quillon.htm"}));
}

}  // namespace
