#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "devices/status_picture.h"
#include "devices/device_registry.h"
#include "devices/device_timers.h"
#include "devices/onoff_reporter.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;
using namespace quillon::devices;

namespace {

class RecordingPublisher : public DevicePublisher {
 public:
  void sendXapBsc(const std::string& code, const std::string& cls) override { calls.push_back("bsc " + code + " " + cls); }
  void sendXapBscAs(const W800Device& d, const std::string& cls, const std::string& type, const std::string& state) override {
    calls.push_back("bscas " + d.dc() + " " + cls + " " + type + " " + state);
  }
  void sendXap(const std::string& cls, const std::string&, const std::vector<std::pair<std::string, std::string>>& items) override {
    calls.push_back(cls + " " + items.at(0).second + " " + items.at(1).second);
  }
  void queueTagEvent(const std::string& tag) override { calls.push_back("tag " + tag); }
  std::vector<std::string> take() { return std::exchange(calls, {}); }
  std::vector<std::string> calls;
};

class ReportingTest : public ::testing::Test {
 protected:
  ReportingTest() {
    dir = quillon::test::freshTestFolder("quillon-report");
    ctx = std::make_unique<core::NodeContext>(platform, core::AppPaths{dir.string(), ""});
    restart();
  }
  ~ReportingTest() override {
    reporter.reset();
    timers.reset();
    registry.reset();
    ctx.reset();
    fs::remove_all(dir);
  }
  // A fresh registry and timers on the same settings file, as after a node restart.
  void restart() {
    if (registry) registry->saveLastChange();
    ctx->ini.flushIniCache();
    reporter.reset();
    timers.reset();
    registry = std::make_unique<DeviceRegistry>(*ctx);
    registry->loadDevices();
    timers = std::make_unique<DeviceTimers>(*ctx, *registry);
    reporter = std::make_unique<OnOffReporter>(*ctx, *registry, *timers, publisher);
    timers->setOffReporter([this](W800Device& d) { reporter->informEvent(d, kDeviceStatusOff, "OFF"); });
    timers->setRolloverPublisher([this](W800Device& d) { publisher.sendXapBsc(d.dc(), "xapbsc.event"); });
    timers->start();
  }
  W800Device& located(const std::string& code, const std::string& type = "Motion") {
    EXPECT_TRUE(registry->addW800Unit(code));
    auto* d = registry->device(code);
    d->setLocation("Hall");
    d->setInUse(true);
    d->setBsc(true);
    d->setDeviceType(type);
    return *d;
  }
  // The "n.nn in" text shown in the record's status image.
  std::string rain(const std::string& code) {
    const std::string s = devices::statusPicture(*registry->device(code));
    auto p = s.find(" in");
    return p == std::string::npos || p < 4 ? s : s.substr(p - 4, 7);
  }

