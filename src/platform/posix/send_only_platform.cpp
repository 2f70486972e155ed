#include "platform/posix/send_only_platform.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace quillon::platform {

namespace {

class PosixUdpSocket : public UdpSocket {
 public:
  ~PosixUdpSocket() override { close(); }
  bool bind(std::uint16_t port, bool share) override { return bindTo("0.0.0.0", port, share); }
  bool bindTo(const std::string& address, std::uint16_t port, bool share) override {
    close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return fail();
    int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (share) ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) {
      error_ = "bad address " + address;
      close();
      return false;
    }
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      fail();
      close();
      return false;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    return true;
  }
  void close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  std::uint16_t localPort() const override { return port_; }
  bool sendTo(const std::string& data, const std::string& address, std::uint16_t port) override {
    if (fd_ < 0 && !bindTo("0.0.0.0", 0, false)) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) {
      error_ = "bad address " + address;
      return false;
    }
    if (::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) return fail();
    return true;
  }
  std::string errorString() const override { return error_; }

 private:
  bool fail() {
    error_ = std::strerror(errno);
    return false;
  }
  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::string error_;
};

class SendOnlyPlatform : public Platform, public Clock, public EventLoop {
 public:
  EventLoop& loop() override { return *this; }
  Clock& clock() override { return *this; }
  std::unique_ptr<SerialPort> createSerialPort() override { return nullptr; }
  std::unique_ptr<TcpClient> createTcpClient() override { return nullptr; }
  std::unique_ptr<UdpSocket> createUdpSocket() override { return std::make_unique<PosixUdpSocket>(); }
  std::unique_ptr<TcpListener> createTcpListener() override { return nullptr; }
  std::string machineName() override {
    char buf[256] = {};
    return ::gethostname(buf, sizeof buf - 1) == 0 ? std::string(buf) : std::string("localhost");
  }
  std::vector<NetworkInterface> networkInterfaces() override {
    std::vector<NetworkInterface> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return out;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
      if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
      char addr[INET_ADDRSTRLEN] = {}, bcast[INET_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr, addr, sizeof addr);
      if ((i->ifa_flags & IFF_BROADCAST) && i->ifa_broadaddr)
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(i->ifa_broadaddr)->sin_addr, bcast, sizeof bcast);
      out.push_back(NetworkInterface{i->ifa_name, addr, bcast, (i->ifa_flags & IFF_LOOPBACK) != 0});
    }
    ::freeifaddrs(list);
    return out;
  }
  bool openWithDesktop(const std::string&) override { return false; }
  bool startDetached(const std::string&, const std::vector<std::string>&) override { return false; }

  util::DateTime now() const override {
    using namespace std::chrono;
    auto t = system_clock::now();
    std::time_t secs = system_clock::to_time_t(t);
    std::tm tm{};
    ::localtime_r(&secs, &tm);
    int ms = static_cast<int>(duration_cast<milliseconds>(t.time_since_epoch()).count() % 1000);
    return util::DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms};
  }
  std::int64_t monotonicMs() const override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  // Nothing waits here: posted work and timers (heartbeats) are dropped.
  void post(std::function<void()>) override {}
  TimerId startTimer(Millis, bool, std::function<void()>) override { return ++lastId_; }
  void stopTimer(TimerId) override {}
  void quit() override {}

 private:
  TimerId lastId_ = 0;
};

}  // namespace

std::unique_ptr<Platform> createSendOnlyPlatform() { return std::make_unique<SendOnlyPlatform>(); }

}  // namespace quillon::platform
