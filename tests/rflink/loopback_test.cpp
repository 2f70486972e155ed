// A real TCP connection on 127.0.0.1 through the Qt adapters: a server in the test plays the
// serial-to-network adapter; the link connects, its packets are framed, and a server that drops
// the connection and accepts again gets the link back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <filesystem>

#include "core/node_context.h"
#include "decode/receive_processor.h"
#include "platform/qt/qt_platform.h"
#include "rflink/rf_link.h"
#include "support/qt_wait.h"

using namespace quillon;
using test::waitFor;

namespace {
struct Counter : decode::FamilyDecoder {
  std::vector<std::string> seen;
  bool decode(const decode::Packet& p, decode::DecodeContext&) override {
    seen.push_back(decode::hexDump(p.data));
    return true;
  }
};
}  // namespace

TEST(RfLoopback, LinkConnectsFramesAndReconnects) {
  int argc = 1;
  char name[] = "rflink_tests";
  char* argv[] = {name};
  QCoreApplication app(argc, argv);
  auto platform = platform::createQtPlatform();
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  std::vector<QPointer<QTcpSocket>> peers;
  QObject::connect(&server, &QTcpServer::newConnection, [&] {
    while (QTcpSocket* s = server.nextPendingConnection()) peers.push_back(s);
  });

  core::NodeContext ctx(*platform, core::AppPaths{(std::filesystem::temp_directory_path() / "quillon-rf-loopback").string(), ""});
  ctx.settings.mode = 1;
  ctx.settings.serialIp = "127.0.0.1";
  auto counter = std::make_shared<Counter>();
  decode::DecoderRegistry registry;
  registry.add(decode::PacketFamily::X10Rf32, counter);
  registry.add(decode::PacketFamily::RfxPower48, counter);
  decode::ReceiveProcessor rp(ctx, registry);
  rflink::LinkEndpoint link(ctx, rflink::LinkEndpoint::Role::Receiver);
  link.onData([&](const std::string& b, int code) { rp.processCommData(b, code); });
  int reopened = 0;
  link.onReopened([&] { ++reopened; });
  bool opened = false;
  link.open(std::to_string(server.serverPort()), [&](bool ok) { opened = ok; });
  ASSERT_TRUE(waitFor([&] { return opened && peers.size() == 1; }));

  const QByteArray stream = QByteArray::fromHex("a020df10efb0010203040506a0619e08f7");
  peers[0]->write(stream.left(3));  // a piece that cuts through the first packet
  ASSERT_TRUE(waitFor([&] { return rp.buffered() == 3; }));
  peers[0]->write(stream.mid(3));
  ASSERT_TRUE(waitFor([&] { return counter->seen.size() == 3; }));
  EXPECT_EQ(counter->seen, (std::vector<std::string>{"20, DF, 10, EF", "01, 02, 03, 04, 05, 06", "61, 9E, 08, F7"}));

  // The adapter drops the connection and accepts again: the link comes back and frames again.
  peers[0]->disconnectFromHost();
  ASSERT_TRUE(waitFor([&] { return peers.size() == 2 && link.isOpen(); }, 8000));
  EXPECT_EQ(reopened, 1);
  peers[1]->write(QByteArray::fromHex("a020df10ef"));
  ASSERT_TRUE(waitFor([&] { return counter->seen.size() == 4; }));
  ASSERT_TRUE(link.write(rp.modeCommand()));
  ASSERT_TRUE(waitFor([&] { return peers[1]->bytesAvailable() >= 2; }));
  EXPECT_EQ(peers[1]->readAll(), QByteArray::fromHex("f02c"));
  link.close();
}
