// The node's HTTP server as a client on the LAN meets it: the real program on 127.0.0.1, spoken
// to over plain sockets. Kept and pipelined requests, HEAD, 304, gzip, each limit's status,
// traversal attempts, slow clients beside a normal one, the connection cap, a client leaving
// in the middle of a large answer.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/node_process.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// One client connection with blocking sends and reads that give up after a while.
class Client {
 public:
  explicit Client(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~Client() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  bool send(const std::string& bytes) {
    return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Reads whatever comes within ms; false when the server has closed and nothing is left.
  bool readSome(int ms) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return true;
    char buf[65536];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    in_.append(buf, static_cast<std::size_t>(n));
    return true;
  }
  // One whole answer (head and the body its Content-Length gives; none for HEAD and 304), or ""
  // when it does not come within ms.
  std::string answer(int ms = 10000, bool head = false) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
      const std::size_t end = in_.find("\r\n\r\n");
      if (end != std::string::npos) {
        std::size_t length = 0;
        if (const std::size_t at = in_.find("Content-Length: "); at != std::string::npos && at < end)
          length = std::stoul(in_.substr(at + 16));
        if (head || in_.compare(9, 3, "304") == 0) length = 0;
        if (in_.size() >= end + 4 + length) {
          std::string one = in_.substr(0, end + 4 + length);
          in_.erase(0, end + 4 + length);
          return one;
        }
      }
      if (!readSome(50) && closed_) break;
    }
    return "";
  }
  // True when the server closes the connection within ms.
  bool closedWithin(int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until && !closed_) readSome(50);
    return closed_;
  }
  std::string& pending() { return in_; }

 private:
  int fd_ = -1;
  bool closed_ = false;
  std::string in_;
};

std::string bodyOf(const std::string& answer) { return answer.substr(answer.find("\r\n\r\n") + 4); }
std::string statusOf(const std::string& answer) { return answer.substr(0, answer.find("\r\n")); }
std::string headerOf(const std::string& answer, const std::string& name) {
  const std::size_t at = answer.find("\r\n" + name + ": ");
  if (at == std::string::npos) return "";
  const std::size_t from = at + name.size() + 4;
  return answer.substr(from, answer.find("\r\n", from) - from);
}

std::string gunzip(const std::string& packed) {
  z_stream z{};
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return "";
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  z.avail_in = static_cast<uInt>(packed.size());
  std::string out;
  char buf[65536];
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END ? out : "";
}

class HttpProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = quillon::test::freshTestFolder("quillon-http-process");
    fs::copy(QUILLON_SHARE, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    port = quillon::test::freeTcpPort();
    std::ofstream ini(dir / "Config" / "Quillon.ini");
    ini << "[W800]\r\nHTTPPort=" << port << "\r\nMode=1\r\n[W800Units]\r\n";
    for (int i = 0; i < 200; ++i) {
      char code[8];
      std::snprintf(code, sizeof code, "%04X", i);
      ini << code << "=" << code << "~2~~False~~06/12/2026 11:00:00~Room " << i % 9 << "~" << code
          << "~False~True~False~0~~Temperature~False~4.7~\r\n";
    }
    ini.close();
    std::ofstream(dir / "secret.css") << "secret-outside-the-web-root";
    std::ofstream(dir / "HTML" / "big.png", std::ios::binary) << std::string(3 * 1024 * 1024, 'b');
    fs::create_symlink(dir / "secret.css", dir / "HTML" / "link.css");
    ASSERT_TRUE(node.start({QUILLON_BINARY, "--app-dir", dir.string(), "--headless"}, (dir / "node.out").string()));
    for (int i = 0; i < 300 && quillon::test::httpGet(port, "/StyleNoBody.css").empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  void TearDown() override {
    EXPECT_TRUE(node.running()) << "the node stopped";
    node.stop();
    fs::remove_all(dir);
  }
  // One request on its own connection.
  std::string ask(const std::string& request) {
    Client c(port);
    c.send(request);
    std::string a = c.answer();
    return a.empty() ? c.pending() : a;
  }

  fs::path dir;
  int port = 0;
  quillon::test::ChildProcess node;
};

TEST_F(HttpProcess, KeptPipelinedHeadConditionalAndGzipAnswers) {
  Client c(port);
  ASSERT_TRUE(c.ok());
  // Three requests in one packet are answered in order on the kept connection.
  ASSERT_TRUE(c.send("GET /StyleNoBody.css HTTP/1.1\r\nHost: x\r\n\r\n"
                     "HEAD /status HTTP/1.1\r\nHost: x\r\n\r\n"
                     "GET /status HTTP/1.1\r\nHost: x\r\n\r\n"));
  const std::string css = c.answer();
  const std::string head = c.answer(10000, true);
  const std::string page = c.answer();
  EXPECT_EQ(statusOf(css), "HTTP/1.0 200 OK");
  EXPECT_EQ(bodyOf(css), quillon::test::readWholeFile(dir / "HTML" / "StyleNoBody.css"));
  EXPECT_EQ(statusOf(head), "HTTP/1.1 200 OK");
  EXPECT_EQ(bodyOf(head), "");
  EXPECT_EQ(headerOf(head, "Content-Length"), headerOf(page, "Content-Length"));
  ASSERT_NE(bodyOf(page).find("Room 8"), std::string::npos);

  // The page's tag brings 304 without a body, while nothing changed, for the same session.
  const std::string tag = headerOf(page, "ETag");
  ASSERT_FALSE(tag.empty());
  const std::string setCookie = headerOf(page, "Set-Cookie");
  const std::string cookie = "Cookie: " + setCookie.substr(0, setCookie.find(';')) + "\r\n";
  c.send("GET /status HTTP/1.1\r\n" + cookie + "If-None-Match: " + tag + "\r\n\r\n");
  EXPECT_EQ(statusOf(c.answer()), "HTTP/1.1 304 Not Modified");
  c.send("GET /StyleNoBody.css HTTP/1.1\r\nIf-None-Match: " + headerOf(css, "ETag") + "\r\n\r\n");
  EXPECT_EQ(statusOf(c.answer()), "HTTP/1.1 304 Not Modified");

  // gzip: the same bytes once inflated, for the page and for a file.
  c.send("GET /status HTTP/1.1\r\n" + cookie + "Accept-Encoding: gzip, deflate\r\n\r\n");
  const std::string packed = c.answer();
  EXPECT_EQ(headerOf(packed, "Content-Encoding"), "gzip");
  EXPECT_LT(bodyOf(packed).size(), bodyOf(page).size() / 3);
  EXPECT_EQ(gunzip(bodyOf(packed)), bodyOf(page));
  c.send("GET /StyleNoBody.css HTTP/1.1\r\nAccept-Encoding: gzip\r\n\r\n");
  EXPECT_EQ(gunzip(bodyOf(c.answer())), bodyOf(css));

  // Connection: close ends it after the answer; so does an HTTP/1.0 request that does not ask to keep it.
  c.send("GET /StyleNoBody.css HTTP/1.1\r\nConnection: close\r\n\r\n");
  EXPECT_NE(c.answer().find("Connection: close"), std::string::npos);
  EXPECT_TRUE(c.closedWithin(3000));
  Client old(port);
  old.send("GET /StyleNoBody.css HTTP/1.0\r\n\r\n");
  EXPECT_EQ(statusOf(old.answer()), "HTTP/1.0 200 OK");
  EXPECT_TRUE(old.closedWithin(3000));
}

TEST_F(HttpProcess, EachLimitHasItsOwnStatusAndTheNodeGoesOn) {
  EXPECT_EQ(statusOf(ask("GET /status HTTP/1.1\r\nX-Big: " + std::string(20000, 'h') + "\r\n\r\n")),
            "HTTP/1.1 431 Request Header Fields Too Large");
  EXPECT_EQ(statusOf(ask("GET /" + std::string(9000, 'u') + " HTTP/1.1\r\n\r\n")), "HTTP/1.1 414 URI Too Long");
  EXPECT_EQ(statusOf(ask("POST /status HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n")),
            "HTTP/1.1 413 Content Too Large");
  EXPECT_EQ(statusOf(ask("GARBAGE\r\n\r\n")), "HTTP/1.1 400 Bad Request");
  for (const char* length : {"-1", "abc", "5, 6"})
    EXPECT_EQ(statusOf(ask(std::string("POST /status HTTP/1.1\r\nContent-Length: ") + length + "\r\n\r\nk=v")),
              "HTTP/1.1 400 Bad Request") << length;
  EXPECT_EQ(statusOf(ask("GET /status HTTP/2.0\r\n\r\n")), "HTTP/1.1 505 HTTP Version Not Supported");
  EXPECT_EQ(statusOf(ask("POST /status HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")),
            "HTTP/1.1 501 Not Implemented");
  const std::string deleted = ask("DELETE /status HTTP/1.1\r\n\r\n");
  EXPECT_EQ(statusOf(deleted), "HTTP/1.1 405 Method Not Allowed");
  EXPECT_EQ(headerOf(deleted, "Allow"), "GET, HEAD, POST");
  EXPECT_EQ(statusOf(ask("GET /status HTTP/1.1\r\n\r\n")), "HTTP/1.1 200 OK");
}

TEST_F(HttpProcess, TraversalAttemptsNeverReachAFileOutsideTheWebRoot) {
  const std::string outside = dir.string() + "/secret.css";
  for (const std::string& path : std::vector<std::string>{"/../secret.css", "/%2e%2e/secret.css", "/%2E%2E/secret.css", "/..\\secret.css", "/..%5csecret.css",
        "/HTML/../../secret.css", "/Quillon/../../secret.css", outside, "/" + outside, "/..%2fsecret.css",
        "/StyleNoBody.css%00/../../secret.css", "/link.css", "/C:/secret.css"}) {
    const std::string a = ask("GET " + path + " HTTP/1.1\r\n\r\n");
    EXPECT_FALSE(a.empty()) << path;
    EXPECT_EQ(a.find("secret-outside"), std::string::npos) << path << "\n" << a;
    EXPECT_NE(statusOf(a).find(" 404 "), std::string::npos) << path << ": " << statusOf(a);
  }
  static constexpr char kNul[] = "GET /StyleNoBody.css\0/../../secret.css HTTP/1.1\r\n\r\n";
  const std::string nul = ask(std::string(kNul, sizeof kNul - 1));
  EXPECT_EQ(nul.find("secret-outside"), std::string::npos);
}

// Thirty clients trickle a head a byte every five seconds; a normal client is answered at once
// throughout, and the trickling ones get 408 when their ten seconds are up.
TEST_F(HttpProcess, SlowClientsNeverDelayANormalOne) {
  std::vector<std::unique_ptr<Client>> slow;
  for (int i = 0; i < 30; ++i) {
    slow.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(slow.back()->send("GET /status HTTP/1.1\r\nX-Slow: "));
  }
  const auto started = Clock::now();
  Client normal(port);
  double worstMs = 0;
  bool trickled = false;
  while (Clock::now() - started < std::chrono::milliseconds(9000)) {
    if (!trickled && Clock::now() - started > std::chrono::seconds(5)) {
      for (auto& s : slow) s->send("a");
      trickled = true;
    }
    const auto t0 = Clock::now();
    normal.send("GET /StyleNoBody.css HTTP/1.1\r\n\r\n");
    ASSERT_FALSE(normal.answer().empty());
    worstMs = std::max(worstMs, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_LT(worstMs, 100.0);
  for (auto& s : slow) {
    const std::string a = s->answer(5000);
    EXPECT_EQ(statusOf(a), "HTTP/1.1 408 Request Timeout");
    EXPECT_TRUE(s->closedWithin(3000));
  }
}

// 64 kept connections are the cap: the 65th client is told to come back and closed, the 64 are
// not touched; a client that leaves during a large answer costs the others nothing.
TEST_F(HttpProcess, TheCapRefusesOnlyTheNewcomerAndALeavingClientHarmsNoOne) {
  std::vector<std::unique_ptr<Client>> kept;
  for (int i = 0; i < 64; ++i) {
    kept.push_back(std::make_unique<Client>(port));
    kept.back()->send("GET /StyleNoBody.css HTTP/1.1\r\n\r\n");
    ASSERT_FALSE(kept.back()->answer().empty()) << i;
  }
  Client extra(port);
  extra.send("GET /StyleNoBody.css HTTP/1.1\r\n\r\n");
  const std::string refused = extra.answer();
  EXPECT_EQ(statusOf(refused), "HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(headerOf(refused, "Retry-After"), "5");
  EXPECT_TRUE(extra.closedWithin(3000));
  for (auto& c : kept) {
    c->send("GET /StyleNoBody.css HTTP/1.1\r\n\r\n");
    EXPECT_EQ(statusOf(c->answer()), "HTTP/1.0 200 OK");
  }
  kept.pop_back();  // one leaves: a newcomer is taken again
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  {
    Client leaving(port);
    leaving.send("GET /big.png HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(leaving.readSome(5000));
    EXPECT_EQ(statusOf(leaving.pending()), "HTTP/1.1 200 OK");
  }  // gone after the first piece of 3 MB
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string after = ask("GET /big.png HTTP/1.1\r\n\r\n");
  EXPECT_EQ(bodyOf(after).size(), 3u * 1024 * 1024);
}

// The live view: a page listening on /events gets each replayed packet's new state within a
// second of the node taking it, the same cell the page draws for the device.
TEST(HttpLiveView, ReplayedPacketsReachTheListeningPageWithinASecond) {
  const fs::path dir = quillon::test::freshTestFolder("quillon-http-live");
  fs::copy(QUILLON_SHARE, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  const int port = quillon::test::freeTcpPort();
  std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\r\nHTTPPort=" << port << "\r\n";
  std::ofstream(dir / "Config" / "ovkXap.ini")
      << "[Interface]\r\nInterfaceAddress=127.0.0.1\r\nBroadcastAddress=127.0.0.1\r\nStartHub=0\r\n";
  quillon::test::ChildProcess node;
  // The recording starts after a pause long enough to open the stream.
  std::ofstream(dir / "feed.txt") << "# mode: 48\n0.000 2C\n3.000 20 60 9F 00 FF\n3.500 20 60 9F 20 DF\n";
  ASSERT_TRUE(node.start({QUILLON_BINARY, "--app-dir", dir.string(), "--headless", "--replay", (dir / "feed.txt").string(),
                          "--replay-speed", "1"},
                         (dir / "node.out").string()));
  std::unique_ptr<Client> events;
  for (int i = 0; i < 100 && !events; ++i) {
    auto c = std::make_unique<Client>(port);
    if (c->ok() && c->send("GET /events HTTP/1.1\r\nHost: x\r\n\r\n")) events = std::move(c);
    else std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(events);
  // A1 goes on at 3.0 s and off at 3.5 s of the recording: two events, half a second apart.
  auto count = [&] {
    std::size_t n = 0;
    for (std::size_t at = events->pending().find("\"code\":\"A1\""); at != std::string::npos;
         at = events->pending().find("\"code\":\"A1\"", at + 1))
      ++n;
    return n;
  };
  const auto until = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < until && count() < 1) events->readSome(20);
  const auto first = Clock::now();
  while (Clock::now() < until && count() < 2) events->readSome(20);
  ASSERT_EQ(count(), 2u) << events->pending();
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - first).count(), 1.0);
  EXPECT_NE(events->pending().find("text/event-stream"), std::string::npos);
  // The last event's state is the cell the page draws for A1.
  const std::string& stream = events->pending();
  const std::size_t last = stream.rfind("\"status\":\"") + 10;
  const std::string pushed = stream.substr(last, stream.find("\"}", last) - last);
  const std::string page = quillon::test::httpGet(port, "/status");
  const std::size_t cell = page.find("<span id='st_A1'>");
  ASSERT_NE(cell, std::string::npos);
  const std::string shown = page.substr(cell + 17, page.find("</span>", cell) - cell - 17);
  EXPECT_EQ(shown, pushed);
  node.stop();
  fs::remove_all(dir);
}

// What a browser posts of a page's control form, with one field set: its session's cookie,
// the token and every row's fingerprint come from the page.
std::string formPost(const std::string& page, const std::string& field, const std::string& value) {
  const std::size_t from = page.find("<form name='control'"), to = page.find("</form>", from);
  std::string body;
  for (std::size_t at = page.find("<input ", from); at < to; at = page.find("<input ", at + 1)) {
    const std::string tag = page.substr(at, page.find('>', at) - at);
    auto attr = [&](const std::string& name) {
      const std::size_t a = tag.find(name + "='");
      return a == std::string::npos ? std::string() : tag.substr(a + name.size() + 2, tag.find('\'', a + name.size() + 2) - a - name.size() - 2);
    };
    const std::string type = attr("type"), name = attr("name");
    if (name.empty() || ((type == "checkbox" || type == "radio") && tag.find(" checked") == std::string::npos)) continue;
    if (type == "submit" && name != "UpdateButton") continue;
    std::string v = name == field ? value : attr("value");
    std::string encoded;
    for (unsigned char c : v) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      encoded += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    body += (body.empty() ? "" : "&") + name + "=" + encoded;
  }
  const std::string setCookie = headerOf(page, "Set-Cookie");
  return "POST /status HTTP/1.1\r\nHost: 127.0.0.1\r\nOrigin: http://127.0.0.1\r\nCookie: " +
         setCookie.substr(0, setCookie.find(';')) + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

// Two people with their own sessions edit different devices from pages drawn before either
// posted: both edits land. A post without the token, or from another site, changes nothing; a
// page drawn before a restart changes nothing after it.
TEST_F(HttpProcess, TwoSessionsEditDifferentDevicesAndForeignOrStalePostsChangeNothing) {
  auto location = [&](const std::string& code) {
    const std::string page = ask("GET /status HTTP/1.1\r\n\r\n");
    const std::string name = "name='Location_" + code + "' value='";
    const std::size_t at = page.find(name) + name.size();
    return page.substr(at, page.find('\'', at) - at);
  };
  const std::string first = ask("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  const std::string second = ask("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_EQ(statusOf(ask(formPost(first, "Location_0001", "Kitchen"))), "HTTP/1.1 200 OK");
  EXPECT_EQ(statusOf(ask(formPost(second, "Location_0002", "Garage"))), "HTTP/1.1 200 OK");
  EXPECT_EQ(location("0001"), "Kitchen");
  EXPECT_EQ(location("0002"), "Garage");

  std::string foreign = formPost(ask("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"), "Location_0003", "Evil");
  foreign.replace(foreign.find("Origin: http://127.0.0.1"), 24, "Origin: http://evil.example");
  EXPECT_EQ(statusOf(ask(foreign)), "HTTP/1.1 403 Forbidden");
  std::string tokenless = formPost(ask("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"), "Location_0003", "Evil");
  tokenless.replace(tokenless.find("csrf="), 5, "xsrf=");
  EXPECT_EQ(statusOf(ask(tokenless)), "HTTP/1.1 403 Forbidden");
  EXPECT_EQ(location("0003"), "Room 3");

  // A restart that adds a device before the others.
  const std::string stale = ask("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  node.stop();
  {
    std::ifstream in(dir / "Config" / "Quillon.ini");
    std::string ini((std::istreambuf_iterator<char>(in)), {});
    ini += "0000A=0000A~2~~False~~06/12/2026 11:00:00~Added~0000A~False~True~False~0~~Temperature~False~4.7~\r\n";
    std::ofstream(dir / "Config" / "Quillon.ini") << ini;
  }
  ASSERT_TRUE(node.start({QUILLON_BINARY, "--app-dir", dir.string(), "--headless"}, (dir / "node.out").string()));
  for (int i = 0; i < 300 && quillon::test::httpGet(port, "/StyleNoBody.css").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(statusOf(ask(formPost(stale, "Location_0004", "Moved"))), "HTTP/1.1 403 Forbidden");
  for (const char* code : {"0000A", "0003", "0004", "0005"}) EXPECT_NE(location(code), "Moved") << code;
  EXPECT_EQ(location("0000A"), "Added");
  EXPECT_EQ(location("0004"), "Room 4");
}

}  // namespace
