#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "devices/status_picture.h"
#include "devices/device_registry.h"
#include "support/fake_platform.h"
#include "xap/bsc_endpoint.h"
#include "support/test_folder.h"
#include "support/loopback_transport.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

class MapTagStore : public xap::FilterTagStore {
 public:
  bool hasTag(const std::string& tag) const override { return known.count(tag) != 0; }
  void record(const std::string& tag, xap::FilteredMessage m) override { stored[tag] = std::move(m); }
  std::set<std::string> known;
  std::map<std::string, xap::FilteredMessage> stored;
};

class BscTest : public ::testing::Test {
 protected:
  BscTest() {
    dir = quillon::test::freshTestFolder("quillon-bsc");
    ctx = std::make_unique<core::NodeContext>(platform, core::AppPaths{dir.string(), "\\\\srv\\c$\\Quillon\\quillon.exe"});
    ctx->nodeUid = "FF.0052:00";
    registry = std::make_unique<devices::DeviceRegistry>(*ctx);
    transport = std::make_unique<xap::XapTransport>(*ctx);
    quillon::test::initLoopbackTransport(*transport, *ctx);
    bsc = std::make_unique<xap::BscEndpoint>(*ctx, *transport, *registry);
    bsc->setTagStore(&tags);
    bsc->setScriptQueuer([this](const std::string& s) { scripts.push_back(s); });
    bsc->setTransmitterWriter([this](const std::string& t) { transmitted.push_back(t); });
  }
  ~BscTest() override {
    bsc.reset();
    transport.reset();
    registry.reset();
    ctx.reset();
    fs::remove_all(dir);
  }
  devices::W800Device& addDevice(const std::string& code, const std::string& location, const std::string& type) {
    EXPECT_TRUE(registry->addW800Unit(code));
    auto* d = registry->device(code);
    d->setLocation(location);
    d->setInUse(!location.empty());
    d->setDeviceType(type);
    if (d->uid().empty()) d->setUid(code);
    return *d;
  }
  std::vector<std::string> sent() {
    std::vector<std::string> out;
    for (const auto& s : platform.udpSockets.at(1)->sent) out.push_back(s.data);
    platform.udpSockets.at(1)->sent.clear();
    return out;
  }
  static std::string msg(const std::string& cls, const std::string& target, const std::string& body) {
    return "xap-header\n{\nv=12\nhop=1\nuid=FF123400\nclass=" + cls + "\nsource=acme.ctl.box\n" +
           (target.empty() ? "" : "target=" + target + "\n") + "}\n" + body;
  }

  fs::path dir;
  test::FakePlatform platform;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<devices::DeviceRegistry> registry;
  std::unique_ptr<xap::XapTransport> transport;
  std::unique_ptr<xap::BscEndpoint> bsc;
  MapTagStore tags;
  std::vector<std::string> scripts, transmitted;
};

TEST_F(BscTest, EndpointNamesAndEventWireText) {
  auto& motion = addDevice("A1", "Front Door", "Motion");
  EXPECT_EQ(xap::deviceSubAddress(motion, 0), "Front_Door.W800__________A1.Motion");
  EXPECT_EQ(xap::deviceSubAddress(motion, 1), "Front_Door.RFXCOM________A1.Motion");
  auto& sensor = addDevice("1A2D", "", "Temp");
  EXPECT_EQ(xap::deviceSubAddress(sensor, 0), "Unknown.W800________1A2D.Temp");
  auto& longCode = addDevice("0123456789ABCDEF01", "Attic", "Temp");
  EXPECT_EQ(xap::deviceSubAddress(longCode, 0), "Attic.0123456789ABCDEF01.Temp");
  EXPECT_EQ(xap::rolePath("\\\\srv\\c$\\Quillon\\quillon.exe"), "c$:\\Quillon\\quillon.exe");
  EXPECT_EQ(xap::rolePath("/usr/bin/quillon"), "/usr/bin/quillon");

  motion.setDeviceStatus(devices::kDeviceStatusOn);
  motion.setShownAsIs("ON");
  bsc->sendXapBsc("a1", "xapbsc.event");
  bsc->sendXapBsc("ZZ", "xapbsc.event");  // unknown key: nothing
  EXPECT_EQ(sent(), std::vector<std::string>{
                        "xap-header\n{\nv=13\nhop=1\nuid=FF.0052:A1\nclass=xapbsc.event\n"
                        "source=ovk.W800.host:Front_Door.W800__________A1.Motion\n}\n"
                        "input.state\n{\nState=ON\nDisplayText=ON\n}\n"});
}

