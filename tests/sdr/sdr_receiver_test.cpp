// The SDR receiver's sources on the virtual clock: the rtl_433 child (restarts with back-off, its
// error output, a missing program), a TCP source and a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/node_assembly.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

const std::string kLine =
    R"({"model":"Oregon-THGR122N","id":229,"channel":1,"battery_ok":1,"temperature_C":21.5,"humidity":45})" "\n";

class SdrReceiverTest : public ::testing::Test {
 protected:
  SdrReceiverTest() { dir = test::freshTestFolder("quillon-sdr-rx"); }
  ~SdrReceiverTest() override {
    if (node) node->shutdown();
    node.reset();
    fs::remove_all(dir);
  }
  void startWith(const std::string& keys) {
    std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n";
    std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\nMetric=1\nHTTPPort=0\n" << keys;
    node = std::make_unique<app::NodeAssembly>(platform, core::AppPaths{dir.string(), ""});
    ASSERT_TRUE(node->start());
  }
  int logged(const std::string& what) const {
    int n = 0;
    for (auto* s : platform.udpSockets)
      for (const auto& m : s->sent) n += m.data.find(what) != std::string::npos;
    return n;
  }
  test::FakeChildProcess* child() { return platform.children.empty() ? nullptr : platform.children.back(); }

  test::FakePlatform platform;
  fs::path dir;
  std::unique_ptr<app::NodeAssembly> node;
};

TEST_F(SdrReceiverTest, TheChildIsRunRestartedWithBackOffAndStoppedWithTheNode) {
  startWith("Rtl433Command=rtl_433 -F json -M \"time:unix:usec\" -M protocol\n");
  ASSERT_NE(child(), nullptr);
  EXPECT_EQ(child()->program, "rtl_433");
  EXPECT_EQ(child()->args, (std::vector<std::string>{"-F", "json", "-M", "time:unix:usec", "-M", "protocol"}));
  child()->emitStdout(kLine.substr(0, 30));  // lines arrive in pieces
  child()->emitStdout(kLine.substr(30));
  EXPECT_NE(node->registry().device("1A2D_1E5"), nullptr);
  EXPECT_TRUE(node->sdrReceiver().status().open);

  // A child that ends at once, again and again: restarted after 1, 2, 5 ... up to 60 s, so ten
  // minutes of it are a few dozen starts, and one log line says so.
  std::uint64_t exits = 0;
  for (int i = 0; i < 600 && child(); ++i) {
    if (child()->running()) child()->exit(1), ++exits;
    platform.time().advance(1000);
  }
  EXPECT_LE(child()->starts, 20);
  EXPECT_GE(child()->starts, 10);
  EXPECT_EQ(logged("rtl_433 ended with exit code 1"), 1);
  EXPECT_EQ(node->sdrReceiver().restarts(), exits);

  // A run of more than a minute starts the back-off again.
  platform.time().advance(60000);
  ASSERT_TRUE(child()->running());
  platform.time().advance(61000);
  const int before = child()->starts;
  child()->exit(0);
  platform.time().advance(1000);
  EXPECT_EQ(child()->starts, before + 1);

  node->shutdown();
  EXPECT_TRUE(platform.children.empty());  // stopped and gone with the node
}

TEST_F(SdrReceiverTest, AMissingProgramIsOneLogLineAndTheNodeRunsOn) {
  startWith("Rtl433Command=rtl_433_not_installed -F json\n");
  platform.time().advance(600000);
  EXPECT_EQ(logged("rtl_433 could not be started"), 1);
  EXPECT_FALSE(node->sdrReceiver().status().open);
  node->receiveProcessor().processCommData(std::string("\x60\x9F\x00\xFF", 4));  // the serial receiver still works
  EXPECT_NE(node->registry().device("A1"), nullptr);
}

TEST_F(SdrReceiverTest, ErrorOutputIsLoggedLineByLineAtMostTenAMinute) {
  startWith("Rtl433Command=rtl_433\n");
  child()->emitStderr("Found Rafael Micro R820T tuner\nusb_claim_interface error -6\n");
  EXPECT_EQ(logged("rtl_433: usb_claim_interface error -6"), 1);
  for (int i = 0; i < 100; ++i) child()->emitStderr("noise " + std::to_string(i) + "\n");
  platform.time().advance(61000);
  child()->emitStderr("later\n");
  // At most 8 more this minute (the log's own limit on one kind of line may keep fewer).
  EXPECT_GE(logged("rtl_433: noise"), 1);
  EXPECT_LE(logged("rtl_433: noise"), 8);
  EXPECT_EQ(logged("92 more lines of rtl_433's error output not logged"), 1);
  EXPECT_EQ(logged("rtl_433: later"), 1);
}

TEST_F(SdrReceiverTest, ATcpSourceIsReadAndReconnected) {
  startWith("Rtl433Source=tcp:127.0.0.1:1234\n");
  ASSERT_FALSE(platform.tcpClients.empty());
  auto* tcp = platform.tcpClients.back();
  EXPECT_EQ(tcp->host, "127.0.0.1");
  EXPECT_EQ(tcp->port, 1234);
  tcp->acceptConnection();
  tcp->deliver(kLine);
  EXPECT_NE(node->registry().device("1A2D_1E5"), nullptr);
  tcp->farEndClose();
  EXPECT_FALSE(node->sdrReceiver().status().open);
  platform.time().advance(1000);
  ASSERT_FALSE(platform.tcpClients.empty());
  platform.tcpClients.back()->acceptConnection();
  EXPECT_TRUE(node->sdrReceiver().status().open);
  EXPECT_EQ(node->sdrReceiver().status().kind, "tcp");
  EXPECT_EQ(node->sdrReceiver().status().reconnects, 1u);
}

TEST_F(SdrReceiverTest, AFileIsReadToItsEndInBoundedChunks) {
  const fs::path file = dir / "recorded.json";
  {
    std::ofstream out(file);
    for (int i = 0; i < 3000; ++i) out << kLine;  // about 300 KB: more than one poll's chunk
  }
  startWith("Rtl433Source=" + file.string() + "\n");
  platform.time().advance(100);
  EXPECT_LT(node->sdrReceiver().lines(), 3000u);
  platform.time().advance(2000);
  EXPECT_EQ(node->sdrReceiver().lines(), 3000u);
  EXPECT_NE(node->sdrReceiver().status().summary(platform.clock().now()).find("read to its end"), std::string::npos);
  EXPECT_EQ(logged("read to its end"), 1);
}

}  // namespace
