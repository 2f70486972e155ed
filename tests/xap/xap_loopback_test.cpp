// Real sockets on 127.0.0.1: the node's transport and the hub exchange heartbeats and a message.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <filesystem>
#include <functional>
#include <memory>

#include "core/node_context.h"
#include "platform/qt/qt_platform.h"
#include "support/qt_wait.h"
#include "xap/xap_hub.h"
#include "xap/xap_message.h"
#include "xap/xap_transport.h"

namespace fs = std::filesystem;
using namespace quillon;
using test::waitFor;

namespace {

TEST(XapLoopback, NodeAndHubExchangeMessages) {
  int argc = 1;
  char name[] = "xap_tests";
  char* argv[] = {name};
  QCoreApplication app(argc, argv);
  auto platform = platform::createQtPlatform();

  xap::XapHub hub(*platform, {});
  // ctest runs every test that may take the port one at a time (resource lock xap_port).
  ASSERT_TRUE(hub.start(xap::kXapPort)) << "UDP port 3639 is in use: stop the xAP hub on this machine";

  fs::path dir = fs::temp_directory_path() / "quillon-xap-loopback";
  fs::remove_all(dir);
  core::AppPaths paths;
  paths.appFolder = dir.string();
  core::NodeContext ctx(*platform, paths);
  xap::XapTransport transport(ctx);
  transport.setXapSource("ovk.W800.loopback");
  transport.setXapUid("FF.0052:00");
  transport.setBroadcastAddress("127.0.0.1");
  transport.setInterfaceAddress("127.0.0.0");
  int port = transport.init();
  ASSERT_GT(port, 0);

  // A listener of our own, announced to the hub like any client, sees what the node sends.
  QUdpSocket listener;
  ASSERT_TRUE(listener.bind(QHostAddress::LocalHost, 0));
  std::vector<std::string> heard;
  QObject::connect(&listener, &QUdpSocket::readyRead, [&] {
    while (listener.hasPendingDatagrams()) heard.push_back(listener.receiveDatagram().data().toStdString());
  });
  std::string hb = "xap-hbeat\n{\nv=13\nhop=1\nuid=FF.0099:00\nclass=xap-hbeat.alive\nsource=test.listener.x\n"
                   "interval=60\nport=" + std::to_string(listener.localPort()) + "\n}\n";
  listener.writeDatagram(QByteArray::fromStdString(hb), QHostAddress::LocalHost, xap::kXapPort);
  ASSERT_TRUE(waitFor([&] { return hub.clients().size() == 1; }));

  transport.sendHeartbeat(60);
  ASSERT_TRUE(waitFor([&] { return hub.clients().count(static_cast<std::uint16_t>(port)) == 1; }));
  ctx.xapReady = true;
  transport.sendXapItems("time.query", "time.query", {{"id", "*"}});
  ASSERT_TRUE(waitFor([&] { return heard.size() >= 3; }));  // our heartbeat, the node's, the query
  EXPECT_NE(heard[1].find("port=" + std::to_string(port) + "\n"), std::string::npos);
  xap::XapMessage query;
  query.fromXap(heard[2]);
  EXPECT_EQ(query.msgClass(), "time.query");
  EXPECT_EQ(query.getItem("time.query", "id"), "*");

  // A message sent to the hub reaches the node's receive queue and its callback.
  int notified = 0;
  transport.registerNewMessageCallback([&] { ++notified; });
  std::string msg = "xap-header\n{\nv=13\nhop=1\nuid=FF.0099:00\nclass=test.ping\nsource=test.listener.x\n}\nping\n{\nn=1\n}\n";
  listener.writeDatagram(QByteArray::fromStdString(msg), QHostAddress::LocalHost, xap::kXapPort);
  ASSERT_TRUE(waitFor([&] { return notified > 0; }));
  // The node also hears its own broadcasts through the hub; find the ping among them.
  bool found = false;
  for (std::string m = transport.getMessage(); !m.empty(); m = transport.getMessage()) found = found || m == msg;
  EXPECT_TRUE(found);
  transport.close();
  hub.stop();
  fs::remove_all(dir);
}

}  // namespace
