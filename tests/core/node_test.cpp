#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "core/node.h"
#include "support/fake_platform.h"

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

  // Seams that record the order in which they are called.
  core::NodeSeams recordingSeams() {
    core::NodeSeams s;
    auto rec = [this](const char* name) { return [this, name] { calls.push_back(name); }; };
    s.startHttpServer = rec("http");
    s.initXapTransport = [this] { calls.push_back("xap"); return xapPort; };
    s.sendHeartbeat = [this](int i) { calls.push_back("heartbeat " + std::to_string(i)); };
    s.sendXap = [this](const std::string& c, const std::string&, const core::XapItems& items) {
      calls.push_back("send " + c + " " + items.at(0).first + "=" + items.at(0).second);
    };
    s.loadEchoWindow = rec("echo");
    s.loadTagStore = rec("tags");
    s.openReceiver = [this] { calls.push_back("openReceiver"); receiverIsOpen = true; return true; };
    s.receiverOpen = [this] { return receiverIsOpen; };
    s.loadDevices = rec("devices");
    s.armPeriodicScript = [this](const core::PeriodicSchedule& p) { calls.push_back("periodic " + std::to_string(p.enabled)); };
    s.initLinks = rec("links");
    s.sendToReceiver = [this](const std::string& b) { calls.push_back("mode " + util::hexString(b)); };
    s.loadTimerForm = rec("timerForm");
    s.showTrayIcon = rec("tray");
    s.saveLastChange = [this] { calls.push_back("saveLastChange"); ctx->ini.saveIniSetting("W800Units", "A1", "x", "Quillon.ini"); };
    s.saveDeviceDictionary = [this] { calls.push_back("saveTags"); throw std::runtime_error("disk gone"); };
    s.removeTrayIcon = rec("trayOff");
    s.unloadSetupForm = rec("setupOff");
    s.closeLinks = [this] { calls.push_back(std::string("linksOff shutting=") + (ctx->shuttingDown ? "1" : "0")); };
    s.unloadEchoWindow = rec("echoOff");
    s.closeXapTransport = rec("xapOff");
    return s;
  }
  void writeSettings(const std::string& text) {
    fs::create_directories(dir / "Config");
    std::ofstream(dir / "Config" / "Quillon.ini", std::ios::binary) << text;
  }

  test::FakePlatform platform;
  core::AppPaths paths;
  fs::path dir;
  std::unique_ptr<core::NodeContext> ctx;
  std::vector<std::string> calls;
  int xapPort = 3639;
  bool receiverIsOpen = false;
};

TEST_F(NodeTest, StartsAndStopsInTheFixedOrder) {
  writeSettings("[W800]\r\nSerialPort=1\r\nMode=1\r\nUID=FF123400\r\n");
  core::Node node(*ctx, recordingSeams());
  ASSERT_TRUE(node.start());
  EXPECT_EQ(calls, (std::vector<std::string>{"http", "xap", "heartbeat 60", "send time.query id=*", "echo",
                                             "tags", "openReceiver", "devices", "periodic 0", "links",
                                             "timerForm", "tray"}));
  EXPECT_TRUE(ctx->xapReady);
  EXPECT_EQ(ctx->nodeUid, "FF.1234:00");
  EXPECT_EQ(ctx->computerName, "testhost");
  EXPECT_TRUE(fs::is_directory(dir / "Data"));

  calls.clear();
  node.menuClick(2);
  node.menuClick(3);
  EXPECT_TRUE(calls.empty());
  node.menuClick(7);  // Exit
  EXPECT_EQ(calls, (std::vector<std::string>{"saveLastChange", "saveTags", "trayOff", "setupOff", "linksOff shutting=1",
                                             "echoOff", "xapOff"}));
  EXPECT_TRUE(platform.time().quitRequested);
  // The failing step did not stop the flush.
  std::ifstream in(dir / "Config" / "Quillon.ini");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("[W800UNITS]\r\nA1=x"), std::string::npos);
  calls.clear();
  node.shutdown();  // only once
  EXPECT_TRUE(calls.empty());
}

TEST_F(NodeTest, NoXapPortLogsAndRunsOn) {
  xapPort = 0;
  core::Node node(*ctx, recordingSeams());
  ASSERT_TRUE(node.start());
  EXPECT_FALSE(ctx->xapReady);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "tray"), 1);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "openReceiver"), 0);  // no serial port set
  EXPECT_EQ(calls.back(), "tray");
  std::ifstream in(dir / "Data" / "Quillon.txt");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("| Quillon xAP Init Error 0 occurred"), std::string::npos);
}

TEST_F(NodeTest, FailingStartStepLogsMainLoadAndSkipsTheRest) {
  core::NodeSeams s = recordingSeams();
  s.loadDevices = [] { throw std::runtime_error("bad record"); };
  core::Node node(*ctx, s);
  EXPECT_FALSE(node.start());
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "tray"), 0);
  std::ifstream in(dir / "Data" / "Quillon.txt");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("Main Load  Line "), std::string::npos);
  EXPECT_NE(text.find("bad record"), std::string::npos);
}

TEST_F(NodeTest, NestedDrainReturnsAndTheOuterDrainTakesEverything) {
  std::vector<std::string> queue{"m1", "m2", "m3"}, handled;
  core::NodeSeams s;
  core::Node* self = nullptr;
  s.getMessage = [&] {
    if (queue.empty()) return std::string();
    std::string m = queue.front();
    queue.erase(queue.begin());
    return m;
  };
  s.dispatchMessage = [&](const std::string& m) {
    handled.push_back(m);
    self->onMessage();  // as an event let through by a wait would
    if (m == "m2") throw std::runtime_error("handler failed");
  };
  core::Node node(*ctx, s);
  self = &node;
  node.onMessage();
  EXPECT_EQ(handled, (std::vector<std::string>{"m1", "m2"}));
  node.onMessage();  // the guard was released after the error
  EXPECT_EQ(handled, (std::vector<std::string>{"m1", "m2", "m3"}));
}

TEST_F(NodeTest, TrayAndBrowserEntries) {
  core::Node node(*ctx, {});
  EXPECT_TRUE(node.trayIconCallback(0x202));
  EXPECT_TRUE(node.trayIconCallback(0x205));
  EXPECT_FALSE(node.trayIconCallback(0x200));
  node.menuClick(0);
  node.menuClick(5);
  EXPECT_EQ(platform.opened, (std::vector<std::string>{"http://127.0.0.1:8017/status",
                                                       "http://127.0.0.1:8017/Help/Quillon/Quillon.htm"}));
}

}  // namespace
