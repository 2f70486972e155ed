// The real node on real serial lines: a socat pseudo-terminal pair stands for the receiver's (or
// the transmitter's) serial port, and ser2net in front of it for a serial-to-network adapter. A
// device unplugged and plugged back, short and long, an adapter restart, and the transmitter
// link after its device came back, as a user meets them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <termios.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <thread>

#include "support/child_process.h"
#include "support/node_process.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using quillon::test::ChildProcess;
using quillon::test::readWholeFile;

namespace {

using Clock = std::chrono::steady_clock;

std::string hex(const std::string& h) {
  std::string out;
  for (std::size_t i = 0; i + 1 < h.size(); i += 3) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  return out;
}

const std::string kModeCommand("\xF0\x2C", 2);
// One packet of each family the sample house sends, in 48-bit mode.
const char* const kMixedFeed[] = {"20 60 9F 00 FF", "20 21 D0 15 81", "50 1A 2D 10 E5 02 21 50 38 39 4B", "20 3C 33 0C F3",
                                  "3C CA 48 10 7B 50 21 30 03", "2C 12 34 14 15 14 40", "30 45 B5 01 2C 00 07",
                                  "60 5A 6D 00 7A 10 23 30 83 86 C3 5A 00"};

bool onPath(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

long long msSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class SerialLine : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"socat", "ser2net"})
      ASSERT_TRUE(onPath(tool)) << tool << " is not installed (scripts/install-deps.sh installs it)";
    dir = quillon::test::freshTestFolder("quillon-line");
    fs::copy(QUILLON_SHARE, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    httpPort = quillon::test::freeTcpPort();
  }
  void TearDown() override {
    for (int fd : fds) ::close(fd);
    node.stop();
  }

  // A pseudo-terminal pair: the node's device at `device`, the test's end at `far`.
  void plug(ChildProcess& socat, const fs::path& device, const fs::path& far) {
    ASSERT_TRUE(socat.start({"socat", "pty,raw,echo=0,link=" + device.string(), "pty,raw,echo=0,link=" + far.string()}));
    for (int i = 0; i < 100 && !(fs::exists(device) && fs::exists(far)); ++i) std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(fs::exists(device) && fs::exists(far));
  }
  int openFar(const fs::path& far) {
    int fd = ::open(far.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << far;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    fds.push_back(fd);
    return fd;
  }
  // What arrives on fd until `want` bytes came or ms passed.
  static std::string readFor(int fd, std::size_t want, int ms) {
    std::string got;
    const auto start = Clock::now();
    while (got.size() < want && msSince(start) < ms) {
      char buf[256];
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
      else std::this_thread::sleep_for(10ms);
    }
    return got;
  }
  static void send(int fd, const std::string& bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    std::this_thread::sleep_for(30ms);  // one receive event each
  }
  void startNode(const std::string& w800Keys) {
    std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\r\nHTTPPort=" << httpPort << "\r\nDebugLog=1\r\n" << w800Keys;
    ASSERT_TRUE(node.start({QUILLON_BINARY, "--app-dir", dir.string(), "--headless"}, (dir / "stderr.txt").string()));
    ASSERT_TRUE(quillon::test::waitForText(logFile(), "| Quillon Started")) << log();
  }
  fs::path logFile() const { return dir / "Data" / "Quillon.txt"; }
  std::string log() const { return readWholeFile(logFile()); }
  int count(const std::string& text) const {
    const std::string l = log();
    int n = 0;
    for (std::size_t at = l.find(text); at != std::string::npos; at = l.find(text, at + 1)) ++n;
    return n;
  }
  // A number of the receiver's entry of /api/links ("packets", "reconnects").
  long linkNumber(const std::string& key) {
    const std::string answer = quillon::test::httpGet(httpPort, "/api/links");
    std::smatch m;
    if (!std::regex_search(answer, m, std::regex("\"receiver\":\\{[^}]*\"" + key + "\":([0-9]+)"))) return -1;
    return std::stol(m[1]);
  }
  bool waitUntil(const std::function<bool()>& done, int ms) {
    const auto start = Clock::now();
    while (!done() && msSince(start) < ms) std::this_thread::sleep_for(50ms);
    return done();
  }
  void feedMixed(int fd) {
    for (const char* p : kMixedFeed) send(fd, hex(p));
  }
  // The receiver answers the mode command and sends one packet: the node decodes it.
  void answerAndSendOne(int fd, long packetsAfter) {
    send(fd, "\x2C");
    send(fd, hex("20 60 9F 20 DF"));
    EXPECT_TRUE(waitUntil([&] { return linkNumber("packets") == packetsAfter; }, 5000)) << linkNumber("packets");
  }
  // The node's CPU seconds over the next `seconds`.
  double cpuOver(int seconds) {
    const double before = node.cpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return node.cpuSeconds() - before;
  }

  fs::path dir;
  int httpPort = 0;
  ChildProcess node;
  std::vector<int> fds;
};

