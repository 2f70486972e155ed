// The HTTP server on fake sockets and virtual time: kept connections and pipelining, methods,
// POST bodies, access, the exact answers, large files, the web root's boundary, limits and the cap.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <zlib.h>

#include "core/node_context.h"
#include "http/connection.h"
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

// The cookie of an answer, "quillon_session=..." ("" when none).
std::string cookieOf(const std::string& answer) {
  const std::size_t at = answer.find("Set-Cookie: ");
  if (at == std::string::npos) return "";
  return answer.substr(at + 12, answer.find(';', at) - at - 12);
}

std::string notFoundText() {
  return "HTTP/1.1 404 Object Not Found\r\nServer: ovk\r\nDate: " + kDate +
         "\r\nContent-Type: text/html\r\nContent-Length: 40\r\n\r\n"
         "<html><h1>404 File Not Found</h1></html>";
}

std::string bareNotFound() {
  return "HTTP/1.1 404 Not Found\r\nServer: ovk\r\nDate:" + kDate + "\r\nContent-Length: 0\r\n\r\n";
}

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
      return std::make_shared<const http::PageBody>(pageText, http::contentTag(pageText));
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
    return c;
  }
  std::string log() const {
    std::ifstream in(dir / "Data" / "Quillon.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // A page with a form: the Cookie line of its session and the token its form carries.
  std::pair<std::string, std::string> formSession() {
    pageText = "<form><input name='csrf' value='" + std::string(http::kTokenMark) + "'></form>";
    const std::string page = send(get("/status"))->written;
    const std::size_t cookie = page.find("Set-Cookie: ") + 12, token = page.find("value='") + 7;
    return {"Cookie: " + page.substr(cookie, page.find(';', cookie) - cookie) + "\r\n", page.substr(token, 32)};
  }

  std::string pageText = "<p>status</p>";
  test::FakePlatform platform;
  fs::path dir;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<http::HttpServer> server;
  http::Request seen;
};

TEST_F(HttpServerTest, KeptConnectionsAnswerPipelinedRequestsInOrderAndCloseWhenAsked) {
  server->start();
  FakeTcpConnection* c = connect();
  c->deliver(get("/status?n=1") + get("/missing.css") + "GET /status?n=3 HTTP/1.1\r\nHost: node\r\n");
  ASSERT_EQ(c->writes.size(), 2u);  // the third head is not complete yet
  EXPECT_EQ(c->writes[0].rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(c->writes[1], notFoundText());
  EXPECT_EQ(seen.queryString("n"), "1");
  c->deliver("Connection: close\r\n\r\n");
  ASSERT_EQ(c->writes.size(), 3u);
  EXPECT_EQ(seen.queryString("n"), "3");
  EXPECT_NE(c->writes[2].find("\r\nConnection: close\r\n\r\n<p>status</p>"), std::string::npos);
  EXPECT_TRUE(c->closedByServer);

  FakeTcpConnection* old = send("GET /status HTTP/1.0\r\n\r\n");  // HTTP/1.0 without keep-alive ends
  EXPECT_NE(old->written.find("Connection: close"), std::string::npos);
  EXPECT_TRUE(old->closedByServer);
  FakeTcpConnection* kept = send("GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n");
  EXPECT_NE(kept->written.find("\r\nConnection: keep-alive\r\n"), std::string::npos);
  EXPECT_FALSE(kept->closedByServer);
  kept->farEndClose();
  EXPECT_EQ(server->socketsOpen(), 0);
}

TEST_F(HttpServerTest, HeadGivesTheHeadersOnlyAndOtherMethodsGet405) {
  file("HTML/Img/Style.css", "body{color:red}");
  server->start();
  FakeTcpConnection* c = connect();
  c->deliver("HEAD /img/style.css HTTP/1.1\r\n\r\nHEAD /status HTTP/1.1\r\n\r\n");
  ASSERT_EQ(c->writes.size(), 2u);
  EXPECT_NE(c->writes[0].find("Content-Length: 15\r\n"), std::string::npos);
  EXPECT_EQ(c->writes[0].substr(c->writes[0].size() - 4), "\r\n\r\n");
  EXPECT_EQ(c->writes[1].substr(c->writes[1].size() - 4), "\r\n\r\n");
  c->deliver("DELETE /status HTTP/1.1\r\n\r\nPOST /img/style.css HTTP/1.1\r\nContent-Length: 1\r\n\r\nx");
  ASSERT_EQ(c->writes.size(), 4u);
  EXPECT_EQ(c->writes[2].rfind("HTTP/1.1 405 Method Not Allowed\r\n", 0), 0u);
  EXPECT_NE(c->writes[2].find("Allow: GET, HEAD, POST\r\n"), std::string::npos);
  EXPECT_NE(c->writes[3].find("Allow: GET, HEAD\r\n"), std::string::npos);
  EXPECT_FALSE(c->closedByServer);
}

TEST_F(HttpServerTest, PostBodyInTheFirstPacketOrLaterIsAnsweredAndOneThatNeverEndsGets408) {
  server->start();
  const auto [cookie, token] = formSession();
  send("POST /status HTTP/1.1\r\n" + cookie + "Content-Length: 41\r\n\r\ncsrf=" + token + "&k=v");
  EXPECT_EQ(seen.method(), "POST");
  EXPECT_EQ(seen.form("k"), "v");

  FakeTcpConnection* later = send("POST /status HTTP/1.1\r\n" + cookie + "Content-Length: 45\r\n\r\n");
  EXPECT_EQ(later->written, "");
  later->deliver("csrf=" + token + "&x=1&");
  later->deliver("y=2");
  EXPECT_EQ(seen.form("x"), "1");
  EXPECT_EQ(seen.form("y"), "2");

  FakeTcpConnection* never = send("POST /status HTTP/1.1\r\nContent-Length: 50\r\n\r\n");
  never->deliver("p=1&q");
  platform.time().advance(http::HttpServer::kHeadTimeoutMs - 1);
  EXPECT_EQ(never->written, "");
  platform.time().advance(1);
  EXPECT_EQ(never->written.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u);
  EXPECT_TRUE(never->closedByServer);

  // A body trickling in a byte every few seconds still has only so long in all.
  FakeTcpConnection* trickle = send("POST /status HTTP/1.1\r\nContent-Length: 500\r\n\r\n");
  for (int waited = 0; waited < http::HttpServer::kBodyTimeoutMs - 5000; waited += 5000) {
    trickle->deliver("a");
    platform.time().advance(5000);
  }
  EXPECT_EQ(trickle->written, "");
  trickle->deliver("a");
  platform.time().advance(5000);
  EXPECT_EQ(trickle->written.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u);
}

TEST_F(HttpServerTest, ExactAnswersOfPagesMissingFilesRootAndStyleSheets) {
  server->start();
  FakeTcpConnection* c = send(get("/Status?x=1&y=2"));
  EXPECT_EQ(c->written, "HTTP/1.1 200 OK\r\nServer: ovk\r\nDate: " + kDate +
                            "\r\nExpires: Tue, 04 Dec 1993 21:29:02 GMT\r\nAccept-Ranges: bytes\r\n"
                            "Content-Type: text/html\r\nContent-Length: 13\r\nCache-Control: no-cache\r\n"
                            "ETag: " + http::contentTag("<p>status</p>") +
                            "\r\n\r\n<p>status</p>");
  EXPECT_EQ(seen.queryString("y"), "2");
  c->completeSend();
  EXPECT_FALSE(c->closedByServer);  // kept for the next request

  EXPECT_EQ(send(get("/missing.css"))->written, notFoundText());
  EXPECT_EQ(send(get("/page.htm"))->written, notFoundText());  // no dispatch row: not found, no hang
  EXPECT_EQ(send(get("/"))->written, "HTTP/1.1 302 Found\r\nServer: ovk\r\nDate: " + kDate +
                                         "\r\nLocation: /status\r\nContent-Type: text/html\r\n"
                                         "Content-Length: 42\r\n\r\n<html><a href=\"/status\">/status</a></html>");
  FakeTcpConnection* pic = send(get("/img/none.png"));
  EXPECT_EQ(pic->written, bareNotFound());

  file("HTML/Img/Style.CSS", "body{}");
  const std::string css = send(get("/img/style.css"))->written;
  EXPECT_EQ(css.rfind("HTTP/1.0 200 OK\r\nServer: ovk\r\nDate: " + kDate +
                          "\r\nAccept-Ranges: bytes\r\nContent-Type: text/css\r\nLast-Modified: ",
                      0),
            0u);
  EXPECT_NE(css.find("\r\nContent-Length: 6\r\nETag: \""), std::string::npos);
  EXPECT_EQ(css.substr(css.size() - 34), "\r\nConnection: keep-alive\r\n\r\nbody{}");

  auto body = [](const std::string& answer) { return answer.substr(answer.find("\r\n\r\n") + 4); };
  EXPECT_EQ(body(send(get("/help/x"))->written),
            "Sorry, Help from " + dir.string() + "/HTML/Help/Quillon/Quillon.htm is not available");
  fs::create_directories(dir / "HTML" / "help" / "quillon");
  file("HTML/help/quillon/QUILLON.HTM", "<img src='quillon_FILES/a.png'>");
  EXPECT_EQ(body(send(get("/Help"))->written), "<img src='help/Quillon/Quillon_files/a.png'>");
}

TEST_F(HttpServerTest, LargeFilesGoOutAsTheSocketTakesThemAndALeavingClientEndsTheAnswer) {
  std::string bytes;
  for (int n = 0; n < 600 * 1024; ++n) bytes += static_cast<char>(n * 7);
  file("HTML/Img/House.png", bytes);
  server->start();
  FakeTcpConnection* c = send(get("/img/house.PNG"));
  EXPECT_EQ(c->writes[0].rfind("HTTP/1.1 200 OK\r\nServer: ovk\r\nDate:" + kDate + "\r\nLast-Modified: ", 0), 0u);
  EXPECT_NE(c->writes[0].find("\r\nContent-Length: 614400\r\nContent-Type: image/png\r\nETag: "), std::string::npos);
  const std::size_t head = c->writes[0].size();
  for (int turns = 0; c->written.size() < head + bytes.size() && turns < 100; ++turns) {
    EXPECT_LE(static_cast<std::size_t>(c->pendingBytes()), http::HttpConnection::kHighWater + http::HttpConnection::kFilePiece);
    const std::size_t before = c->written.size();
    const bool overHalf = c->pendingBytes() - 60 * 1024 > static_cast<std::int64_t>(http::HttpConnection::kHighWater / 2);
    c->takeSome(60 * 1024);  // topped up only once half of what waits has gone
    if (overHalf) {
      EXPECT_EQ(c->written.size(), before);
    }
  }
  EXPECT_EQ(c->written.substr(head), bytes);
  c->completeSend();
  c->deliver(get("/status"));  // the connection is kept after the file
  EXPECT_NE(c->written.find("<p>status</p>"), std::string::npos);

  FakeTcpConnection* gone = send(get("/img/house.png"));
  const std::size_t sent = gone->written.size();
  EXPECT_LT(sent, bytes.size());
  gone->farEndClose();
  gone->completeSend();
  EXPECT_EQ(gone->written.size(), sent);
  EXPECT_EQ(server->socketsOpen(), 1);  // the first client's kept connection
}

TEST_F(HttpServerTest, AFileTheClientHoldsIsAnswered304UntilItChanges) {
  file("HTML/Img/Style.css", "body{}");
  file("HTML/Img/Dot.png", "png");
  server->start();
  for (const std::string path : {"/Img/Style.css", "/Img/Dot.png"}) {
    const std::string first = send(get(path))->written;
    const std::size_t at = first.find("ETag: \"");
    ASSERT_NE(at, std::string::npos) << path;
    const std::string tag = first.substr(at + 6, first.find("\r\n", at) - at - 6);
    FakeTcpConnection* again = send(get(path, "If-None-Match: \"other\", W/" + tag + "\r\n"));
    EXPECT_EQ(again->written, "HTTP/1.1 304 Not Modified\r\nServer: ovk\r\nDate: " + kDate + "\r\nETag: " + tag +
                                  "\r\n\r\n") << path;
    file("HTML" + path, "changed");
    platform.time().advance(http::FileCache::kRecheckMs);  // a found file is looked at again this often
    EXPECT_NE(send(get(path, "If-None-Match: " + tag + "\r\n"))->written.find("changed"), std::string::npos) << path;
  }
}

TEST_F(HttpServerTest, TextAnswersOverAKilobyteAreGzippedForClientsThatTakeIt) {
  std::string css;
  for (int n = 0; n < 200; ++n) css += ".c" + std::to_string(n) + "{color:red}\n";
  file("HTML/Big.css", css);
  server->start();
  auto body = [](const std::string& answer) { return answer.substr(answer.find("\r\n\r\n") + 4); };
  const std::string packed = send(get("/big.css", "Accept-Encoding: deflate, GZIP;q=0.5\r\n"))->written;
  EXPECT_NE(packed.find("\r\nContent-Encoding: gzip\r\nVary: Accept-Encoding\r\n"), std::string::npos);
  EXPECT_NE(packed.find("\r\nETag: W/\""), std::string::npos);
  const std::string zipped = body(packed);
  EXPECT_NE(packed.find("Content-Length: " + std::to_string(zipped.size()) + "\r\n"), std::string::npos);
  std::string plain(css.size() + 16, '\0');
  z_stream z{};
  ASSERT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zipped.data()));
  z.avail_in = static_cast<uInt>(zipped.size());
  z.next_out = reinterpret_cast<Bytef*>(plain.data());
  z.avail_out = static_cast<uInt>(plain.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  plain.resize(z.total_out);
  inflateEnd(&z);
  EXPECT_EQ(plain, css);

  EXPECT_EQ(body(send(get("/big.css", "Accept-Encoding: gzip;q=0\r\n"))->written), css);
  EXPECT_EQ(body(send(get("/big.css"))->written), css);
  EXPECT_EQ(send(get("/status", "Accept-Encoding: gzip\r\n"))->written.find("Content-Encoding"), std::string::npos);
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

TEST_F(HttpServerTest, LoginMakesASessionNotATrustedAddressAndNothingIsReplayed) {
  settings("LoginUsername=\"admin\"\nLoginPassword=\"" + util::scramblePassword("pw") + "\"\nWebSessionMinutes=5\n");
  server->start();
  const std::string good = "Authorization: Basic YWRtaW46cHc=\r\n";  // admin:pw
  const std::string wrongCase = "Authorization: Basic QWRtaW46cHc=\r\n";  // Admin:pw
  EXPECT_EQ(send(get("/status"), "192.168.1.20", "192.168.1.5")->written.substr(0, 15), "HTTP/1.1 200 OK");

  const std::string demand = "HTTP/1.1 401 Authenticate\r\nWWW-Authenticate: Basic realm=\"Rainvale\"\r\nServer: ovk\r\n"
                             "Date: " + kDate + "\r\nContent-Type: text/html\r\nContent-Length: 12\r\n\r\nPlease Login";
  EXPECT_EQ(send(get("/status?saved=1"), "10.0.0.7", "192.168.1.5")->written, demand);
  EXPECT_EQ(send(get("/status", wrongCase), "10.0.0.7", "192.168.1.5")->written, demand);

  // The login answers its own request; the refused one is gone.
  const std::string login = send(get("/status?now=1", good), "10.0.0.7", "192.168.1.5")->written;
  EXPECT_EQ(login.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(seen.queryString("now"), "1");
  EXPECT_EQ(seen.queryString("saved"), "");
  EXPECT_NE(login.find("; Path=/; HttpOnly; SameSite=Strict\r\n"), std::string::npos);
  const std::string cookie = "Cookie: theme=dark; " + cookieOf(login) + "\r\n";
  // The session is let in from anywhere; its address alone is not.
  EXPECT_EQ(send(get("/status?again=1", cookie), "10.0.0.99", "192.168.1.5")->written.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(send(get("/status"), "10.0.0.7", "192.168.1.5")->written, demand);
  // Its idle time ends it.
  platform.time().advance(5 * 60 * 1000 + 1);
  EXPECT_EQ(send(get("/status", cookie), "10.0.0.7", "192.168.1.5")->written, demand);

  // A changed login ends the sessions of the old one.
  const std::string renewed = cookieOf(send(get("/status", good), "10.0.0.7", "192.168.1.5")->written);
  settings("LoginUsername=admin\nLoginPassword=\"" + util::scramblePassword("new") + "\"\n");
  platform.time().advance(http::HttpServer::kLoginRereadMs);
  EXPECT_EQ(send(get("/status", "Cookie: " + renewed + "\r\n"), "10.0.0.7", "192.168.1.5")->written.substr(0, 12),
            "HTTP/1.1 401");
  // The own network's trust is a setting.
  settings("LoginUsername=admin\nLoginPassword=\"" + util::scramblePassword("new") + "\"\nTrustLocalNetwork=False\n");
  platform.time().advance(http::HttpServer::kLoginRereadMs);
  EXPECT_EQ(send(get("/status"), "192.168.1.20", "192.168.1.5")->written.substr(0, 12), "HTTP/1.1 401");
}

TEST_F(HttpServerTest, TenFailedLoginsMakeTheAddressWaitWithOneLogLine) {
  settings("LoginUsername=admin\nLoginPassword=\"" + util::scramblePassword("pw") + "\"\n");
  server->start();
  const std::string wrong = "Authorization: Basic YWRtaW46eHg=\r\n";  // admin:xx
  for (int i = 0; i < http::LoginThrottle::kFreeFailures; ++i)
    EXPECT_EQ(send(get("/status", wrong), "10.0.0.7", "192.168.1.5")->written.substr(0, 12), "HTTP/1.1 401");
  const std::string waiting = send(get("/status", "Authorization: Basic YWRtaW46cHc=\r\n"), "10.0.0.7", "192.168.1.5")->written;
  EXPECT_EQ(waiting.substr(0, 30), "HTTP/1.1 429 Too Many Requests");
  EXPECT_NE(waiting.find("Retry-After: 30\r\n"), std::string::npos);
  EXPECT_EQ(send(get("/status", "Authorization: Basic YWRtaW46cHc=\r\n"), "10.0.0.8", "192.168.1.5")->written.substr(0, 15),
            "HTTP/1.1 200 OK");  // another address is not held up
  platform.time().advance(http::LoginThrottle::kFirstWaitMs);
  EXPECT_EQ(send(get("/status", "Authorization: Basic YWRtaW46cHc=\r\n"), "10.0.0.7", "192.168.1.5")->written.substr(0, 15),
            "HTTP/1.1 200 OK");
  const std::string text = log();
  std::size_t lines = 0;
  for (std::size_t at = text.find("failed 10 times"); at != std::string::npos; at = text.find("failed 10 times", at + 1)) ++lines;
  EXPECT_EQ(lines, 1u);
}

// A change comes only from a page this server drew for the same session: the form's token and a
// same-host Origin (or Referer).
TEST_F(HttpServerTest, APostNeedsItsSessionsTokenAndThisHostAsOrigin) {
  server->setStatusPage([this](http::Request& r, http::Response&) {
    seen = r;
    const std::string page = "<form><input name='csrf' value='" + std::string(http::kTokenMark) + "'></form>";
    return std::make_shared<const http::PageBody>(page, http::contentTag(page));
  });
  server->start();
  auto post = [&](const std::string& extra, const std::string& body) {
    seen = http::Request();
    return send("POST /status HTTP/1.1\r\nHost: node\r\n" + extra + "Content-Length: " + std::to_string(body.size()) +
                "\r\n\r\n" + body)->written;
  };
  const std::string first = send(get("/status"))->written;
  const std::string cookie = "Cookie: " + cookieOf(first) + "\r\n";
  const std::size_t at = first.find("value='") + 7;
  const std::string token = first.substr(at, first.find('\'', at) - at);
  ASSERT_EQ(token.size(), 32u);
  const std::string other = send(get("/status"))->written;
  EXPECT_EQ(other.find(token), std::string::npos);  // each session its own token

  EXPECT_EQ(post(cookie, "Location1=x").substr(0, 22), "HTTP/1.1 403 Forbidden");
  EXPECT_EQ(post("", "csrf=" + token + "&Location1=x").substr(0, 22), "HTTP/1.1 403 Forbidden");
  EXPECT_EQ(post(cookie + "Origin: http://evil.example\r\n", "csrf=" + token).substr(0, 22), "HTTP/1.1 403 Forbidden");
  EXPECT_EQ(post(cookie + "Referer: http://evil.example/x\r\n", "csrf=" + token).substr(0, 22), "HTTP/1.1 403 Forbidden");
  EXPECT_EQ(seen.form("csrf"), "");  // none of them reached the page
  EXPECT_EQ(post(cookie + "Origin: http://NODE\r\n", "csrf=" + token + "&Location1=x").substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(seen.form("Location1"), "x");
  EXPECT_EQ(post(cookie + "Referer: http://node/status\r\n", "csrf=" + token).substr(0, 15), "HTTP/1.1 200 OK");
}

TEST_F(HttpServerTest, EachLimitHasItsOwnStatusAndOneLogLinePerBurst) {
  server->start();
  auto status = [](FakeTcpConnection* c) { return c->written.substr(0, c->written.find("\r\n")); };
  FakeTcpConnection* head = send("GET /status HTTP/1.1\r\nX: " + std::string(16 * 1024, 'a'));
  EXPECT_EQ(status(head), "HTTP/1.1 431 Request Header Fields Too Large");
  EXPECT_TRUE(head->closedByServer);
  FakeTcpConnection* uri = send("GET /" + std::string(8 * 1024 + 40, 'u'));  // no line end needed
  EXPECT_EQ(status(uri), "HTTP/1.1 414 URI Too Long");
  EXPECT_EQ(status(send("POST /status HTTP/1.1\r\nContent-Length: 1048577\r\n\r\n")), "HTTP/1.1 413 Content Too Large");
  EXPECT_EQ(status(send("GET /status HTTP/1.1\r\nContent-Length: 1, 2\r\n\r\n")), "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(status(send("GET /status HTTP/2.0\r\n\r\n")), "HTTP/1.1 505 HTTP Version Not Supported");
  EXPECT_EQ(status(send("GET\r\n\r\n")), "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(status(send("GET /status HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")), "HTTP/1.1 501 Not Implemented");
  EXPECT_EQ(server->socketsOpen(), 0);

  FakeTcpConnection* slow = connect();  // a head trickling in
  slow->deliver("GET /sta");
  platform.time().advance(http::HttpServer::kHeadTimeoutMs - 1);
  slow->deliver("t");
  EXPECT_EQ(slow->written, "");
  platform.time().advance(1);
  EXPECT_EQ(status(slow), "HTTP/1.1 408 Request Timeout");
  FakeTcpConnection* silent = connect();  // a connection that never asks is closed without a word
  platform.time().advance(http::HttpServer::kHeadTimeoutMs);
  EXPECT_TRUE(silent->closedByServer);
  EXPECT_EQ(silent->written, "");
  FakeTcpConnection* idle = send(get("/status"));
  platform.time().advance(http::HttpServer::kIdleTimeoutMs - 1);
  EXPECT_FALSE(idle->closedByServer);
  platform.time().advance(1);
  EXPECT_TRUE(idle->closedByServer);

  auto lines = [this](const std::string& what) {
    const std::string text = log();
    int n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
  };
  EXPECT_EQ(lines("refused: 431 Request Header Fields Too Large"), 1);
  const int before = lines("refused: 414 URI Too Long");
  for (int n = 0; n < 3; ++n) send("GET /" + std::string(9000, 'u') + " HTTP/1.1\r\n\r\n");
  EXPECT_EQ(lines("refused: 414 URI Too Long"), before + 1);  // the burst is one line
  platform.time().advance(http::HttpServer::kBurstLogMs);
  send("GET /" + std::string(9000, 'u') + " HTTP/1.1\r\n\r\n");
  EXPECT_EQ(lines("414 URI Too Long (and 2 more since the last line)"), 1);
}

TEST_F(HttpServerTest, AClientBeyondTheCapGets503AndTheOthersKeepWorking) {
  server->start();
  std::vector<FakeTcpConnection*> kept;
  for (int n = 0; n < http::HttpServer::kDefaultMaxConnections; ++n) kept.push_back(send(get("/status")));
  FakeTcpConnection* extra = send(get("/status"));
  EXPECT_EQ(extra->written.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u);
  EXPECT_NE(extra->written.find("Retry-After: 5\r\n"), std::string::npos);
  EXPECT_TRUE(extra->closedByServer);
  for (FakeTcpConnection* c : kept) {
    EXPECT_FALSE(c->closedByServer);
    c->deliver(get("/status"));
  }
  for (FakeTcpConnection* c : kept) EXPECT_EQ(c->writes.size(), 2u);
  kept[0]->farEndClose();  // a place is free again
  EXPECT_EQ(send(get("/status"))->written.rfind("HTTP/1.1 200 OK", 0), 0u);
  EXPECT_EQ(server->socketsOpen(), http::HttpServer::kDefaultMaxConnections);
}

TEST_F(HttpServerTest, TheCapAndTheBodyLimitComeFromTheSettings) {
  settings("MaxConnections=2\nMaxRequestBody=10\n");
  server->start();
  EXPECT_EQ(server->maxConnections(), 2);
  send("POST /status HTTP/1.1\r\nContent-Length: 10\r\n\r\n0123456789");
  FakeTcpConnection* big = send("POST /status HTTP/1.1\r\nContent-Length: 11\r\n\r\n");
  EXPECT_EQ(big->written.rfind("HTTP/1.1 413 ", 0), 0u);
  send(get("/status"));
  EXPECT_EQ(send(get("/status"))->written.rfind("HTTP/1.1 503 ", 0), 0u);
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

// "/events" stays open and carries what the server broadcasts, a comment now and then so that an
// idle stream is kept, and a client that stops reading is dropped instead of piling events up.
TEST_F(HttpServerTest, EventStreamCarriesBroadcastsAndDropsAClientThatDoesNotRead) {
  server->start();
  FakeTcpConnection* reader = send(get("/events"));
  FakeTcpConnection* stuck = send(get("/events"));
  EXPECT_EQ(reader->written.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(reader->written.find("Content-Type: text/event-stream\r\n"), std::string::npos);
  EXPECT_EQ(server->eventClients(), 2);
  reader->completeSend();
  server->broadcastEvent("event: device\ndata: {}\n\n");
  EXPECT_TRUE(reader->written.ends_with("\r\n\r\nretry: 3000\n\nevent: device\ndata: {}\n\n"));
  reader->completeSend();
  platform.time().advance(http::HttpServer::kHeartbeatMs);
  EXPECT_TRUE(reader->written.ends_with(": keep-alive\n\n"));
  reader->completeSend();
  platform.time().advance(http::HttpServer::kIdleTimeoutMs);  // heartbeats keep it open
  EXPECT_FALSE(reader->closedByServer);

  const std::string big = "data: " + std::string(100 * 1024, 'x') + "\n\n";
  for (int i = 0; i < 4; ++i) {
    server->broadcastEvent(big);
    reader->completeSend();  // this one reads
  }
  EXPECT_TRUE(stuck->closedByServer);
  EXPECT_FALSE(reader->closedByServer);
  EXPECT_EQ(server->eventClients(), 1);
}

// The JSON API answers as programs expect: "/api" like "/api/", HTTP dates, 405 for changes, and
// the login demand as JSON.
TEST_F(HttpServerTest, ApiAnswersJsonWithHttpDatesAndAJsonLoginDemand) {
  server->setApiRoute([](const std::string& path, http::ApiReply& reply) {
    reply = {404, R"({"error":"not found","path":")" + path + "\"}"};
    return true;
  });
  settings("LoginUsername=admin\nLoginPassword=\"" + util::scramblePassword("pw") + "\"\n");
  server->start();
  const std::string bare = send(get("/api"))->written, slash = send(get("/api/"))->written;
  EXPECT_EQ(bare.substr(0, 24), "HTTP/1.1 404 Not Found\r\n");
  EXPECT_NE(bare.find("Content-Type: application/json"), std::string::npos);
  EXPECT_EQ(slash.substr(0, 24), "HTTP/1.1 404 Not Found\r\n");
  std::tm start{};  // the fake clock's start, 2026-12-06 12:00 local time
  start.tm_year = 126;
  start.tm_mon = 11;
  start.tm_mday = 6;
  start.tm_hour = 12;
  start.tm_isdst = -1;
  EXPECT_NE(bare.find("\r\nDate: " + http::httpDate(std::mktime(&start)) + "\r\n"), std::string::npos) << bare;
  EXPECT_EQ(http::httpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
  for (const char* method : {"POST", "PUT", "DELETE"})
    EXPECT_EQ(send(std::string(method) + " /api/devices HTTP/1.1\r\nContent-Length: 0\r\n\r\n")->written.substr(0, 31),
              "HTTP/1.1 405 Method Not Allowed") << method;
  const std::string demand = send(get("/api/devices"), "10.0.0.7", "192.168.1.5")->written;
  EXPECT_EQ(demand.substr(0, 25), "HTTP/1.1 401 Unauthorized");
  EXPECT_NE(demand.find("WWW-Authenticate: Basic realm="), std::string::npos);
  EXPECT_TRUE(demand.ends_with(R"({"error":"login required"})"));
}