  fs::path dir;
  test::FakePlatform platform;  // starts 06/12/2026 12:00:00
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<DeviceRegistry> registry;
  std::unique_ptr<DeviceTimers> timers;
  std::unique_ptr<OnOffReporter> reporter;
  RecordingPublisher publisher;
};

TEST_F(ReportingTest, SecurityBytesUpdateTheirRecords) {
  // Byte 0 on a new sensor: two records not in use, so the packet is "ignored". The sensor alerts
  // (bit 7 clear): its record is on; its battery is fine (bit 0 clear): off.
  EXPECT_TRUE(reporter->securitySensor("7F", 0));
  ASSERT_NE(registry->device("7FB"), nullptr);
  ASSERT_NE(registry->device("7FD"), nullptr);
  EXPECT_EQ(registry->device("7FB")->deviceStatus(), kDeviceStatusOff);
  EXPECT_EQ(registry->device("7FD")->deviceStatus(), kDeviceStatusOn);
  reporter->securitySensor("7F", 128);  // normal again
  EXPECT_EQ(registry->device("7FD")->deviceStatus(), kDeviceStatusOff);
  reporter->securitySensor("7F", 69);  // alert with tamper and a low battery
  EXPECT_EQ(registry->device("7FF")->deviceStatus(), kDeviceStatusOn);
  EXPECT_EQ(registry->device("7FB")->deviceStatus(), kDeviceStatusOn);
  EXPECT_FALSE(reporter->securitySensor("7F", 249));
  EXPECT_FALSE(reporter->securitySensor("7F", 7));  // not in the table
  EXPECT_TRUE(publisher.take().empty());

  auto& panic = located("7FP");
  panic.setTag("Panic");
  reporter->securitySensor("7F", 3);
  reporter->securitySensor("7F", 3);
  EXPECT_EQ(publisher.take(), (std::vector<std::string>{"bsc 7FP xapbsc.event", "tag Panic", "bsc 7FP xapbsc.event",
                                                        "tag Panic"}));
  located("7F");
  reporter->securitySensor("7F", 140);
  reporter->securitySensor("7F", 140);
  EXPECT_EQ(publisher.take(), (std::vector<std::string>{"bsc 7F xapbsc.event", "bsc 7F xapbsc.info"}));

  auto& arm = located("7FA");
  arm.setInvert(true);
  reporter->securitySensor("7F", 2);  // always on, inverted
  EXPECT_EQ(arm.deviceStatus(), kDeviceStatusOff);
  EXPECT_EQ(publisher.take(), std::vector<std::string>{"bsc 7FA xapbsc.event"});

  // X10 events only for X10 addresses; a map drives another device.
  auto& motion = located("B3");
  motion.setX10(true);
  motion.setMap("C5");
  arm.setX10(true);
  reporter->specialX10Sensor("B3", true, false);
  reporter->securitySensor("7F", 130);
  EXPECT_EQ(publisher.take(), (std::vector<std::string>{"bsc B3 xapbsc.event", "xap-x10.event ON B3",
                                                        "xap-x10.request ON C5", "bsc 7FA xapbsc.event"}));
  EXPECT_EQ(arm.deviceStatus(), kDeviceStatusOn);  // always off, inverted
  EXPECT_TRUE(isX10Address("P16"));
  EXPECT_FALSE(isX10Address("Q1"));
  EXPECT_FALSE(isX10Address("A17"));
  EXPECT_FALSE(isX10Address("A0"));

  // Visonic: empty battery and tamper texts touch only the status record.
  reporter->visonic("12AB", "1", "ON", "", "");
  EXPECT_NE(registry->device("12AB1S"), nullptr);
  EXPECT_EQ(registry->device("12AB1B"), nullptr);
  located("12AB1B", "Battery");
  reporter->visonic("12AB", "1", "OFF", "LOW", "");
  reporter->visonic("12AB", "1", "OFF", "LOW", "");
  EXPECT_EQ(publisher.take(), (std::vector<std::string>{"bscas 12AB1B xapbsc.event Battery LOW",
                                                        "bscas 12AB1B xapbsc.info Battery LOW"}));
}

TEST_F(ReportingTest, AutoOffFiresAndIsRearmed) {
  auto& d = located("A1");
  d.setOffTime(30);
  ASSERT_GE(registry->allocateOffTimer(registry->devicePtr("A1")), 1);
  reporter->informEvent(d, kDeviceStatusOn, "ON");
  timers->startOffTimer(d);
  platform.time().advance(20000);
  reporter->informEvent(d, kDeviceStatusOn, "ON");
  timers->startOffTimer(d);
  platform.time().advance(29999);
  EXPECT_EQ(d.deviceStatus(), kDeviceStatusOn);
  platform.time().advance(1);
  EXPECT_EQ(d.deviceStatus(), kDeviceStatusOff);
  EXPECT_EQ(publisher.take(), (std::vector<std::string>{"bsc A1 xapbsc.event", "bsc A1 xapbsc.info", "bsc A1 xapbsc.event"}));
  EXPECT_FALSE(timers->offTimerRunning(d.timerIndex()));
}

TEST_F(ReportingTest, RainCountsAndRollsOverWithoutLossOrDoubling) {
  auto& gauge = located("1F", "Rain");
  platform.time().advance(30000);  // first new-day tick after start-up: no history, nothing to reset
  publisher.take();
  for (int i = 0; i < 3; ++i) {
    reporter->specialX10Sensor("1F", true, false);
    reporter->specialX10Sensor("1F", false, false);  // an off report neither counts nor publishes
  }
  EXPECT_EQ(rain("1F"), "0.03 in");
  EXPECT_EQ(gauge.text(), "0.03");  // the value JSON and MQTT publish, in inches
  EXPECT_EQ(publisher.take().size(), 3u);

  // A restart during the day keeps today's rain.
  restart();
  platform.time().advance(30000);
  reporter->specialX10Sensor("1F", true, false);
  EXPECT_EQ(rain("1F"), "0.04 in");

  // Midnight: today starts at the current total, and the next tip is the new day's first.
  platform.time().advance(12LL * 3600 * 1000);
  EXPECT_EQ(rain("1F"), "0.00 in");
  EXPECT_EQ(publisher.take().back(), "bsc 1F xapbsc.event");
  reporter->specialX10Sensor("1F", true, false);
  EXPECT_EQ(rain("1F"), "0.01 in");

  // The clock steps back an hour across midnight: the day's tip is neither lost nor counted twice.
  platform.time().setWallClock(platform.clock().now().addMs(-3600LL * 1000));
  platform.time().advance(30000);
  reporter->specialX10Sensor("1F", true, false);
  EXPECT_EQ(rain("1F"), "0.02 in");
  const std::string history = ctx->ini.getIniSetting("W800", "History_1F", "", "Quillon.ini");
  EXPECT_NE(history.find(";6;"), std::string::npos) << history;  // total tips so far
  (void)gauge;
}

}  // namespace