// Decoding over a tty; the device vanishes (short and for a minute): one line, no CPU; back under
// the same name it is reopened, asked for its mode again and decoded from within seconds.
TEST_F(SerialLine, ReceiverUnpluggedAndPluggedBack) {
  ChildProcess socat;
  const fs::path device = dir / "ttyRX", far = dir / "receiver";
  plug(socat, device, far);
  startNode("SerialPort=" + device.string() + "\r\nMode=1\r\n");
  int fd = openFar(far);
  EXPECT_EQ(readFor(fd, 2, 10000), kModeCommand);
  send(fd, "\x2C");
  feedMixed(fd);
  EXPECT_TRUE(waitUntil([&] { return linkNumber("packets") == 8; }, 10000)) << linkNumber("packets");
  EXPECT_TRUE(waitUntil([&] { return count("Receiver confirmed 48 bit mode configuration") == 1; }, 3000)) << log();

  long packets = 8;
  for (int awaySeconds : {3, 60}) {
    SCOPED_TRACE("away " + std::to_string(awaySeconds) + " s");
    ::close(fd);
    fds.pop_back();
    socat.stop();
    ASSERT_TRUE(waitUntil([&] { return count("lost: ") == (awaySeconds == 3 ? 1 : 2); }, 5000)) << log();
    const double cpu = cpuOver(awaySeconds);
    std::cout << "[ measure ] CPU while the port was gone for " << awaySeconds << " s: " << cpu << " s\n";
    EXPECT_LT(cpu, 0.01 * awaySeconds + 0.05);

    const auto back = Clock::now();
    plug(socat, device, far);
    fd = openFar(far);
    EXPECT_EQ(readFor(fd, 2, 8000), kModeCommand);
    const long long resumeMs = msSince(back);
    std::cout << "[ measure ] mode command " << resumeMs << " ms after the port came back\n";
    EXPECT_LE(resumeMs, 6500);
    answerAndSendOne(fd, ++packets);
  }
  EXPECT_EQ(linkNumber("reconnects"), 2);
  // The log reaches its file within a second.
  EXPECT_TRUE(waitUntil([&] { return count("Receiver confirmed 48 bit mode configuration") == 3; }, 3000)) << log();
  EXPECT_EQ(count("open again after"), 2);
  EXPECT_EQ(count("serial port error"), 0);
  const int status = node.stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Through a serial-to-network adapter: the adapter restarts, the node connects again and the
// receiver behind it gets its mode command again.
TEST_F(SerialLine, Ser2netAdapterRestart) {
  ChildProcess socat, ser2net;
  const fs::path device = dir / "ttyA", far = dir / "receiver";
  plug(socat, device, far);
  const int tcpPort = quillon::test::freeTcpPort();
  const fs::path conf = dir / "ser2net.yaml";
  std::ofstream(conf) << "connection: &receiver\n  accepter: tcp,127.0.0.1," << tcpPort << "\n  connector: serialdev,"
                      << device.string() << ",4800n81,local\n";
  const std::vector<std::string> ser2netArgs{"ser2net", "-n", "-c", conf.string()};
  ASSERT_TRUE(ser2net.start(ser2netArgs, (dir / "ser2net.txt").string()));
  ASSERT_TRUE(waitUntil([&] { return quillon::test::tcpListening(tcpPort); }, 5000)) << readWholeFile(dir / "ser2net.txt");
  startNode("SerialIP=127.0.0.1\r\nSerialPort=" + std::to_string(tcpPort) + "\r\nMode=1\r\n");
  int fd = openFar(far);
  EXPECT_EQ(readFor(fd, 2, 15000), kModeCommand);
  send(fd, "\x2C");
  feedMixed(fd);
  EXPECT_TRUE(waitUntil([&] { return linkNumber("packets") == 8; }, 10000)) << linkNumber("packets");

  ser2net.stop();
  const auto restart = Clock::now();
  ASSERT_TRUE(ser2net.start(ser2netArgs, (dir / "ser2net.txt").string()));
  EXPECT_EQ(readFor(fd, 2, 20000), kModeCommand);
  const long long resumeMs = msSince(restart);
  std::cout << "[ measure ] mode command " << resumeMs << " ms after the adapter restarted\n";
  EXPECT_LE(resumeMs, 10000);
  answerAndSendOne(fd, 9);
  EXPECT_TRUE(waitUntil([&] { return count("Receiver confirmed 48 bit mode configuration") == 2; }, 3000)) << log();
  EXPECT_EQ(count("Receiver IP Connection Closed"), 1) << log();
  EXPECT_EQ(linkNumber("reconnects"), 1);
}

// An xAPBSC.cmd reaches the transmitter on its tty, also after the device went away and came back.
TEST_F(SerialLine, TransmitterCommandAfterThePortCameBack) {
  ChildProcess socat;
  const fs::path device = dir / "ttyTX", far = dir / "transmitter";
  plug(socat, device, far);
  startNode("TxSerialPort=" + device.string() + "\r\n");
  // The node's own hub (StartHub=1 in the bundled folder) forwards to it.
  ASSERT_TRUE(waitUntil([&] { return count("xAP hub: client ovk.W800.") == 1; }, 5000)) << log();
  const int xapPort = 3639;
  auto command = [&](const std::string& what) {
    const std::string datagram = "xap-header\n{\nv=12\nhop=1\nuid=FF.0099:00\nclass=xAPBSC.cmd\nsource=test.client.x\n"
                                 "target=ovk.W800.*:*\n}\noutput.state.1\n{\nID=1\nText=" + what + "\n}\n";
    int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(xapPort));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(s, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::close(s);
  };
  int fd = openFar(far);
  command("A1 ON");
  EXPECT_EQ(readFor(fd, 5, 5000), "A1 ON");

  ::close(fd);
  fds.pop_back();
  socat.stop();
  ASSERT_TRUE(waitUntil([&] { return count("RFXCOM Xmitter serial port " + device.string() + " lost") == 1; }, 5000)) << log();
  plug(socat, device, far);
  fd = openFar(far);
  ASSERT_TRUE(waitUntil([&] { return count("RFXCOM Xmitter serial port " + device.string() + " open again") == 1; }, 8000)) << log();
  command("A1 OFF");
  EXPECT_EQ(readFor(fd, 6, 5000), "A1 OFF");
}

}  // namespace
