// The whole node on real sockets on 127.0.0.1: a receiver adapter and a transmitter adapter as TCP
// servers in the test, the node's own hub, and an xAP client of the test's own announced to it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/node_assembly.h"
#include "platform/qt/qt_platform.h"
#include "support/qt_wait.h"

namespace fs = std::filesystem;
using namespace quillon;
using test::waitFor;

namespace {

// One adapter: accepts the node's connection and keeps what it writes.
struct Adapter {
  QTcpServer server;
  QTcpSocket* peer = nullptr;
  int connections = 0;
  std::string received;
  Adapter() {
    server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* s = server.nextPendingConnection()) {
        peer = s;
        ++connections;
        QObject::connect(s, &QTcpSocket::readyRead, [this, s] { received += s->readAll().toStdString(); });
      }
    });
  }
  void send(const std::string& bytes) {
    peer->write(bytes.data(), static_cast<qint64>(bytes.size()));
    peer->flush();
  }
};

TEST(NodeLoopback, FramesTheReceiverStreamAnswersQueriesAndCommandsTheTransmitter) {
  int argc = 1;
  char name[] = "app_loopback_tests";
  char* argv[] = {name};
  QCoreApplication app(argc, argv);
  {
    QUdpSocket probe;
    // ctest runs every test that may take the port one at a time; a port held here means an
    // xAP hub of this machine, which would make the test prove nothing.
    ASSERT_TRUE(probe.bind(QHostAddress::AnyIPv4, 3639)) << "UDP port 3639 is in use: stop the xAP hub on this machine";
  }
  Adapter receiver, transmitter;
  ASSERT_TRUE(receiver.server.isListening() && transmitter.server.isListening());

  fs::path dir = fs::temp_directory_path() / "quillon-node-loopback";
  fs::remove_all(dir);
  fs::create_directories(dir / "Config");
  std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n"
                                                  "StartHub=1\n";
  std::ofstream(dir / "Config" / "Quillon.ini")
      << "[W800]\nSerialIP=127.0.0.1\nSerialPort=" << receiver.server.serverPort()
      << "\nTxSerialIP=127.0.0.1\nTxSerialPort=" << transmitter.server.serverPort()
      << "\nMode=1\nMetric=1\n[W800Units]\n"
         "21D0=21D0~0~~False~~~Lounge~21D0~False~True~False~0~~Temperature~False~4.7~\n"
         "1A2D_1E5=1A2D_1E5~0~~False~~~Garden~1A2D314535~False~True~False~0~~Temperature~False~4.7~\n";

  auto platform = platform::createQtPlatform();
  {
    app::NodeAssembly node(*platform, core::AppPaths{dir.string(), ""});
    ASSERT_TRUE(node.start());
    ASSERT_NE(node.hub(), nullptr);

    // The receiver is asked for 48-bit mode, answers, and streams a packet split in two writes.
    ASSERT_TRUE(waitFor([&] { return receiver.received.size() >= 2; }));
    EXPECT_EQ(receiver.received, std::string("\xF0\x2C", 2));
    receiver.send("\x2C");
    ASSERT_TRUE(waitFor([&] { return !node.receiveProcessor().awaitingModeAck(); }));
    receiver.send(std::string("\x20\x21\xD0", 3));
    waitFor([] { return false; }, 50);
    receiver.send(std::string("\x15\x81", 2));
    ASSERT_TRUE(waitFor([&] { auto* d = node.registry().device("21D0"); return d && d->text() == "21.5"; }));

    // A client of our own on the hub.
    QUdpSocket client;
    ASSERT_TRUE(client.bind(QHostAddress::LocalHost, 0));
    std::vector<std::pair<qint64, std::string>> heard;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&client, &QUdpSocket::readyRead, [&] {
      while (client.hasPendingDatagrams()) heard.emplace_back(clock.elapsed(), client.receiveDatagram().data().toStdString());
    });
    auto sendToHub = [&](const std::string& text) {
      client.writeDatagram(QByteArray::fromStdString(text), QHostAddress::LocalHost, 3639);
    };
    sendToHub("xap-hbeat\n{\nv=13\nhop=1\nuid=FF.0099:00\nclass=xap-hbeat.alive\nsource=test.client.x\ninterval=60\nport=" +
              std::to_string(client.localPort()) + "\n}\n");
    ASSERT_TRUE(waitFor([&] { return node.hub()->clients().size() == 2; }));

    // A query for every device: one info per located device, paced 200 ms apart.
    sendToHub("xap-header\n{\nv=13\nhop=1\nuid=FF.0099:00\nclass=xAPBSC.query\nsource=test.client.x\n"
              "target=ovk.W800.*:*\n}\nrequest\n{\n}\n");
    std::vector<qint64> infos;
    auto countInfos = [&] {
      infos.clear();
      for (const auto& [at, m] : heard)
        if (m.find("class=xAPBSC.info") != std::string::npos) infos.push_back(at);
      return infos.size();
    };
    ASSERT_TRUE(waitFor([&] { return countInfos() == 2; }));
    EXPECT_GE(infos[1] - infos[0], 150);
    waitFor([] { return false; }, 400);
    EXPECT_EQ(countInfos(), 2u);

    // A command's text reaches the transmitter adapter.
    sendToHub("xap-header\n{\nv=13\nhop=1\nuid=FF.0099:00\nclass=xAPBSC.cmd\nsource=test.client.x\n"
              "target=ovk.W800.*:*\n}\noutput.state.1\n{\nID=1\nText=A1ON\n}\n");
    ASSERT_TRUE(waitFor([&] { return transmitter.received == "A1ON"; }));

    // The receiver adapter restarts: the node connects again and frames what follows.
    receiver.peer->disconnectFromHost();
    ASSERT_TRUE(waitFor([&] { return receiver.connections == 2; }, 10000));
    receiver.send(std::string("\x50\x1A\x2D\x10\xE5\x02\x21\x50\x38\x39\x4B", 11));
    ASSERT_TRUE(waitFor([&] { auto* d = node.registry().device("1A2D_1E5"); return d && d->text() == "21.0"; }));
    node.shutdown();
  }
  fs::remove_all(dir);
}

}  // namespace
