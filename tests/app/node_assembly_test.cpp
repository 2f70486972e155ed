#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/node_assembly.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

// The assembled node on fake sockets: what it announces on start, what it hears, and what it
// keeps across a restart.
class NodeAssemblyTest : public ::testing::Test {
 protected:
  NodeAssemblyTest() {
    dir = quillon::test::freshTestFolder("quillon-app");
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
  node->bsc().setMessageObserver([&](const std::string& m, const xap::XapMessage&) { drained.push_back(m); });
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

// The node with a receiver and a transmitter behind TCP adapters: a packet from the receiver
// reaches the network, a BSC query is answered per located device 200 ms apart, a BSC command
// reaches the transmitter, and a receiver that drops the connection is connected to again.
TEST_F(NodeAssemblyTest, ReceiverPacketsReachTheNetworkAndCommandsTheTransmitter) {
  std::ofstream(dir / "Config" / "Quillon.ini")
      << "[W800]\nSerialIP=127.0.0.1\nSerialPort=4001\nTxSerialIP=127.0.0.1\nTxSerialPort=4002\nMode=1\n"
         "DebounceInterval=500\nMetric=1\n[W800Units]\n"
         "21D0=21D0~0~~False~~~Lounge~21D0~False~True~False~0~~Temperature~False~4.7~\n"
         "1A2D_1E5=1A2D_1E5~0~~False~~~Garden~1A2D314535~False~True~False~0~~Temperature~False~4.7~\n"
         "9999=9999~0~~False~~~~9999~False~True~False~0~~Temperature~False~4.7~\n";
  auto node = makeNode();
  ASSERT_TRUE(node->start());
  auto client = [&](std::uint16_t port) -> test::FakeTcpClient* {
    for (auto* c : platform.tcpClients)
      if (c->port == port && c->state() != platform::TcpClient::State::Closed) return c;
    return nullptr;
  };
  ASSERT_NE(client(4001), nullptr);
  ASSERT_NE(client(4002), nullptr);
  client(4001)->acceptConnection();
  client(4002)->acceptConnection();
  platform.time().runPending();
  EXPECT_EQ(client(4001)->written, std::string("\xF0\x2C", 2));  // 48-bit mode asked for

  // The receiver's answer, then a temperature packet split over two receive events.
  client(4001)->deliver("\x2C");
  client(4001)->deliver(std::string("\x20\x21\xD0", 3));
  client(4001)->deliver(std::string("\x15\x81", 2));
  platform.time().advance(60);
  ASSERT_NE(node->registry().device("21D0"), nullptr);
  EXPECT_EQ(node->registry().device("21D0")->text(), "21.5");
  auto events = sentTo3639();
  EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const std::string& m) {
    return m.find("class=xapbsc.event") != std::string::npos && m.find("Lounge") != std::string::npos;
  })) << ::testing::PrintToString(events);

  // BSC query for every device: one info per located device with a UID, 200 ms apart.
  auto* listener = platform.udpOn(static_cast<std::uint16_t>(node->transport().listenPort()));
  ASSERT_NE(listener, nullptr);
  const std::size_t before = sentTo3639().size();
  listener->deliver("xap-header\n{\nv=12\nhop=1\nuid=FF123400\nclass=xAPBSC.query\nsource=a.b.c\n"
                    "target=ovk.W800.testhost:*\n}\nrequest\n{\n}\n");
  auto infos = [&] {
    int n = 0;
    auto all = sentTo3639();
    for (std::size_t i = before; i < all.size(); ++i) n += all[i].find("class=xAPBSC.info") != std::string::npos;
    return n;
  };
  platform.time().advance(60);
  EXPECT_EQ(infos(), 1);
  platform.time().advance(200);
  EXPECT_EQ(infos(), 2);
  platform.time().advance(1000);
  EXPECT_EQ(infos(), 2);  // the device without a location is not announced

  // A BSC command's text goes to the transmitter.
  listener->deliver("xap-header\n{\nv=12\nhop=1\nuid=FF123400\nclass=xAPBSC.cmd\nsource=a.b.c\n"
                    "target=ovk.W800.testhost:*\n}\noutput.state.1\n{\nID=1\nText=A1ON\n}\n");
  platform.time().advance(60);
  EXPECT_EQ(client(4002)->written, "A1ON");

  // The receiver's adapter drops the connection: the link connects again by itself.
  auto* first = client(4001);
  const int calls = first->connectCalls;
  first->farEndClose();
  platform.time().advance(10000);
  auto* again = client(4001);
  ASSERT_NE(again, nullptr);
  EXPECT_GT(again->connectCalls + (again == first ? 0 : calls), calls);
  node->shutdown();
}

}  // namespace
