// The HTTP server on fake sockets and virtual time: socket choice, queues, POST waits, access,
// the exact answers, chunked files, the web root's boundary, time-outs and limits.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/node_context.h"
#include "http/http_server.h"
#include "http/response.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"
#include "util/password_scramble.h"

namespace fs = std::filesystem;
using namespace quillon;
using test::FakeTcpConnection;

namespace {

const std::string kDate = "06-Dec-26";  // the virtual clock's day

std::string get(const std::string& path, const std::string& extra = "") {
  return "GET " + path + " HTTP/1.1\r\nHost: node\r\n" + extra + "\r\n";
}

std::string notFoundText() {
  return "HTTP/1.1 404 Object Not Found\r\nServer: ovk\r\nDate: " + kDate +
         "\r\nConnection: Close\r\nContent-Type: text/html\r\nContent-Length: 40\r\n\r\n"
         "<html><h1>404 File Not Found</h1></html>";
}

std::string bareNotFound() { return "HTTP/1.1 404 Not Found\r\nServer: ovk\r\nDate:" + kDate + "\r\n\r\n"; }

class HttpServerTest : public ::testing::Test {
 protected:
  HttpServerTest() {
    dir = test::freshTestFolder("quillon-http");
    fs::create_directories(dir / "HTML" / "Img");
    fs::create_directories(dir / "Data");
    settings("");
    ctx = std::make_unique<core::NodeContext>(platform, core::AppPaths{dir.string(), ""});
    ctx->log.setDebugLog(true);
    server = std::make_unique<http::HttpServer>(*ctx);
    server->setStatusPage([this](http::Request& r, http::Response&) {
      seen = r;
      return std::string("<p>status</p>");
    });
  }
  ~HttpServerTest() override {
    server.reset();
    fs::remove_all(dir);
  }

