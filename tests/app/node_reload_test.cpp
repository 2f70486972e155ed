// Re-reading the settings and scripts in a running node (SIGHUP, the settings window).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "script/script_fixture.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

const std::string kMode48("\xF0\x2C", 2), kMode32("\xF0\x29", 2);

class NodeReloadTest : public test::ScriptNodeTest {
 protected:
  // A later modification time than the cached image's, however fast the test runs.
  void edit(const std::string& relative, const std::string& text) {
    write(relative, text);
    fs::last_write_time(dir / relative, fs::file_time_type::clock::now() + std::chrono::seconds(++edits_));
  }
  test::FakeSerialPort* receiverPort() {
    for (auto* p : platform.serialPorts)
      if (p->isOpen()) return p;
    return nullptr;
  }
  int edits_ = 0;
};

TEST_F(NodeReloadTest, SettingsAndScriptTakeEffectAndTheReceiverStaysOpenOnItsPort) {
  write("Scripts/Quillon.txt", "Function Which()\n  Which = \"one\"\nEnd Function\n");
  start("[W800]\nSerialPort=1\nMode=1\nDebounceInterval=500\nHTTPPort=18017\n");
  auto* port = receiverPort();
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->device, "/dev/ttyS0");
  EXPECT_EQ(port->written, kMode48);
  EXPECT_EQ(call("Which"), "one");

  edit("Config/Quillon.ini", "[W800]\nSerialPort=1\nMode=1\nDebounceInterval=700\nHTTPPort=18018\nDebugLog=1\n"
                            "PeriodicScriptInterval=30\nUID=FF123400\n");
  edit("Scripts/Quillon.txt", "Function Which()\n  Which = \"two\"\nEnd Function\n");
  node->node().reload();
  platform.time().runPending();
  EXPECT_EQ(node->context().settings.debounceInterval, 700);
  EXPECT_EQ(node->context().nodeUid, "FF.1234:00");
  node->transport().sendHeartbeat(60);
  bool announced = false;
  for (auto* s : platform.udpSockets)
    for (const auto& m : s->sent) announced = announced || m.data.find("uid=FF.1234:00") != std::string::npos;
  EXPECT_TRUE(announced);
  EXPECT_TRUE(node->context().log.debugLog());
  EXPECT_EQ(call("Which"), "two");
  EXPECT_EQ(receiverPort(), port);
  EXPECT_EQ(port->written, kMode48);  // same port, same mode: the receiver was left alone
  EXPECT_NE(log().find("HTTPPort changed from 18017 to 18018: takes effect at the next start"), std::string::npos);

  // A new mode with the same port: only the mode command.
  edit("Config/Quillon.ini", "[W800]\nSerialPort=1\nMode=0\nHTTPPort=18018\n");
  node->node().reload();
  platform.time().runPending();
  EXPECT_EQ(receiverPort(), port);
  EXPECT_EQ(port->written, kMode48 + kMode32);

  // A new port: the link moves there and the receiver gets its mode command.
  edit("Config/Quillon.ini", "[W800]\nSerialPort=/dev/ttyUSB0\nMode=1\nHTTPPort=18018\n");
  node->node().reload();
  platform.time().runPending();
  port = receiverPort();
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->device, "/dev/ttyUSB0");
  EXPECT_EQ(port->written.substr(port->written.size() - 2), kMode48);

  // An emptied port closes the receiver.
  edit("Config/Quillon.ini", "[W800]\nHTTPPort=18018\n");
  node->node().reload();
  platform.time().runPending();
  EXPECT_EQ(receiverPort(), nullptr);
}

TEST_F(NodeReloadTest, PeriodicScriptFollowsTheReloadedInterval) {
  write("Scripts/Quillon.txt", test::kRecordingScript);
  start("[W800]\nPeriodicScriptInterval=\n");
  platform.time().advance(5000);
  EXPECT_EQ(call("Seen"), "");
  edit("Config/Quillon.ini", "[W800]\nPeriodicScriptInterval=2\n");
  node->node().reload();
  platform.time().runPending();
  platform.time().advance(2100);
  EXPECT_EQ(call("Seen"), "[]");
}

// A replay feed stands in for the receiver for the whole run: a reload keeps the port closed.
TEST_F(NodeReloadTest, ReplayRunNeverOpensTheConfiguredPort) {
  write("replay.txt", "# mode: 48\n0.0 20 60 9F 10 EF\n");
  write("Config/Quillon.ini", "[W800]\nSerialPort=1\nMode=0\n");
  app::NodeOptions options;
  options.replayFile = (dir / "replay.txt").string();
  node = std::make_unique<app::NodeAssembly>(platform, core::AppPaths{dir.string(), ""}, options);
  ASSERT_TRUE(node->start());
  EXPECT_EQ(receiverPort(), nullptr);
  edit("Config/Quillon.ini", "[W800]\nSerialPort=2\nMode=0\n");
  node->node().reload();
  platform.time().runPending();
  EXPECT_EQ(receiverPort(), nullptr);
  EXPECT_EQ(node->context().settings.mode, 1);  // the recording's mode still holds
}

}  // namespace