TEST_F(BscTest, QueriesArePacedAndFiltered) {
  addDevice("A1", "Hall", "Motion");
  addDevice("B2", "Porch", "Light");
  addDevice("C3", "", "Motion");  // not in use: never answered
  addDevice("D4", "Attic", "motion");

  bsc->readMessage(msg("xAPBSC.query", "ovk.W800.host", "request\n{\n}\n"));  // no sub-address
  bsc->readMessage(msg("xAPBSC.query", "ovk.W800.other:>", "request\n{\n}\n"));
  EXPECT_TRUE(sent().empty());

  bsc->readMessage(msg("xAPBSC.query", "ovk.W800.host:>", "request\n{\n}\n"));
  auto first = sent();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_NE(first[0].find("class=xAPBSC.info\nsource=ovk.W800.host:Hall.W800__________A1.motion\n"), std::string::npos);
  EXPECT_NE(first[0].find("input.state\n{\nstate=OFF\n"), std::string::npos);
  // The same query again while replies are pending does not queue them twice.
  bsc->readMessage(msg("xAPBSC.query", "ovk.W800.host:*.*.*", "request\n{\n}\n"));
  platform.time().advance(199);
  EXPECT_TRUE(sent().empty());
  platform.time().advance(1);
  EXPECT_EQ(sent().size(), 1u);
  platform.time().advance(200);
  EXPECT_EQ(sent().size(), 1u);
  platform.time().advance(1000);
  EXPECT_EQ(sent().size(), 1u);  // the repeated query's A1 reply, then the queue is empty

  bsc->readMessage(msg("xAPBSC.query", "ovk.W800.host:*.*.MOTION", "request\n{\n}\n"));
  platform.time().advance(1000);
  auto motions = sent();
  ASSERT_EQ(motions.size(), 2u);
  EXPECT_NE(motions[1].find(":Attic.W800__________D4.motion"), std::string::npos);
}

TEST_F(BscTest, CommandWithoutTextSendsNothingAndParseErrorsAreSummedUp) {
  std::vector<std::string> logs;
  ctx->log.setXapSender([&](const std::string&, const std::string&, const std::string& d) { logs.push_back(d); });
  bsc->readMessage(msg("xAPBSC.cmd", "ovk.W800.host", "output.state.1\n{\nID=1\n}\n"));
  EXPECT_TRUE(transmitted.empty());
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_NE(logs[0].find("has no Text"), std::string::npos);

  // Each datagram's errors make one entry; a flood of them reaches the network a few times only.
  logs.clear();
  const std::string bad = msg("x.y", "", "b\n{\n" + std::string(200, 'a') + "=1\n" + std::string(200, 'a') + "=2\n}\n" +
                              std::string(40000, 'z'));
  for (int i = 0; i < 1000; ++i) bsc->readMessage(bad);
  EXPECT_EQ(bsc->parseFailures(), 1000u);
  EXPECT_EQ(logs.size(), static_cast<std::size_t>(core::Logger::kBurstPerKind));
  for (const auto& l : logs) EXPECT_LE(l.size(), core::Logger::kMaxTextBytes);
}

TEST_F(BscTest, CommandsEchoRoleTimeAndFilters) {
  const std::string cmdSplit = "output.state\n{\nID=1\n}\noutput.state.1\n{\nText=A1 ON\n}\n";
  const std::string cmdStandard = "output.state.1\n{\nID=*\nText=B2 OFF\n}\n";
  bsc->readMessage(msg("xAPBSC.cmd", "ovk.W800.host", cmdSplit));
  bsc->readMessage(msg("xAPBSC.cmd", "ovk.W800.host:x.y.z", cmdStandard));
  bsc->readMessage(msg("xAPBSC.cmd", "ovk.W800.host", "output.state.1\n{\nID=2\nText=no\n}\n"));
  bsc->readMessage(msg("xAPBSC.cmd", "", cmdStandard));  // a command must name the node
  EXPECT_EQ(transmitted, (std::vector<std::string>{"A1 ON", "B2 OFF"}));

  bsc->readMessage(msg("WDT.Echo", "", "Echo.Query\n{\nQuery=ping\n}\n"));
  bsc->readMessage(msg("Homeseer.Role", "", "Role.Query\n{\nRole=Any\n}\n"));
  bsc->readMessage(msg("Homeseer.Role", "", "Role.Query\n{\nRole=lighting\n}\n"));
  auto out = sent();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], "xap-header\n{\nv=13\nhop=1\nuid=FF.0052:00\nclass=WDT.Echo\nsource=ovk.W800.host\n"
                    "target=acme.ctl.box\n}\nEcho.Response\n{\nResponse=ping\n}\n");
  EXPECT_NE(out[1].find("Role.Notification\n{\nRole=UPB\nPath=c$:\\Quillon\\quillon.exe\nForm=EchoWindow\n}\n"),
            std::string::npos);

  bsc->readMessage(msg("Time.Today", "", "Time.Today\n{\nSunrise=07:42\nSunset=16:01\n}\n"));
  EXPECT_EQ(bsc->sunrise(), "07:42");
  EXPECT_EQ(bsc->sunset(), "16:01");

  // Receive filters: a known tag stores the items and queues the script; an unknown one does nothing.
  ctx->filters.insert("acme.ctl.box~weather.report", "Weather;weather.vbs");
  ctx->filters.insert("acme.ctl.box~other.report", "Missing;other.vbs");
  tags.known.insert("Weather");
  bsc->readMessage(msg("weather.report", "", "weather\n{\ntemp=21.5\nwind=\n}\n"));
  bsc->readMessage(msg("other.report", "", "x\n{\na=1\n}\n"));
  ASSERT_EQ(tags.stored.count("Weather"), 1u);
  const auto& w = tags.stored["Weather"];
  EXPECT_EQ(w.keys, (std::vector<std::string>{"weather.temp", "weather.wind"}));
  EXPECT_EQ(w.values[0].second, "21.5");
  EXPECT_EQ(w.values[1].second, "");
  EXPECT_EQ(w.sequence, 1u);
  EXPECT_EQ(scripts, std::vector<std::string>{"weather.vbs"});

  // Junk never escapes.
  bsc->readMessage(std::string("\0\xff{}}{\n=", 8));
  bsc->readMessage("");
}

}  // namespace
