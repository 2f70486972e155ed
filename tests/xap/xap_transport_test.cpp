#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "xap/message_drain.h"
#include "xap/xap_message.h"
#include "xap/xap_transport.h"

namespace fs = std::filesystem;
using namespace quillon;
using xap::XapTransport;

namespace {

class TransportTest : public ::testing::Test {
 protected:
  TransportTest() {
    dir = fs::temp_directory_path() /
          ("quillon-xap-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    paths.appFolder = dir.string();
    ctx = std::make_unique<core::NodeContext>(platform, paths);
    transport = std::make_unique<XapTransport>(*ctx);
    transport->setXapSource("ovk.W800.testhost");
    transport->setXapUid("FF.0052:00");
  }
  ~TransportTest() override {
    transport.reset();
    ctx.reset();
    fs::remove_all(dir);
  }
  test::FakeUdpSocket& sender() { return *platform.udpSockets.at(1); }
  std::vector<std::string> sentTexts() {
    std::vector<std::string> out;
    for (const auto& s : sender().sent) out.push_back(s.data);
    return out;
  }

  fs::path dir;
  test::FakePlatform platform;
  core::AppPaths paths;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<XapTransport> transport;
};

TEST_F(TransportTest, InitFindsPortAndBuildsHeartbeat) {
  platform.busyUdpEndpoints = {"127.0.0.1:32768", "127.0.0.1:32769"};
  transport->setBroadcastAddress("DeFaulT");
  EXPECT_EQ(transport->init(), 32770);
  EXPECT_EQ(transport->sendHost(), "255.255.255.255");
  EXPECT_EQ(transport->localAddress(), "192.168.1.20");  // loopback is only a last resort
  EXPECT_EQ(platform.udpSockets[0]->boundAddress, "127.0.0.1");
  EXPECT_EQ(platform.udpSockets[1]->boundAddress, "192.168.1.20");
  EXPECT_EQ(platform.udpSockets[1]->localPort(), 32770);
  transport->sendHeartbeat(60);
  ASSERT_EQ(sender().sent.size(), 1u);
  EXPECT_EQ(sender().sent[0].data,
            "xap-hbeat\n{\nv=13\nhop=1\nuid=FF.0052:00\nclass=xap-hbeat.alive\nsource=ovk.W800.testhost\n"
            "interval=600\nport=32770\n}\n");
  EXPECT_EQ(sender().sent[0].address, "255.255.255.255");
  EXPECT_EQ(sender().sent[0].port, 3639);
}

TEST_F(TransportTest, InitFailures) {
  for (int p = 32768; p < 32768 + 200; ++p) platform.busyUdpEndpoints.insert("127.0.0.1:" + std::to_string(p));
  EXPECT_EQ(transport->init(), -1);
  platform.busyUdpEndpoints = {"192.168.1.20:32768"};
  auto second = std::make_unique<XapTransport>(*ctx);
  EXPECT_LT(second->init(), 0);
}

TEST_F(TransportTest, GetIpWithInterfacePattern) {
  platform.interfaces = {{"lo", "127.0.0.1", "", true},
                         {"eth0", "10.0.0.5", "", false},
                         {"eth1", "192.168.1.20", "", false}};
  struct Case {
    const char *pattern, *expected;
  };
  const Case cases[] = {{"Default", "10.0.0.5"}, {"192.168.1.0", "192.168.1.20"}, {"0.0.0.0", "10.0.0.5"},
                        {"127.0.0.0", "127.0.0.1"}, {"172.16.0.0", "10.0.0.5"}, {"192.168.1", "10.0.0.5"}};
  for (const auto& c : cases) {
    transport->setInterfaceAddress(c.pattern);
    EXPECT_EQ(transport->getIp(), c.expected) << c.pattern;
  }
  platform.interfaces.clear();
  EXPECT_EQ(transport->getIp(), "");
}

TEST_F(TransportTest, HeartbeatClampingAndTenTickRule) {
  transport->setBroadcastAddress("127.0.0.1");
  ASSERT_EQ(transport->init(), 32768);
  struct Case {
    int in;
    bool active;
    const char* announced;
  };
  const Case cases[] = {{3, true, "interval=50\n"}, {0, false, "interval=00\n"}, {-4, false, "interval=00\n"},
                        {90, true, "interval=600\n"}, {7, true, "interval=70\n"}};
  for (const auto& c : cases) {
    sender().sent.clear();
    transport->sendHeartbeat(c.in);
    EXPECT_EQ(transport->heartbeatTimer().isActive(), c.active) << c.in;
    ASSERT_EQ(sender().sent.size(), 1u);
    EXPECT_NE(sender().sent[0].data.find(c.announced), std::string::npos) << c.in;
  }
  // 7 s timer: a heartbeat goes out on every tenth tick only.
  sender().sent.clear();
  platform.time().advance(7000 * 9);
  EXPECT_TRUE(sender().sent.empty());
  platform.time().advance(7000);
  ASSERT_EQ(sender().sent.size(), 1u);
  EXPECT_NE(sender().sent[0].data.find("interval=70\n"), std::string::npos);
}

TEST_F(TransportTest, StartIntervalWhenInitFails) {
  // No sendHeartbeat at start: the 20 s load interval produces one heartbeat every 200 s.
  platform.time().advance(199999);
  EXPECT_TRUE(sender().sent.empty());
  platform.time().advance(1);
  ASSERT_EQ(sender().sent.size(), 1u);
  EXPECT_NE(sender().sent[0].data.find("interval=20"), std::string::npos);
  platform.time().advance(200000);
  EXPECT_EQ(sender().sent.size(), 2u);
}

TEST_F(TransportTest, PendingQueueOrderAndUid) {
  ctx->nodeUid = "FF.0052:00";
  transport->setBroadcastAddress("127.0.0.1");
  transport->init();
  transport->sendXap("", "c.1", "s", "a\x01" "1", "", "0A");
  transport->sendXap("", "c.2", "s", "", "A1", "FF.1234:56");
  transport->sendXap("acme.x.y", "c.3", "s", "", "", "", "sub");
  EXPECT_TRUE(sender().sent.empty());
  ctx->xapReady = true;
  transport->sendXap("acme.x.y", "c.4", "s", std::string("a\x01" "1\0junk\0b\x01" "x\x01y", 14), "", "FF");
  auto texts = sentTexts();
  ASSERT_EQ(texts.size(), 4u);
  std::vector<xap::XapMessage> m(4);
  for (int i = 0; i < 4; ++i) m[static_cast<std::size_t>(i)].fromXap(texts[static_cast<std::size_t>(i)]);
  EXPECT_EQ(m[0].msgClass(), "c.1");
  EXPECT_EQ(m[0].msgUid(), "FF.0052:0A");
  EXPECT_EQ(m[1].msgSource(), "ovk.W800.testhost:A1");
  EXPECT_EQ(m[1].msgUid(), "FF.1234:56");
  EXPECT_EQ(m[2].msgTarget(), "acme.x.y:sub");
  EXPECT_EQ(m[3].msgUid(), "FF.0052:FF");
  EXPECT_EQ(texts[3],
            "xap-header\n{\nv=13\nhop=1\nuid=FF.0052:FF\nclass=c.4\nsource=ovk.W800.testhost\ntarget=acme.x.y\n}\n"
            "s\n{\na=1\nb=x\x01y\n}\n");
  EXPECT_EQ(transport->pendingCount(), 0u);
}

TEST_F(TransportTest, PendingQueueIsBounded) {
  for (int i = 0; i < 1005; ++i) transport->sendXap("", "c." + std::to_string(i), "s", "");
  EXPECT_EQ(transport->pendingCount(), xap::kMaxPending);
  transport->setBroadcastAddress("127.0.0.1");
  transport->init();
  ctx->xapReady = true;
  transport->sendXap("", "last", "s", "");
  auto texts = sentTexts();
  ASSERT_EQ(texts.size(), 1001u);
  xap::XapMessage first;
  first.fromXap(texts[0]);
  EXPECT_EQ(first.msgClass(), "c.5");  // the five oldest were dropped
}

TEST_F(TransportTest, ReceiveFilterQueueAndTimer) {
  transport->setBroadcastAddress("127.0.0.1");
  transport->init();
  int calls = 0;
  transport->registerNewMessageCallback([&] { ++calls; });
  auto& rx = *platform.udpSockets[0];
  rx.deliver("XAP-HEADER\n{\nclass=a\n}\n");
  rx.deliver("xap-hbeat\n{\n}\n");
  platform.time().advance(30);
  sender().deliver("xap-header\n{\nclass=b\n}\n");
  rx.deliver("");
  rx.deliver(std::string(xap::kMaxDatagram + 1, 'x'));
  platform.time().advance(19);
  EXPECT_EQ(calls, 0);
  platform.time().advance(1);  // 50 ms after the first, not pushed back by later arrivals
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(transport->getMessage(), "XAP-HEADER\n{\nclass=a\n}\n");
  EXPECT_EQ(transport->getMessage(), "xap-header\n{\nclass=b\n}\n");
  EXPECT_EQ(transport->getMessage(), "");
  platform.time().advance(1000);
  EXPECT_EQ(calls, 1);

  transport->setFilterHeartbeats(false);
  rx.deliver("xap-hbeat\n{\n}\n");
  EXPECT_EQ(transport->receiveQueueSize(), 1u);
}

TEST_F(TransportTest, DrainHandlesNestedCallsFailuresAndJunk) {
  transport->setBroadcastAddress("127.0.0.1");
  transport->init();
  std::vector<std::string> handled;
  xap::MessageDrain* drainPtr = nullptr;
  auto& rx = *platform.udpSockets[0];
  xap::MessageDrain drain(*ctx, [&] { return transport->getMessage(); }, [&](const std::string& m) {
    xap::XapMessage msg;
    msg.fromXap(m);
    handled.push_back(msg.msgClass());
    if (handled.size() == 1) {
      // Arrives during the drain, and a nested notification returns at once.
      rx.deliver("xap-header\n{\nclass=late\n}\n");
      drainPtr->run();
      throw std::runtime_error("handler failed");  // logged; the next message still runs
    }
  });
  drainPtr = &drain;
  transport->registerNewMessageCallback([&] { drain.run(); });
  rx.deliver("xap-header\n{\nclass=first\n}\n");
  rx.deliver(std::string("xap-header\n\xff\xfe}\n}\n\0\0=\n", 21));
  rx.deliver("xap-header\n{\nclass=third\n}\n");
  platform.time().advance(50);
  EXPECT_EQ(handled, (std::vector<std::string>{"first", "Unknown", "third", "late"}));
}

TEST_F(TransportTest, LogEntriesGoOutAsEventLog) {
  transport->setBroadcastAddress("127.0.0.1");
  transport->init();
  ctx->xapReady = true;
  ctx->log.setXapSender([this](const std::string& t, const std::string& ty, const std::string& d) {
    transport->sendLogEvent(t, ty, d);
  });
  ctx->log.logEvent("Quillon", "hello", " Line 3 oops");
  ctx->log.logEvent(core::Logger::kDebugType, "not on the wire");
  auto texts = sentTexts();
  ASSERT_EQ(texts.size(), 1u);
  xap::XapMessage m;
  m.fromXap(texts[0]);
  EXPECT_EQ(m.msgClass(), "Homeseer.Event");
  EXPECT_EQ(m.msgTarget(), "Unknown");
  EXPECT_EQ(m.getItem("event.log", "type"), "Quillon");
  EXPECT_EQ(m.getItem("event.log", "data"), "hello Line 3 oops");
  EXPECT_NE(texts[0].find("Event.Log\n{\nTime="), std::string::npos);
}

}  // namespace
