// The links on fakes and virtual time: serial and TCP opens, the paced tries and their texts,
// reconnection, the slow retry, and the write rules.
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
    links->receiver().onReopened([this] { ++reopened; });
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
  int reopened = 0;
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
    reopened = 0;
    LinkEndpoint link(ctx, r.role);
    link.onStatus([this](const std::string& s) { status.push_back(s); });
    link.onReopened([this] { ++reopened; });
    std::vector<bool> results;
    link.open("10001", [&](bool ok) { results.push_back(ok); });
    EXPECT_EQ(tcp().host + ":" + std::to_string(tcp().port), "192.168.1.50:10001");
    // A peer that never answers: one attempt and five repeats, 2 s apart, given up at 12 s.
    advance(11999);
    EXPECT_TRUE(results.empty());
    advance(1);
    EXPECT_EQ(results, std::vector<bool>{false});
    EXPECT_EQ(tcp().connectCalls, 6);
    EXPECT_EQ(count(r.fail), 1);
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
    EXPECT_FALSE(link.retrying());
    EXPECT_EQ(reopened, 1);
    advance(120000);
    // A lasting connection closed by the far end, or failing, is reopened at once.
    tcp().farEndClose();
    EXPECT_EQ(count(r.closed), 1);
    advance(1);
    tcp().acceptConnection();
    EXPECT_EQ(reopened, 2);
    advance(5000);
    tcp().fail("down");
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
  int startupOpens = 0;
  links->onReceiverStartupOpen([&] { ++startupOpens; });
  EXPECT_FALSE(links->initCommPort());  // still connecting
  links->initW800();
  advance(16000);  // the first attempt fails at 12 s; two ticks of the second
  tcp().acceptConnection();
  EXPECT_EQ(count("Error Opening W800 Comm Port number  10001"), 1);
  EXPECT_EQ(status.back(), "Port Open / 2 tries");
  EXPECT_EQ(count("W800 Comm Port 10001 Opened"), 1);
  EXPECT_EQ(startupOpens, 1);
  advance(60000);
  EXPECT_EQ(count("opened for W800") + count("Unable to connect"), 1);
}

TEST_F(Links, SerialPortsThatFailOrGoAway) {
  ctx.settings.serialPort = "/dev/ttyUSB0";
  makeLinks();
  ASSERT_TRUE(links->initCommPort());
  platform.serialDevices.clear();
  platform.serialPorts[0]->unplug();
  EXPECT_EQ(count("W800 serial port /dev/ttyUSB0 lost: device removed"), 1);
  advance(30000);
  platform.serialPorts[0]->raiseError("No such file or directory");  // the failed reopen's own error
  EXPECT_EQ(count("lost"), 1);
  platform.serialDevices.insert("/dev/ttyUSB0");
  advance(30000);
  EXPECT_TRUE(links->receiver().isOpen());
  EXPECT_EQ(count("opened again") + reopened, 2);

  // A setting that names no port is not retried; a missing device is.
  for (const auto& [ip, port, retries] : {std::tuple{"", "junk", false}, {"192.168.1.50", "70000", false}, {"", "4", true}}) {
    ctx.settings.serialIp = ip;
    LinkEndpoint link(ctx, LinkEndpoint::Role::Receiver);
    bool result = true;
    link.open(port, [&](bool ok) { result = ok; });
    EXPECT_FALSE(result) << port;
    EXPECT_EQ(link.retrying(), retries) << port;
  }
}

}  // namespace
