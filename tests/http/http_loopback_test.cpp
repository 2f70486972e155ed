// The server on real sockets through Qt: a plain TCP client on 127.0.0.1 sends pipelined requests
// on one kept connection and fetches a picture larger than one write; each connection closes
// when its client asks.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <filesystem>
#include <fstream>

#include "core/node_context.h"
#include "http/http_server.h"
#include "platform/qt/qt_platform.h"
#include "support/qt_wait.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

// Sends the request and reads until the server closes the connection.
std::string fetch(quint16 port, const std::string& request) {
  QTcpSocket client;
  client.connectToHost("127.0.0.1", port);
  if (!client.waitForConnected(3000)) return "no connection";
  client.write(request.data(), static_cast<qint64>(request.size()));
  std::string answer;
  bool closed = false;
  QObject::connect(&client, &QTcpSocket::disconnected, [&] { closed = true; });
  test::waitFor([&] {
    answer += client.readAll().toStdString();
    return closed;
  });
  answer += client.readAll().toStdString();
  return closed ? answer : "not closed: " + answer;
}

TEST(HttpLoopback, AnswersAndClosesOverRealSockets) {
  int argc = 1;
  char name[] = "http_loopback_tests";
  char* argv[] = {name};
  QCoreApplication app(argc, argv);
  quint16 port = 0;
  {
    QTcpServer probe;  // a free port for the node
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    port = probe.serverPort();
  }
  fs::path dir = test::freshTestFolder("quillon-http-loopback");
  fs::create_directories(dir / "HTML");
  std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\nHTTPPort=" << port << "\n";
  std::string picture(700 * 1024 + 17, 'p');
  std::ofstream(dir / "HTML" / "pic.png", std::ios::binary) << picture;

  auto platform = platform::createQtPlatform();
  {
    core::NodeContext ctx(*platform, core::AppPaths{dir.string(), ""});
    http::HttpServer server(ctx);
    server.start();
    ASSERT_TRUE(server.running());

    const std::string status = fetch(port, "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
                                           "GET /status HTTP/1.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(status.rfind("HTTP/1.1 200 OK\r\nServer: ovk\r\n", 0), 0u) << status;
    const std::size_t second = status.find("HTTP/1.1 200 OK", 1);
    ASSERT_NE(second, std::string::npos) << status;
    EXPECT_NE(status.find(http::placeholderStatusPage()), std::string::npos);
    EXPECT_NE(status.find("Connection: close", second), std::string::npos);

    const std::string pic = fetch(port, "GET /PIC.png HTTP/1.0\r\n\r\n");
    ASSERT_NE(pic.find("\r\n\r\n"), std::string::npos) << pic;
    EXPECT_EQ(pic.substr(pic.find("\r\n\r\n") + 4), picture);
    EXPECT_NE(pic.find("Content-Length: 716817"), std::string::npos);

    EXPECT_TRUE(test::waitFor([&] { return server.socketsOpen() == 0; }));
    server.stop();
  }
  fs::remove_all(dir);
}

}  // namespace
