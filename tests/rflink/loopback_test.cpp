// A real TCP connection on 127.0.0.1 through the Qt adapters: a server in the test plays the
// serial-to-network adapter; the link connects, its packets are framed, and a server that drops
// the connection and accepts again gets the link back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/node_context.h"
#include "decode/receive_processor.h"
#include "platform/qt/qt_platform.h"
#include "rflink/rf_link.h"
#include "support/qt_wait.h"

using namespace quillon;
using test::waitFor;

namespace {
std::string command(const std::string& cmd) {
  std::string out;
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    ::pclose(p);
  }
  return out;
}
}  // namespace

namespace {
struct Counter : decode::FamilyDecoder {
  std::vector<std::string> seen;
  bool decode(const decode::Packet& p, decode::DecodeContext&) override {
    seen.push_back(decode::hexDump(p.data));
    return true;
  }
};
}  // namespace

// The Qt event loop and platform every test here runs on.
class RfLoopback : public ::testing::Test {
 protected:
  int argc = 1;
  char name[16] = "rflink_tests";
  char* argv[1] = {name};
  QCoreApplication app{argc, argv};
  std::unique_ptr<platform::Platform> platform = platform::createQtPlatform();
};

TEST_F(RfLoopback, LinkConnectsFramesAndReconnects) {
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
  // As the node does: every open of the receiver gets the mode command.
  int opens = 0;
  link.onOpened([&] {
    ++opens;
    link.write(rp.modeCommand());
  });
  bool opened = false;
  link.open(std::to_string(server.serverPort()), [&](bool ok) { opened = ok; });
  ASSERT_TRUE(waitFor([&] { return opened && peers.size() == 1; }));
  ASSERT_TRUE(waitFor([&] { return peers[0]->bytesAvailable() >= 2; }));
  EXPECT_EQ(peers[0]->readAll(), QByteArray::fromHex("f02c"));
  // Keep-alive is on, so an adapter that vanishes without closing is noticed.
  const std::string sockets = command("ss -tnoH state established '( dport = :" + std::to_string(server.serverPort()) + " )'");
  EXPECT_NE(sockets.find("keepalive"), std::string::npos) << sockets;

  const QByteArray stream = QByteArray::fromHex("a020df10efb0010203040506a0619e08f7");
  peers[0]->write(stream.left(3));  // a piece that cuts through the first packet
  ASSERT_TRUE(waitFor([&] { return rp.buffered() == 3; }));
  peers[0]->write(stream.mid(3));
  ASSERT_TRUE(waitFor([&] { return counter->seen.size() == 3; }));
  EXPECT_EQ(counter->seen, (std::vector<std::string>{"20, DF, 10, EF", "01, 02, 03, 04, 05, 06", "61, 9E, 08, F7"}));

  // The adapter drops the connection and accepts again: the link comes back and frames again.
  peers[0]->disconnectFromHost();
  ASSERT_TRUE(waitFor([&] { return peers.size() == 2 && link.isOpen(); }, 8000));
  // The reconnected adapter's receiver is asked for its mode again.
  ASSERT_TRUE(waitFor([&] { return peers[1]->bytesAvailable() >= 2; }));
  EXPECT_EQ(peers[1]->readAll(), QByteArray::fromHex("f02c"));
  EXPECT_EQ(opens, 2);
  peers[1]->write(QByteArray::fromHex("a020df10ef"));
  ASSERT_TRUE(waitFor([&] { return counter->seen.size() == 4; }));
  link.close();
}

// A real terminal device (a pseudo-terminal pair): bytes and the mode command pass unchanged; when
// the far side closes, the loss is reported once and the node does not spin on the dead device.
TEST_F(RfLoopback, PseudoTerminalPassesBytesAndItsLossCostsNoCpu) {
  int master = -1, slave = -1;
  char path[128] = {};
  ASSERT_EQ(::openpty(&master, &slave, path, nullptr, nullptr), 0);
  ::close(slave);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

  core::NodeContext ctx(*platform, core::AppPaths{(std::filesystem::temp_directory_path() / "quillon-rf-pty").string(), ""});
  std::vector<std::string> logged;
  ctx.log.setXapSender([&](const std::string&, const std::string&, const std::string& t) { logged.push_back(t); });
  rflink::LinkEndpoint link(ctx, rflink::LinkEndpoint::Role::Receiver);
  std::string got;
  link.onData([&](const std::string& b, int) { got += b; });
  bool ok = false;
  link.open(path, [&](bool r) { ok = r; });
  ASSERT_TRUE(ok) << path;
  const std::string bytes("\x20\x60\x9F\x00\xFF\x0D\x0A\x11\x13", 9);  // CR, LF, XON, XOFF stay data
  ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ASSERT_TRUE(waitFor([&] { return got.size() == bytes.size(); }));
  EXPECT_EQ(got, bytes);
  ASSERT_TRUE(link.write(std::string("\xF0\x2C", 2)));
  char back[8] = {};
  std::string echoed;
  ASSERT_TRUE(waitFor([&] {
    ssize_t n = ::read(master, back, sizeof back);
    if (n > 0) echoed.append(back, static_cast<std::size_t>(n));
    return echoed.size() >= 2;
  })) << echoed.size() << " " << std::strerror(errno);
  EXPECT_EQ(echoed, std::string("\xF0\x2C", 2));

  ::close(master);
  ASSERT_TRUE(waitFor([&] { return !link.isOpen(); }));
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  QEventLoop idle;  // the loop blocks until something happens, as the node's does
  QTimer::singleShot(2000, &idle, &QEventLoop::quit);
  idle.exec();
  ::getrusage(RUSAGE_SELF, &after);
  const double cpu = (after.ru_utime.tv_sec - before.ru_utime.tv_sec) + (after.ru_utime.tv_usec - before.ru_utime.tv_usec) / 1e6 +
                     (after.ru_stime.tv_sec - before.ru_stime.tv_sec) + (after.ru_stime.tv_usec - before.ru_stime.tv_usec) / 1e6;
  EXPECT_LT(cpu, 0.2);
  int lost = 0;
  for (const auto& l : logged) lost += l.find("lost") != std::string::npos;
  EXPECT_EQ(lost, 1);
  EXPECT_TRUE(link.retrying());
  link.close();
}
