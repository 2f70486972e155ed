#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/node_assembly.h"
#include "support/fake_platform.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

// The assembled node on fake sockets: what it announces on start, what it hears, and what it
// keeps across a restart.
class NodeAssemblyTest : public ::testing::Test {
 protected:
  NodeAssemblyTest() {
    dir = fs::temp_directory_path() /
          ("quillon-app-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir / "Config");
    std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\n"
                                                    "BroadcastAddress=127.0.0.1\nStartHub=1\n";
  }
  ~NodeAssemblyTest() override { fs::remove_all(dir); }

  std::unique_ptr<app::NodeAssembly> makeNode() {
    return std::make_unique<app::NodeAssembly>(platform, core::AppPaths{dir.string(), ""});
  }

  std::vector<std::string> sentTo3639() const {
    std::vector<std::string> out;
    for (auto* s : platform.udpSockets)
      for (const auto& m : s->sent)
        if (m.port == 3639 && m.address == "127.0.0.1") out.push_back(m.data);
    return out;
  }

  test::FakePlatform platform;
  fs::path dir;
};

TEST_F(NodeAssemblyTest, AnnouncesItselfAndDrainsWhatTheHubForwards) {
  auto node = makeNode();
  ASSERT_TRUE(node->start());
  ASSERT_NE(node->hub(), nullptr);  // port 3639 was free and the settings asked for the hub
  const int port = node->transport().listenPort();
  ASSERT_GE(port, 32768);

  auto sent = sentTo3639();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_NE(sent[0].find("xap-hbeat"), std::string::npos);
  EXPECT_NE(sent[0].find("source=ovk.W800.testhost"), std::string::npos);
  EXPECT_NE(sent[0].find("port=" + std::to_string(port)), std::string::npos);
  // The time query follows the heartbeat (log entries may go out in between).
  EXPECT_TRUE(std::any_of(sent.begin() + 1, sent.end(),
                          [](const std::string& m) { return m.find("class=time.query") != std::string::npos; }));

  // A message the hub forwards reaches the drain 50 ms later; a non-message never does.
  std::vector<std::string> drained;
  node->node().seams().dispatchMessage = [&](const std::string& m) { drained.push_back(m); };
  auto* listener = platform.udpOn(static_cast<std::uint16_t>(port));
  ASSERT_NE(listener, nullptr);
  listener->deliver("xap-header\n{\nv=12\nhop=1\nuid=FF123400\nclass=xAPBSC.cmd\nsource=a.b.c\n}\n");
  listener->deliver("garbage");
  platform.time().advance(60);
  ASSERT_EQ(drained.size(), 1u);
  EXPECT_NE(drained[0].find("xAPBSC.cmd"), std::string::npos);

  // A log entry goes out as an event-log message.
  node->context().logEvent("hello log");
  EXPECT_NE(sentTo3639().back().find("Data=hello log"), std::string::npos);
  node->shutdown();
}

TEST_F(NodeAssemblyTest, DiscoveredDevicesSurviveARestartAndHubYieldsToAnotherOwner) {
  platform.busyUdpPorts.insert(3639);  // someone else runs a hub
  {
    auto node = makeNode();
    ASSERT_TRUE(node->start());
    EXPECT_EQ(node->hub(), nullptr);
    ASSERT_TRUE(node->registry().addW800Unit("A1"));
    ASSERT_TRUE(node->registry().addW800Unit("1A2D"));
    node->registry().device("A1")->setLocation("Hall");
    node->shutdown();
  }
  auto node = makeNode();
  ASSERT_TRUE(node->start());
  ASSERT_NE(node->registry().device("A1"), nullptr);
  EXPECT_EQ(node->registry().device("A1")->location(), "Hall");
  EXPECT_NE(node->registry().device("1A2D"), nullptr);
}

}  // namespace
