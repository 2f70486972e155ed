// Bounded load test of the HTTP server on 127.0.0.1. The server runs on the Qt loop of the main
// thread; a client thread drives plain non-blocking sockets:
//   1. 200 concurrent clients fetch pages for 20 s (each reconnects after its answer or close);
//   2. 100 slow clients hold connections with an unfinished request head, trickling a header line
//      every few seconds and reconnecting a second after the server closes them, while one normal
//      client fetches pages one after another.
// Every request must be answered or cleanly closed (none may hang), the server's open-socket count
// must return to 0 and its memory must stay bounded. Exit status 0 when all of that holds.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/node_context.h"
#include "http/http_server.h"
#include "platform/qt/qt_platform.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace quillon;

namespace {

constexpr int kConcurrent = 200;
constexpr int kLoadSeconds = 20;
constexpr int kSlowClients = 100;
constexpr int kSlowSeconds = 15;
constexpr int kAnswerLimitSeconds = 40;  // longer than the server's idle time-out: past it a request hangs

long rssKb() {
  std::ifstream in("/proc/self/status");
  std::string key;
  long value = 0;
  while (in >> key) {
    if (key == "VmRSS:") {
      in >> value;
      return value;
    }
    in.ignore(4096, '\n');
  }
  return 0;
}

struct Tally {
  long answered = 0, closed = 0, hung = 0, connectFailed = 0;
};

// One client connection as a small state machine on a non-blocking socket.
struct Client {
  int fd = -1;
  std::string out;  // still to send
  std::string in;
  Clock::time_point started;
  bool slow = false;
  Clock::time_point nextTrickle;
  Clock::time_point reconnectAt;