  void settings(const std::string& lines) { std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\nHTTPPort=8017\n" << lines; }
  void file(const fs::path& rel, const std::string& bytes) { std::ofstream(dir / rel, std::ios::binary) << bytes; }
  test::FakeTcpListener& listener() { return *platform.tcpListeners.at(0); }
  FakeTcpConnection* connect(const std::string& peer = "127.0.0.1", const std::string& local = "127.0.0.1") {
    return listener().connect(peer, local);
  }
  // One request on a new connection, dispatched.
  FakeTcpConnection* send(const std::string& raw, const std::string& peer = "127.0.0.1",
                          const std::string& local = "127.0.0.1") {
    FakeTcpConnection* c = connect(peer, local);
    c->deliver(raw);
    platform.time().advance(http::HttpServer::kDispatchDelayMs);
    return c;
  }
  std::string log() const {
    std::ifstream in(dir / "Data" / "Quillon.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  test::FakePlatform platform;
  fs::path dir;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<http::HttpServer> server;
  http::Request seen;
};

TEST_F(HttpServerTest, SocketsGoOutDownFrom24ThenTwentyFiveAndThe26thSweepsThePool) {
  server->start();
  ASSERT_TRUE(listener().isListening());
  EXPECT_EQ(listener().port, 8017);
  std::vector<FakeTcpConnection*> conns;
  for (int n = 1; n <= 25; ++n) {
    conns.push_back(connect());
    EXPECT_EQ(server->nextSocket(), n < 25 ? 25 - n : 25);
    EXPECT_EQ(server->socketState(server->nextSocket()), 7);
  }
  EXPECT_EQ(server->socketsOpen(), 25);
  FakeTcpConnection* last = connect();  // takes socket 25, whose old connection is gone now
  for (int n = 0; n < 24; ++n) EXPECT_TRUE(conns[n]->closedByServer);
  EXPECT_EQ(server->nextSocket(), 25);
  EXPECT_EQ(server->socketsOpen(), 1);
  EXPECT_FALSE(last->closedByServer);
  EXPECT_NE(log().find("ConnectionRequests exceeds concurrent allocation for socket 25 RequestID=26, Sockets "
                       "Defined=25, Sockets Open=0"),
            std::string::npos);
}

TEST_F(HttpServerTest, ErrorSocketIsReusedOnceCountedAndCloseEventsNeverGoBelowZero) {
  server->start();
  std::vector<FakeTcpConnection*> conns;
  for (int n = 0; n < 25; ++n) conns.push_back(connect());
  conns[0]->breakSilently();  // socket 24, where the next search starts
  FakeTcpConnection* next = connect();  // replaces the broken one on socket 24
  EXPECT_FALSE(conns[1]->closedByServer);  // no sweep
  EXPECT_EQ(server->nextSocket(), 24);
  EXPECT_EQ(server->socketState(24), 7);
  EXPECT_EQ(server->socketsOpen(), 25);
  next->farEndClose();
  next->farEndClose();
  for (int k = 0; k < 3; ++k) server->socketClose(24);
  EXPECT_EQ(server->socketsOpen(), 24);
  for (int i = 1; i <= 25; ++i) server->socketClose(i);
  server->socketClose(3);
  EXPECT_EQ(server->socketsOpen(), 0);
  EXPECT_TRUE(listener().isListening());
}

TEST_F(HttpServerTest, PacketsWithinTheDispatchDelayAreOneDispatchAndCloseDropsOnlyTheOldest) {
  server->start();
  FakeTcpConnection* c = connect();
  c->deliver("POST /status HTTP/1.1\r\nContent-Length: 7\r\n\r\n");
  platform.time().advance(3);
  c->deliver("a=1&b=2");  // does not restart the 5 ms
  platform.time().advance(2);
  EXPECT_EQ(seen.method(), "POST");
  EXPECT_EQ(seen.form("a"), "1");
  EXPECT_EQ(seen.form("b"), "2");
  EXPECT_EQ(c->written.substr(0, 15), "HTTP/1.1 200 OK");
  c->completeSend();
  EXPECT_TRUE(c->closedByServer);

  FakeTcpConnection* d = connect();
  for (const char* p : {"one", "two", "three"}) d->deliver(p);
  EXPECT_EQ(server->queueSize(23), 3u);
  d->farEndClose();
  EXPECT_EQ(server->queueSize(23), 2u);
  EXPECT_EQ(server->socketsOpen(), 0);
  EXPECT_TRUE(listener().isListening());
}

TEST_F(HttpServerTest, PostBodyInTheFirstPacketLaterOrNeverIsAnswered) {
  server->start();
  send("POST /status HTTP/1.1\r\nContent-Length: 3\r\n\r\nk=v");
  EXPECT_EQ(seen.method(), "POSTx");
  EXPECT_EQ(seen.form("k"), "v");

  FakeTcpConnection* later = send("POST /status HTTP/1.1\r\nContent-Length: 7\r\n\r\n");
  EXPECT_EQ(later->written, "");
  later->deliver("x=1&y=2");
  platform.time().advance(5);
  EXPECT_EQ(seen.form("y"), "2");

  FakeTcpConnection* never = send("POST /status HTTP/1.1\r\nContent-Length: 50\r\n\r\n");
  never->deliver("p=1&q");
  platform.time().advance(http::HttpServer::kPostWaitMs - 10);
  EXPECT_EQ(never->written, "");
  platform.time().advance(10);  // the wait ends: answered with what came
  EXPECT_EQ(seen.form("p"), "1");
  EXPECT_TRUE(seen.formCol().contains("q"));
  EXPECT_EQ(never->written.substr(0, 15), "HTTP/1.1 200 OK");
}

TEST_F(HttpServerTest, ExactAnswersOfPagesMissingFilesRootAndStyleSheets) {
  server->start();
  FakeTcpConnection* c = send(get("/Status?x=1&y=2"));
  EXPECT_EQ(c->written, "HTTP/1.1 200 OK\r\nServer: ovk\r\nDate: " + kDate +
                            "\r\nExpires: Tue, 04 Dec 1993 21:29:02 GMT\r\nAccept-Ranges: bytes\r\n"
                            "Content-Type: text/html\r\nContent-Length: 13\r\nCache-Control: no-cache\r\n"
                            "Location: http://127.0.0.1:8080/other\r\n\r\n<p>status</p>");
  EXPECT_EQ(seen.queryString("y"), "2");
  EXPECT_FALSE(c->closedByServer);  // closed once the answer has gone out
  c->completeSend();
  EXPECT_TRUE(c->closedByServer);

  EXPECT_EQ(send(get("/missing.css"))->written, notFoundText());
  EXPECT_EQ(send(get("/page.htm"))->written, notFoundText());  // no dispatch row: not found, no hang
  EXPECT_EQ(send(get("/"))->written, "HTTP/1.1 302 Found\r\nServer: ovk\r\nDate: " + kDate +
                                         "\r\nLocation: /status\r\nConnection: Close\r\nContent-Type: text/html\r\n"
                                         "Content-Length: 42\r\n\r\n<html><a href=\"/status\">/status</a></html>");
  FakeTcpConnection* pic = send(get("/img/none.png"));
  EXPECT_EQ(pic->written, bareNotFound());
  platform.time().advance(http::HttpServer::kCloseAfterTransferMs);
  EXPECT_TRUE(pic->closedByServer);

  file("HTML/Img/Style.CSS", "body{}");
  const std::string css = send(get("/img/style.css"))->written;
  EXPECT_EQ(css.rfind("HTTP/1.0 200 OK\r\nServer: ovk\r\nDate: " + kDate +
                          "\r\nAccept-Ranges: bytes\r\nContent-Type: text/css\r\nLast-Modified: ",
                      0),
            0u);
  EXPECT_NE(css.find("\r\nContent-Length: 6\r\n\r\nbody{}"), std::string::npos);

  auto body = [](const std::string& answer) { return answer.substr(answer.find("\r\n\r\n") + 4); };
  EXPECT_EQ(body(send(get("/help/x"))->written),
            "Sorry, Help from " + dir.string() + "/HTML/Help/Quillon/Quillon.htm is not available");
  fs::create_directories(dir / "HTML" / "help" / "quillon");
  file("HTML/help/quillon/QUILLON.HTM", "<img src='quillon_FILES/a.png'>");
  EXPECT_EQ(body(send(get("/Help"))->written), "<img src='help/Quillon/Quillon_files/a.png'>");
}

TEST_F(HttpServerTest, PictureGoesOutInChunksOneInFlightAndTheConnectionClosesAfterIt) {
  std::string bytes;
  for (int n = 0; n < 2500; ++n) bytes += static_cast<char>(n * 7);
  file("HTML/Img/House.png", bytes);
  server->start();
  FakeTcpConnection* c = send(get("/img/house.PNG"));
  ASSERT_EQ(c->writes.size(), 2u);  // header, then the first chunk without waiting for the header
  EXPECT_NE(c->writes[0].find("\r\nContent-Length: 2500\r\nConnection: Close\r\nContent-Type: image/png\r\n\r\n"),
            std::string::npos);
  EXPECT_EQ(c->writes[0].rfind("HTTP/1.1 200 OK\r\nServer: ovk\r\nDate:" + kDate + "\r\nLast-Modified: ", 0), 0u);
  EXPECT_EQ(server->socketTag(24), "1");
  platform.time().advance(100);
  EXPECT_EQ(c->writes.size(), 2u);  // the second chunk waits for the first one's completion
  c->completeSend();
  platform.time().runPending();
  EXPECT_EQ(c->writes.size(), 3u);
  platform.time().advance(http::HttpServer::kChunkWaitMs);  // a completion that never comes
  ASSERT_EQ(c->writes.size(), 4u);
  EXPECT_EQ(c->writes[1].size() + c->writes[2].size() + c->writes[3].size(), 2500u);
  EXPECT_EQ(c->writes[3].size(), 500u);
  EXPECT_EQ(c->writes[1] + c->writes[2] + c->writes[3], bytes);
  EXPECT_EQ(server->socketTag(24), "0");
  EXPECT_FALSE(c->closedByServer);
  c->completeSend();
  EXPECT_TRUE(c->closedByServer);
  EXPECT_EQ(server->socketsOpen(), 0);

  // A client that leaves during a transfer ends it; nothing more is written.
  FakeTcpConnection* gone = send(get("/img/house.png"));
  gone->farEndClose();
  platform.time().advance(http::HttpServer::kChunkWaitMs * 2);
  EXPECT_EQ(gone->writes.size(), 2u);
  EXPECT_EQ(server->socketsOpen(), 0);
}

TEST_F(HttpServerTest, PathsThatWouldLeaveTheWebRootAreNotFound) {
  file("Config/secret.css", "secret");
  file("secret.png", "secret");
  fs::create_symlink(dir / "Config" / "secret.css", dir / "HTML" / "link.css");
  server->start();
  for (const char* path : {"/../Config/secret.css", "/%2E%2E/Config/secret.css", "/..%5CConfig%5Csecret.css",
                           "/img/../../Config/secret.css", "/c:/Config/secret.css", "/link.css"})
    EXPECT_EQ(send(get(path))->written, notFoundText()) << path;
  for (const char* path : {"/../secret.png", "//..//secret.png", "/%252E%252E/secret.png"})
    EXPECT_EQ(send(get(path))->written, bareNotFound()) << path;
}

TEST_F(HttpServerTest, LoginByOwnNetworkRememberedAddressOrCredentialsWithTheSavedRequestReplayed) {
  settings("LoginUsername=\"admin\"\nLoginPassword=\"" + util::scramblePassword("pw") + "\"\n");  // read unquoted
  server->start();
  const std::string good = "Authorization: Basic YWRtaW46cHc=\r\n";  // admin:pw
  const std::string wrongCase = "Authorization: Basic QWRtaW46cHc=\r\n";  // Admin:pw
  EXPECT_EQ(send(get("/status"), "192.168.1.20", "192.168.1.5")->written.substr(0, 15), "HTTP/1.1 200 OK");

  const std::string demand = "HTTP/1.1 401 Authenticate\r\nWWW-Authenticate: Basic realm=\"Rainvale\"\r\nServer: ovk\r\n"
                             "Date: " + kDate + "\r\nContent-Type: text/html\r\nContent-Length: 12\r\n\r\nPlease Login";
  EXPECT_EQ(send(get("/status?saved=1"), "10.0.0.7", "192.168.1.5")->written, demand);
  EXPECT_EQ(send(get("/status", wrongCase), "10.0.0.7", "192.168.1.5")->written, demand);
  EXPECT_FALSE(server->isAuthorised("10.0.0.7"));

  // The login answers the request that drew the demand, in this one's place.
  FakeTcpConnection* login = send(get("/status?now=1", good), "10.0.0.7", "192.168.1.5");
  EXPECT_EQ(login->written.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(seen.queryString("saved"), "1");
  EXPECT_TRUE(server->isAuthorised("10.0.0.7"));
  send(get("/status?again=1"), "10.0.0.7", "192.168.1.5");
  EXPECT_EQ(seen.queryString("again"), "1");

  // Another client's saved request is never replayed for a login.
  send(get("/status?other=1"), "10.0.0.8", "192.168.1.5");
  send(get("/status?mine=1", good), "10.0.0.9", "192.168.1.5");
  EXPECT_EQ(seen.queryString("mine"), "1");
  EXPECT_EQ(seen.queryString("other"), "");
}

TEST_F(HttpServerTest, IdleConnectionsAndOversizedInputAreClosedWithALogLine) {
  server->start();
  FakeTcpConnection* slow = connect();
  slow->deliver("GET /sta");
  platform.time().advance(20000);
  slow->deliver("t");  // trickling bytes are no progress
  platform.time().advance(http::HttpServer::kIdleTimeoutMs - 20000 - 1);
  EXPECT_FALSE(slow->closedByServer);
  platform.time().advance(1);
  EXPECT_TRUE(slow->closedByServer);
  EXPECT_NE(log().find("made no progress for 30 s"), std::string::npos);

  FakeTcpConnection* split = connect();  // a head in pieces is joined
  split->deliver("GET /sta");
  platform.time().advance(5);
  split->deliver("tus HTTP/1.1\r\n\r\n");
  platform.time().advance(5);
  EXPECT_EQ(split->written.substr(0, 15), "HTTP/1.1 200 OK");

  FakeTcpConnection* head = send("GET /status HTTP/1.1\r\nX: " + std::string(http::HttpServer::kMaxHeadBytes, 'a'));
  EXPECT_TRUE(head->closedByServer);
  EXPECT_EQ(head->written, "");
  FakeTcpConnection* body = send("POST /status HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n");
  EXPECT_TRUE(body->closedByServer);
  FakeTcpConnection* flood = connect();
  flood->deliver(std::string(http::HttpServer::kMaxQueuedBytes + 1, 'x'));
  EXPECT_TRUE(flood->closedByServer);
  EXPECT_EQ(server->queueSize(20), 0u);
  EXPECT_NE(log().find("request head over 16384 bytes"), std::string::npos);
  EXPECT_NE(log().find("more than 278528 bytes waiting"), std::string::npos);
  EXPECT_EQ(server->socketsOpen(), 1);  // the answered split request waits for its completion
}

TEST_F(HttpServerTest, EmptyPortLeavesTheServerOff) {
  std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\nHTTPPort=\"\"\n";
  server->start();
  EXPECT_FALSE(server->running());
  EXPECT_TRUE(platform.tcpListeners.empty());
}

TEST_F(HttpServerTest, APortThatIsTakenIsLogged) {
  platform.busyTcpPorts.insert(8017);
  server->start();
  EXPECT_NE(log().find("HTTP server cannot listen on port 8017"), std::string::npos);
}

TEST(ContentType, NamesTheRealTypeByTheLastExtension) {
  EXPECT_EQ(http::contentTypeOf("\\img\\a.png").type, "image/png");
  EXPECT_EQ(http::contentTypeOf("\\a.JPG").type, "image/jpeg");
  EXPECT_EQ(http::contentTypeOf("\\a.htm.gif").type, "image/gif");
  EXPECT_EQ(http::contentTypeOf("\\s.css").type, "text/css");
  EXPECT_EQ(http::contentTypeOf("\\a.b\\noext").type, "application/octet-stream");
}

}  // namespace
