// The links on fakes and virtual time: serial and TCP opens, the paced tries and their texts,
// reconnection, the serial back-off after a loss, the silence watch, and the write rules.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/node_context.h"
#include "rflink/rf_link.h"
#include "support/fake_platform.h"

using namespace quillon;
using rflink::LinkEndpoint;

namespace {

class Links : public ::testing::Test {
 protected:
  Links() : ctx(platform, core::AppPaths{(std::filesystem::temp_directory_path() / "quillon-rflink").string(), ""}) {
    ctx.log.setXapSender([this](const std::string&, const std::string&, const std::string& t) { logged.push_back(t); });
  }
  void makeLinks() {
    links = std::make_unique<rflink::RfLinks>(ctx);
    links->receiver().onStatus([this](const std::string& s) { status.push_back(s); });
    links->receiver().onData([this](const std::string& b, int code) { received.push_back(b + std::to_string(code)); });
    links->receiver().onOpened([this] { ++opened; });
  }
  int count(const std::string& text) const {
    int n = 0;
    for (const auto& l : logged) n += l.find(text) != std::string::npos;
    return n;
  }
  test::FakeTcpClient& tcp() { return *platform.tcpClients.back(); }
  void advance(std::int64_t ms) { platform.time().advance(ms); }

  test::FakePlatform platform;
  core::NodeContext ctx;
  std::unique_ptr<rflink::RfLinks> links;
  std::vector<std::string> logged, status, received;
  int opened = 0;
};

TEST(SerialDevicePath, NumbersAndPaths) {
  const std::pair<const char*, const char*> cases[] = {{"1", "/dev/ttyS0"}, {" 3 ", "/dev/ttyS2"}, {"/dev/ttyUSB0", "/dev/ttyUSB0"},
                                                       {"/dev/serial/by-id/usb-1", "/dev/serial/by-id/usb-1"}, {"0", ""}, {"abc", ""}, {"300", ""}};
  for (const auto& [in, out] : cases) EXPECT_EQ(rflink::serialDevicePath(in), out) << in;
}

TEST_F(Links, SerialLinksOpenDeliverAndWrite) {
  ctx.settings.serialPort = "1";
  ctx.settings.serialIp = "adapter";  // no "." : still the serial port
  ctx.settings.txSerialPort = "2";
  makeLinks();
  EXPECT_TRUE(links->initCommPort());
  links->initW800();
  ASSERT_EQ(platform.serialPorts.size(), 2u);
  auto& rx = *platform.serialPorts[0];
  auto& tx = *platform.serialPorts[1];
  EXPECT_EQ(rx.device + " " + tx.device + " " + std::to_string(rx.baudRate), "/dev/ttyS0 /dev/ttyS1 4800");
  EXPECT_EQ(count("W800 Comm Port 1 Opened") + count("Port 2 opened for RFXCOM Xmitter"), 2);
  EXPECT_EQ(count("opened for W800"), 0);  // already open from the start-up open
  EXPECT_EQ(status, std::vector<std::string>{"Port Open / 0 tries"});
  rx.deliver("ab");
  tx.deliver("ack");  // the transmitter's answers are dropped
  EXPECT_EQ(received, std::vector<std::string>{"ab2"});
  EXPECT_TRUE(links->sendToReceiver("\xF0)"));
  EXPECT_EQ(rx.written, "\xF0)");
  for (const auto& [id, sends] : {std::pair{"1", true}, {"01", true}, {"*", true}, {"2", false}, {"", false}, {"x", false}}) {
    tx.written.clear();
    EXPECT_EQ(links->sendToTransmitter(id, "A1ON"), sends) << id;
    EXPECT_EQ(tx.written, sends ? "A1ON" : "") << id;
  }
}

TEST_F(Links, TransmitterThatTakesNothingKeepsItsBufferAtTheCap) {
  ctx.settings.txSerialIp = "127.0.0.1";
  LinkEndpoint link(ctx, LinkEndpoint::Role::Transmitter);
  link.open("10002");
  tcp().acceptConnection();
  tcp().stalled = true;
  const std::string command(100, 'c');
  int accepted = 0;
  for (int i = 0; i < 10000; ++i) accepted += link.write(command);
  EXPECT_EQ(accepted, static_cast<int>(LinkEndpoint::kMaxWriteBacklog / command.size()));
  EXPECT_LE(tcp().unsent, LinkEndpoint::kMaxWriteBacklog);
  EXPECT_EQ(link.droppedWrites(), static_cast<std::uint64_t>(10000 - accepted));
  EXPECT_LE(count("write of 100 bytes dropped"), core::Logger::kBurstPerKind);
  tcp().unsent = 0;  // the adapter caught up
  EXPECT_TRUE(link.write(command));
}

TEST_F(Links, TcpTriesReconnectionAndSlowRetry) {
  const struct {
    LinkEndpoint::Role role;
    const char *fail, *closed, *error;
  } roles[] = {{LinkEndpoint::Role::Receiver, "Unable to connect to W800 via TCP 10001", "Receiver IP Connection Closed ", "W800 Winsock1_Error at State 9, 0 down"},
               {LinkEndpoint::Role::Transmitter, "Unable to connect to RFXCOM Xmitter via TCP 10001", "Transmitter IP Connection Closed ",
                "RFXCOM Winsock2_Error at State 9, 0 down"}};
  ctx.settings.serialIp = ctx.settings.txSerialIp = "192.168.1.50";
  for (const auto& r : roles) {
    logged.clear();
    status.clear();
    opened = 0;
    LinkEndpoint link(ctx, r.role);
    link.onStatus([this](const std::string& s) { status.push_back(s); });
    link.onOpened([this] { ++opened; });
    std::vector<bool> results;
    link.open("10001", [&](bool ok) { results.push_back(ok); });
    EXPECT_EQ(tcp().host + ":" + std::to_string(tcp().port), "192.168.1.50:10001");
    EXPECT_EQ(tcp().keepAlive, (std::vector<int>{60, 10, 3}));
    // A peer that never answers: one attempt and five repeats, 2 s apart, given up at 12 s; the
    // refused attempts on the way make no line each.
    advance(5000);
    tcp().fail();
    advance(6999);
    EXPECT_TRUE(results.empty());
    advance(1);
    EXPECT_EQ(results, std::vector<bool>{false});
    EXPECT_EQ(tcp().connectCalls, 6);
    EXPECT_EQ(count(r.fail), 1);
    EXPECT_EQ(count("Winsock"), 0);
    EXPECT_EQ(status, r.role == LinkEndpoint::Role::Receiver ? std::vector<std::string>{"Port Not Connected"} : std::vector<std::string>{});
    // Then one attempt every 30 s, logged once; refused attempts stay quiet.
    EXPECT_EQ(count("retrying every 30 s"), 1);
    advance(30000);
    const std::size_t quiet = logged.size();
    tcp().fail();
    advance(30000);
    EXPECT_EQ(tcp().connectCalls, 8);
    EXPECT_EQ(logged.size(), quiet);
    tcp().acceptConnection();
    platform.time().runPending();
    EXPECT_FALSE(link.retrying());
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(link.status().reconnects, 0u);
    advance(120000);
    // A lasting connection closed by the far end, or failing, is logged once and reopened at once;
    // the reopen is announced again (the receiver's mode command goes out again).
    tcp().farEndClose();
    EXPECT_EQ(count(r.closed), 1);
    EXPECT_FALSE(link.status().open);
    advance(1);
    tcp().acceptConnection();
    platform.time().runPending();
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(count("open again after 0 s"), 1);
    advance(5000);
    tcp().fail("down");  // keep-alive probes unanswered, or a reset
    EXPECT_EQ(count(r.error), 1);
    advance(1);
    EXPECT_EQ(tcp().connectCalls, 10);
    // A peer that accepts and closes at once is retried after a connect interval, not in a spin.
    tcp().acceptConnection();
    tcp().farEndClose();
    advance(1999);
    EXPECT_EQ(tcp().connectCalls, 10);
    advance(1);
    EXPECT_EQ(tcp().connectCalls, 11);
    EXPECT_EQ(link.status().reconnects, 2u);
    // Shutting down: a close is not answered.
    tcp().acceptConnection();
    ctx.shuttingDown = true;
    tcp().farEndClose();
    advance(120000);
    EXPECT_EQ(tcp().connectCalls, 11);
    ctx.shuttingDown = false;
  }
}

TEST_F(Links, TcpStartupCountsTheTicksOfItsAttempt) {
  ctx.settings.serialIp = "192.168.1.50";
  ctx.settings.serialPort = "10001";
  makeLinks();
  EXPECT_FALSE(links->initCommPort());  // still connecting
  links->initW800();
  advance(16000);  // the first attempt fails at 12 s; two ticks of the second
  tcp().acceptConnection();
  EXPECT_EQ(count("Error Opening W800 Comm Port number  10001"), 1);
  EXPECT_EQ(status.back(), "Port Open / 2 tries");
  EXPECT_EQ(count("W800 Comm Port 10001 Opened"), 1);
  platform.time().runPending();
  EXPECT_EQ(opened, 1);
  advance(60000);
  EXPECT_EQ(count("opened for W800") + count("Unable to connect"), 1);
}

// A serial device that goes away: one line, then tries 1 s, 2 s and 5 s later and every 5 s after
// that, quietly, however long it stays away; back under the same path it is open within 5 s and
// announced, so the receiver gets its mode command again.
TEST_F(Links, SerialDeviceLostAndBack) {
  ctx.settings.serialPort = "/dev/ttyUSB0";
  makeLinks();
  ASSERT_TRUE(links->initCommPort());
  platform.time().runPending();
  EXPECT_EQ(opened, 1);
  auto& port = *platform.serialPorts[0];
  const int opensBefore = port.openCalls;
  platform.serialDevices.clear();
  port.unplug();
  EXPECT_EQ(count("W800 serial port /dev/ttyUSB0 lost: hang-up (end of stream)"), 1);
  EXPECT_EQ(status.back(), "Port Not Connected");
  const std::pair<int, int> schedule[] = {{999, 0}, {1, 1}, {2000, 2}, {5000, 3}, {5000, 4}};
  for (const auto& [ms, tries] : schedule) {
    advance(ms);
    EXPECT_EQ(port.openCalls - opensBefore, tries) << ms;
  }
  const std::size_t quiet = logged.size();
  advance(30 * 60 * 1000);  // half an hour away: one try every 5 s, nothing logged
  EXPECT_EQ(port.openCalls - opensBefore, 4 + 360);
  EXPECT_EQ(logged.size(), quiet);
  EXPECT_EQ(opened, 1);

  platform.serialDevices.insert("/dev/ttyUSB0");
  advance(5000);
  EXPECT_TRUE(links->receiver().isOpen());
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(count("W800 serial port /dev/ttyUSB0 open again after 30 min 18 s"), 1);
  EXPECT_EQ(links->receiver().status().reconnects, 1u);
  EXPECT_EQ(status.back(), "Port Open / 0 tries");

  // A second loss starts the back-off from 1 s again.
  platform.serialDevices.clear();
  port.unplug();
  platform.serialDevices.insert("/dev/ttyUSB0");
  advance(1000);
  EXPECT_TRUE(links->receiver().isOpen());
  EXPECT_EQ(count("lost"), 2);
}

TEST_F(Links, SerialPortMissingAtStartOpensWhenItAppears) {
  ctx.settings.serialPort = "/dev/ttyUSB1";
  makeLinks();
  EXPECT_FALSE(links->initCommPort());
  links->initW800();
  EXPECT_EQ(count("Error Opening W800 Comm Port number  /dev/ttyUSB1"), 2);
  EXPECT_EQ(count("W800 receiver on port /dev/ttyUSB1 not open (No such file or directory), retrying every 5 s"), 1);
  advance(60000);
  EXPECT_EQ(count("not open"), 1);
  platform.serialDevices.insert("/dev/ttyUSB1");
  advance(5000);
  EXPECT_TRUE(links->receiver().isOpen());
  EXPECT_EQ(count("W800 serial port /dev/ttyUSB1 open"), 1);
  EXPECT_EQ(opened, 1);

  // A setting that names no port is not retried; a missing device is.
  for (const auto& [ip, port, retries] : {std::tuple{"", "junk", false}, {"192.168.1.50", "70000", false},
                                           {"192.168.1.50", "/dev/ttyUSB0", false}, {"", "4", true}}) {
    ctx.settings.serialIp = ip;
    LinkEndpoint link(ctx, LinkEndpoint::Role::Receiver);
    bool result = true;
    link.open(port, [&](bool ok) { result = ok; });
    EXPECT_FALSE(result) << port;
    EXPECT_EQ(link.retrying(), retries) << port;
  }
  EXPECT_EQ(count("makes the link TCP"), 1);
}

// An open receiver that brings nothing for the set minutes is warned about once; data ends it.
TEST_F(Links, SilentReceiverIsWarnedAboutOnce) {
  ctx.settings.serialPort = "1";
  makeLinks();
  ASSERT_TRUE(links->initCommPort());
  links->receiver().setSilenceLimit(10);
  advance(9 * 60000);
  platform.serialPorts[0]->deliver("ab");
  advance(9 * 60000 + 59000);
  EXPECT_EQ(count("no data from the receiver"), 0);
  advance(16000);
  EXPECT_EQ(count("Warning: no data from the receiver for 10 minutes"), 1);
  advance(60 * 60000);
  EXPECT_EQ(count("no data from the receiver"), 1);
  platform.serialPorts[0]->deliver("cd");
  EXPECT_EQ(count("Receiver data again"), 1);
  EXPECT_EQ(links->receiver().status().bytes, 4u);
  links->receiver().setSilenceLimit(0);
  advance(60 * 60000);
  EXPECT_EQ(count("no data from the receiver"), 1);
}

}  // namespace