  void closeFd() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

bool openTo(Client& c, int port, const std::string& request) {
  c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  if (c.fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(c.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
    c.closeFd();
    return false;
  }
  c.out = request;
  c.in.clear();
  c.started = Clock::now();
  return true;
}

// Sends and reads what the socket allows. Returns true when the exchange is over (tally updated).
bool step(Client& c, short revents, Tally& t) {
  if ((revents & POLLOUT) && !c.out.empty()) {
    ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
    if (n > 0) c.out.erase(0, static_cast<std::size_t>(n));
  }
  if (revents & (POLLIN | POLLHUP | POLLERR)) {
    char buf[65536];
    for (;;) {
      ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
      if (n > 0) {
        if (c.in.size() < 64) c.in.append(buf, static_cast<std::size_t>(n));
        continue;
      }
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {  // closed, or reset
        if (c.in.rfind("HTTP/1.", 0) == 0) ++t.answered;
        else ++t.closed;
        c.closeFd();
        return true;
      }
      break;
    }
  }
  if (Clock::now() - c.started > std::chrono::seconds(kAnswerLimitSeconds)) {
    ++t.hung;
    c.closeFd();
    return true;
  }
  return false;
}

void pollAll(std::vector<Client*>& clients, int timeoutMs, const std::function<void(Client&, short)>& each) {
  std::vector<pollfd> fds;
  std::vector<Client*> who;
  for (Client* c : clients) {
    if (c->fd < 0) continue;
    fds.push_back({c->fd, static_cast<short>(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
    who.push_back(c);
  }
  if (fds.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return;
  }
  ::poll(fds.data(), fds.size(), timeoutMs);
  for (std::size_t k = 0; k < fds.size(); ++k) each(*who[k], fds[k].revents);
}

const char* kPage = "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
const char* kPicture = "GET /pic.png HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";

// Phase 1: kConcurrent clients, each starting a new request when its last one is over.
Tally concurrentLoad(int port) {
  Tally t;
  std::vector<Client> pool(kConcurrent);
  std::vector<Client*> all;
  for (Client& c : pool) all.push_back(&c);
  const auto end = Clock::now() + std::chrono::seconds(kLoadSeconds);
  long started = 0;
  auto start = [&](Client& c) {
    if (!openTo(c, port, started++ % 10 == 0 ? kPicture : kPage)) ++t.connectFailed;
  };
  for (Client& c : pool) start(c);
  const auto drainEnd = end + std::chrono::seconds(kAnswerLimitSeconds + 5);
  while (Clock::now() < drainEnd) {
    bool any = false;
    pollAll(all, 20, [&](Client& c, short ev) {
      if (step(c, ev, t) && Clock::now() < end) start(c);
    });
    for (Client& c : pool) {
      if (c.fd < 0 && Clock::now() < end) start(c);
      any = any || c.fd >= 0;
    }
    if (!any && Clock::now() >= end) break;
  }
  for (Client& c : pool) c.closeFd();
  return t;
}

// Phase 2: slow clients hold the pool while one normal client fetches pages.
Tally slowClients(int port, Tally& slowTally) {
  Tally normal;
  std::vector<Client> slow(kSlowClients);
  Client one;
  std::vector<Client*> all{&one};
  for (Client& c : slow) {
    c.slow = true;
    all.push_back(&c);
  }
  const auto end = Clock::now() + std::chrono::seconds(kSlowSeconds);
  auto openSlow = [&](Client& c) {
    if (!openTo(c, port, "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n")) ++slowTally.connectFailed;
    c.nextTrickle = Clock::now() + std::chrono::seconds(3);
  };
  for (Client& c : slow) openSlow(c);
  openTo(one, port, kPage);
  while (Clock::now() < end || one.fd >= 0) {
    pollAll(all, 20, [&](Client& c, short ev) {
      if (!c.slow) {
        if (step(c, ev, normal) && Clock::now() < end) openTo(c, port, kPage);
        return;
      }
      char buf[4096];
      if ((ev & (POLLIN | POLLHUP | POLLERR)) && ::recv(c.fd, buf, sizeof buf, 0) <= 0) {
        ++slowTally.closed;  // swept or timed out by the server
        c.closeFd();
        c.reconnectAt = Clock::now() + std::chrono::seconds(1);
      }
    });
    const auto now = Clock::now();
    for (Client& c : slow) {
      if (now >= end) {
        c.closeFd();
      } else if (c.fd < 0 && now >= c.reconnectAt) {
        openSlow(c);
      } else if (c.fd >= 0 && now >= c.nextTrickle) {
        ::send(c.fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL);
        c.nextTrickle = now + std::chrono::seconds(3);
      }
    }
    if (one.fd < 0 && now < end) openTo(one, port, kPage);
    if (now > end + std::chrono::seconds(kAnswerLimitSeconds + 5)) break;
  }
  one.closeFd();
  return normal;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  quint16 port = 0;
  {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 2;
    port = probe.serverPort();
  }
  const fs::path dir = fs::temp_directory_path() / ("quillon-http-load-" + std::to_string(::getpid()));
  fs::create_directories(dir / "Config");
  fs::create_directories(dir / "HTML");
  fs::create_directories(dir / "Data");
  std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\nHTTPPort=" << port << "\n";
  std::ofstream(dir / "HTML" / "pic.png", std::ios::binary) << std::string(20000, 'p');

  auto platform = platform::createQtPlatform();
  core::NodeContext ctx(*platform, core::AppPaths{dir.string(), ""});
  http::HttpServer server(ctx);
  server.start();
  if (!server.running()) return 2;

  const long rssStart = rssKb();
  long rssMax = rssStart;
  Tally load, normal, slow;
  std::atomic<bool> clientsDone{false};
  std::thread clients([&] {
    load = concurrentLoad(port);
    normal = slowClients(port, slow);
    clientsDone = true;
  });
  int afterMs = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    rssMax = std::max(rssMax, rssKb());
    if (!clientsDone) return;
    afterMs += 100;
    if (server.socketsOpen() == 0 || afterMs > 5000) app.quit();
  });
  watch.start(100);
  app.exec();
  clients.join();
  const int openAtEnd = server.socketsOpen();
  const long rssEnd = rssKb();
  server.stop();
  fs::remove_all(dir);

  std::printf("phase 1 (%d clients, %d s): %ld answered, %ld closed without answer, %ld hung, %ld connect failures\n",
              kConcurrent, kLoadSeconds, load.answered, load.closed, load.hung, load.connectFailed);
  std::printf("phase 2 (%d slow clients, %d s): normal client %ld answered, %ld closed, %ld hung; slow connections "
              "closed by the server %ld\n",
              kSlowClients, kSlowSeconds, normal.answered, normal.closed, normal.hung, slow.closed);
  std::printf("sockets open at the end: %d; memory (RSS) %ld kB at start, %ld kB peak, %ld kB at the end\n", openAtEnd,
              rssStart, rssMax, rssEnd);
  const bool ok = load.hung == 0 && normal.hung == 0 && load.answered > 0 && openAtEnd == 0 &&
                  rssMax - rssStart < 64 * 1024;
  std::printf("%s\n", ok ? "load test passed" : "load test FAILED");
  return ok ? 0 : 1;
}
