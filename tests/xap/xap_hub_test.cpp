#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "xap/xap_hub.h"

using namespace quillon;

namespace {

std::string heartbeat(int port, int interval, const char* cls = "xap-hbeat.alive") {
  return std::string("xap-hbeat\n{\nv=13\nhop=1\nuid=FF.0052:00\nclass=") + cls +
         "\nsource=ovk.W800.h\ninterval=" + std::to_string(interval) + "\nport=" + std::to_string(port) + "\n}\n";
}

TEST(XapHub, ParseHeartbeat) {
  auto hb = xap::parseHeartbeat(heartbeat(32768, 600));
  EXPECT_TRUE(hb.ok);
  EXPECT_EQ(hb.port, 32768);
  EXPECT_EQ(hb.intervalSeconds, 600);
  EXPECT_EQ(hb.source, "ovk.W800.h");
  EXPECT_TRUE(xap::parseHeartbeat(heartbeat(40000, 60, "xap-hbeat.stopped")).stopped);
  const std::string bad[] = {"", "xap-header\n{\nport=1\n}\n", "xap-hbeat\n{\nclass=xap-hbeat.alive\nport=70000\n}\n",
                             "xap-hbeat\n{\nclass=xap-hbeat.alive\nport=-3\n}\n", "xap-hbeat\n{\nclass=x\nport=5\n}\n",
                             "xap-hbeat\n{\nclass=xap-hbeat.alive\n}\nport=5\n"};
  for (const auto& b : bad) EXPECT_FALSE(xap::parseHeartbeat(b).ok) << b;
}

TEST(XapHub, LearnsForwardsAndForgetsClients) {
  test::FakePlatform platform;
  std::vector<std::string> log;
  xap::XapHub hub(platform, [&](const std::string& l) { log.push_back(l); });
  platform.busyUdpPorts = {3639};
  EXPECT_FALSE(hub.start());
  platform.busyUdpPorts.clear();
  ASSERT_TRUE(hub.start());
  auto& sock = *platform.udpOn(3639);

  sock.deliver(heartbeat(32768, 600), "127.0.0.1");
  sock.deliver(heartbeat(32769, 10), "192.168.1.20");   // a local interface address
  sock.deliver(heartbeat(32770, 10), "192.168.1.99");   // another machine: not a client
  sock.deliver(heartbeat(3639, 10), "127.0.0.1");       // never forward to ourselves
  ASSERT_EQ(hub.clients().size(), 2u);
  sock.sent.clear();

  sock.deliver("xap-header\n{\nclass=x\n}\n", "192.168.1.99");
  ASSERT_EQ(sock.sent.size(), 2u);
  EXPECT_EQ(sock.sent[0].address, "127.0.0.1");
  EXPECT_EQ(sock.sent[0].port, 32768);
  EXPECT_EQ(sock.sent[1].port, 32769);

  // The 10 s client is gone after 20 s of silence; the 600 s one stays.
  platform.time().advance(25000);
  EXPECT_EQ(hub.clients().count(32769), 0u);
  EXPECT_EQ(hub.clients().count(32768), 1u);
  sock.deliver(heartbeat(32768, 600, "xap-hbeat.stopped"), "127.0.0.1");
  EXPECT_TRUE(hub.clients().empty());
}

}  // namespace
