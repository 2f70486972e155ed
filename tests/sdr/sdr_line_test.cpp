// The real node with two receivers at once: a socat pseudo-terminal for the serial receiver and a
// named pipe of rtl_433 lines (made by the real rtl_433 from a demodulated test code). An X10 press
// heard by both counts once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/child_process.h"
#include "support/node_process.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

bool onPath(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

std::string rtl433Line(const std::string& code) {
  std::string out;
  const std::string cmd = "rtl_433 -R 22 -F json -M time:unix:usec -M protocol -y '" + code + "' 2>/dev/null";
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[4096];
    while (std::fgets(buf, sizeof buf, p))
      if (buf[0] == '{') out = buf;
    ::pclose(p);
  }
  return out;
}

int occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(SdrLine, APressHeardByTheSerialAndTheSdrReceiverCountsOnce) {
  if (!onPath("rtl_433")) GTEST_SKIP() << "rtl_433 is not installed (apt install rtl-433)";
  ASSERT_TRUE(onPath("socat")) << "socat is not installed (scripts/install-deps.sh installs it)";
  const fs::path dir = quillon::test::freshTestFolder("quillon-sdr-line");
  fs::copy(QUILLON_SHARE, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  const fs::path device = dir / "ttyW800", far = dir / "ttyFar", pipe = dir / "rtl433.pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  quillon::test::ChildProcess socat, node;
  ASSERT_TRUE(socat.start({"socat", "pty,raw,echo=0,link=" + device.string(), "pty,raw,echo=0,link=" + far.string()}));
  for (int i = 0; i < 100 && !(fs::exists(device) && fs::exists(far)); ++i) std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(fs::exists(far));

  std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\r\nHTTPPort=0\r\nDebugLog=1\r\nMode=0\r\nDebounceInterval=2000\r\n"
                                                << "SerialPort=" << device.string() << "\r\nRtl433Source=" << pipe.string()
                                                << "\r\n";
  ASSERT_TRUE(node.start({QUILLON_BINARY, "--app-dir", dir.string(), "--headless"}, (dir / "stderr.txt").string()));
  const fs::path log = dir / "Data" / "Quillon.txt";
  ASSERT_TRUE(quillon::test::waitForText(log, "| Quillon Started")) << quillon::test::readWholeFile(log);

  const std::string line = rtl433Line("{8}00{32}609f00ff");  // X10 A1 ON
  ASSERT_NE(line.find("X10-RF"), std::string::npos);
  const int serial = ::open(far.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(serial, 0);
  termios t{};
  ::tcgetattr(serial, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(serial, TCSANOW, &t);
  const int sdr = ::open(pipe.c_str(), O_WRONLY);  // the node holds the pipe open for reading
  ASSERT_GE(sdr, 0);
  ASSERT_EQ(::write(serial, "\x60\x9F\x00\xFF", 4), 4);
  ASSERT_EQ(::write(sdr, line.data(), line.size()), static_cast<ssize_t>(line.size()));

  ASSERT_TRUE(quillon::test::waitForText(log, "Debounce Discard of A1")) << quillon::test::readWholeFile(log);
  std::this_thread::sleep_for(500ms);
  const std::string text = quillon::test::readWholeFile(log);
  EXPECT_EQ(occurrences(text, "Debounce Discard of A1=ON"), 1) << text;
  EXPECT_EQ(occurrences(text, "| A1=ON"), 1) << text;  // the one accepted press, from whichever came first
  ::close(sdr);
  ::close(serial);
  node.stop();
  socat.stop();
  fs::remove_all(dir);
}

// The node runs the real rtl_433 itself: here one that prints a test code's line and ends at once,
// as rtl_433 without a stick ends. Each run's line is decoded, the child is started again with
// back-off, its error output is logged, and the node does not spin meanwhile.
TEST(SdrLine, TheNodeRunsRtl433AndRestartsItWhenItEnds) {
  if (!onPath("rtl_433")) GTEST_SKIP() << "rtl_433 is not installed (apt install rtl-433)";
  const fs::path dir = quillon::test::freshTestFolder("quillon-sdr-child");
  fs::copy(QUILLON_SHARE, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  std::ofstream(dir / "Config" / "Quillon.ini")
      << "[W800]\r\nHTTPPort=0\r\nDebugLog=1\r\nDebounceInterval=200\r\n"
      << "Rtl433Command=rtl_433 -R 22 -F json -M protocol -y \"{8}00{32}609f00ff\"\r\n";
  quillon::test::ChildProcess node;
  ASSERT_TRUE(node.start({QUILLON_BINARY, "--app-dir", dir.string(), "--headless"}, (dir / "stderr.txt").string()));
  const fs::path log = dir / "Data" / "Quillon.txt";
  ASSERT_TRUE(quillon::test::waitForText(log, "rtl_433 ended with exit code 0")) << quillon::test::readWholeFile(log);
  const double cpuBefore = node.cpuSeconds();
  std::this_thread::sleep_for(5s);  // restarts after 1 s and 2 s more
  const double cpu = node.cpuSeconds() - cpuBefore;
  const std::string text = quillon::test::readWholeFile(log);
  EXPECT_GE(occurrences(text, "SDR: X10-RF: 60, 9F, 00, FF"), 2) << text;
  EXPECT_EQ(occurrences(text, "| Quillon SDR receiver: rtl_433 ended with exit code 0"), 1) << text;  // one line for the run of ends
  EXPECT_GE(occurrences(text, "rtl_433: rtl_433 version"), 1) << text;         // its stderr, as lines
  EXPECT_LT(cpu, 2.0);
  node.stop();
  fs::remove_all(dir);
}

}  // namespace
