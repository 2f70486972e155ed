// Device lifecycle on virtual time: learned intervals and staleness, ignored codes, a sensor
// replaced by its new code, and what survives a restart.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/node.h"
#include "devices/device_lifecycle.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;
using devices::DeviceChange;

namespace {

TEST(Lifecycle, PatternsAndIntervals) {
  EXPECT_TRUE(devices::codeMatches("1a2d_*", "1A2D_1E5_H"));
  EXPECT_TRUE(devices::codeMatches("*_H", "1A2D_1E5_H"));
  EXPECT_TRUE(devices::codeMatches("A?", "a7"));
  EXPECT_FALSE(devices::codeMatches("A?", "A17"));
  EXPECT_FALSE(devices::codeMatches("*X*", "1A2D"));
  EXPECT_TRUE(devices::codeMatches("**", ""));
  EXPECT_EQ(devices::usualInterval({40, 39}), 0);                 // too few to tell
  EXPECT_EQ(devices::usualInterval({40, 39, 41, 80, 40}), 40);    // a lost packet doubles one gap
  EXPECT_EQ(devices::usualInterval({5, 3600, 86000, 200, 40}), 0);  // a remote: no rhythm
}

class LifecycleTest : public ::testing::Test {
 protected:
  LifecycleTest() {
    dir = test::freshTestFolder("quillon-lifecycle");
    fs::create_directories(dir / "Data");
    std::ofstream(dir / "Config" / "Quillon.ini")
        << "[W800Units]\n"
           "1A2D_1E5=1A2D_1E5~0~Garden1~False~~~Garden~1A2D314535~False~True~False~0~~Temperature~False~4.7~\n";
    restart();
  }
  ~LifecycleTest() override {
    if (node) node->shutdown();
    fs::remove_all(dir);
  }
  // downMs: how long the node was off (the wall clock moves on, as after a reboot).
  void restart(std::int64_t downMs = 0) {
    if (node) node->shutdown();
    if (node) platform.time().setWallClock(ctx->now().addMs(downMs));
    node.reset();
    lifecycle.reset();
    registry.reset();
    ctx = std::make_unique<core::NodeContext>(platform, core::AppPaths{dir.string(), ""});
    ctx->log.setXapSender([this](const std::string&, const std::string&, const std::string& t) { logs.push_back(t); });
    registry = std::make_unique<devices::DeviceRegistry>(*ctx);
    lifecycle = std::make_unique<devices::DeviceLifecycle>(*ctx, *registry);
    lifecycle->setScriptEvent([this](const std::string& e) { events.push_back(e); });
    registry->subscribe([this](const DeviceChange& c) {
      if (c.kind == DeviceChange::Kind::Availability) changes.push_back(c.device.dc() + (c.device.stale() ? " stale" : " fresh"));
      if (c.kind == DeviceChange::Kind::Forgotten) changes.push_back(c.device.dc() + " forgotten");
    });
    node = std::make_unique<core::Node>(*ctx);
    node->setSubsystems({&node->settingsStep(), registry.get(), lifecycle.get()});
    ASSERT_TRUE(node->start());
  }
  void hear(const std::string& code, int times, int everyS) {
    for (int i = 0; i < times; ++i) {
      registry->addW800Unit(code);
      platform.time().advance(everyS * 1000LL);
    }
  }
  int logged(const std::string& text) const {
    int n = 0;
    for (const std::string& l : logs) n += l.find(text) != std::string::npos;
    return n;
  }

  test::FakePlatform platform;
  fs::path dir;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<devices::DeviceRegistry> registry;
  std::unique_ptr<devices::DeviceLifecycle> lifecycle;
  std::unique_ptr<core::Node> node;
  std::vector<std::string> logs, events, changes;
};

TEST_F(LifecycleTest, QuietSensorTurnsStaleOnceAndFreshWhenHeard) {
  hear("1A2D_1E5", 5, 40);
  ASSERT_NE(lifecycle->sighting("1a2d_1e5"), nullptr);
  EXPECT_EQ(lifecycle->sighting("1A2D_1E5")->intervalS, 40);
  EXPECT_EQ(lifecycle->sighting("1A2D_1E5")->count, 5u);
  platform.time().advance(100'000);  // 140 s since the last packet: more than three intervals
  devices::W800Device& d = *registry->device("1A2D_1E5");
  EXPECT_TRUE(d.stale());
  platform.time().advance(300'000);  // still quiet: no second line or event
  EXPECT_EQ(logged("1A2D_1E5 (Garden) not heard for"), 1);
  EXPECT_EQ(logged("usually every 40 s: stale"), 1);
  registry->addW800Unit("1A2D_1E5");
  EXPECT_FALSE(d.stale());
  EXPECT_EQ(events, (std::vector<std::string>{"Stale:Garden1", "Heard:Garden1"}));
  EXPECT_EQ(changes, (std::vector<std::string>{"1A2D_1E5 stale", "1A2D_1E5 fresh"}));
  // A device not in use, an X10 unit code and a sensor with too few packets are never stale.
  hear("A3", 5, 40);
  hear("9999", 5, 40);
  registry->device("A3")->setInUse(true);
  platform.time().advance(600'000);
  EXPECT_FALSE(registry->device("A3")->stale());
  EXPECT_FALSE(registry->device("9999")->stale());
  // Set minutes replace the learned rule.
  lifecycle->setStaleMinutes("A3", 2);
  lifecycle->checkStale();
  EXPECT_TRUE(registry->device("A3")->stale());
}

TEST_F(LifecycleTest, WhatWasLearnedAndTheListsSurviveARestart) {
  hear("1A2D_1E5", 4, 60);
  hear("5A5D_144", 1, 1);
  EXPECT_EQ(lifecycle->ignore("1A2D_1E5"), "1A2D_1E5 is in use (Garden): clear its location first");
  EXPECT_EQ(lifecycle->ignore("5A5D_144"), "");
  EXPECT_EQ(registry->device("5A5D_144"), nullptr);
  EXPECT_FALSE(registry->addW800Unit("5A5D_144"));  // counted, no record
  EXPECT_EQ(lifecycle->ignoredPackets("5A5D_144"), 1u);
  lifecycle->setStaleMinutes("1A2D_1E5", 30);
  restart(31 * 60'000);
  EXPECT_EQ(registry->device("5A5D_144"), nullptr);
  EXPECT_FALSE(registry->addW800Unit("5A5D_144"));
  ASSERT_NE(lifecycle->sighting("1A2D_1E5"), nullptr);
  EXPECT_EQ(lifecycle->sighting("1A2D_1E5")->intervalS, 60);
  EXPECT_EQ(lifecycle->sighting("1A2D_1E5")->count, 4u);
  EXPECT_EQ(lifecycle->staleMinutes("1A2D_1E5"), 30);
  // Time passed while the node was down counts: 31 minutes later it is stale at the first check.
  lifecycle->checkStale();
  EXPECT_TRUE(registry->device("1A2D_1E5")->stale());
  // A pattern that covers a record in use keeps it (said so); others go.
  hear("1A2D_2F1", 1, 1);
  const auto notices = lifecycle->setIgnorePatterns({"1a2d_*", "bad=pattern"});
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_NE(notices[0].find("not kept"), std::string::npos);
  EXPECT_NE(notices[1].find("1A2D_1E5 matches an ignore pattern but is in use"), std::string::npos);
  EXPECT_NE(registry->device("1A2D_1E5"), nullptr);
  EXPECT_EQ(registry->device("1A2D_2F1"), nullptr);
  EXPECT_EQ(lifecycle->ignorePatterns(), (std::vector<std::string>{"1a2d_*"}));  // 5A5D_144 was dropped
}

TEST_F(LifecycleTest, ReplacementTakesNameOptionsAndIdentity) {
  hear("1A2D_1E5", 4, 40);
  hear("1A2D_2F1", 1, 1);  // the same sensor after a battery change
  EXPECT_NE(lifecycle->replace("1A2D_2F1", "1A2D_1E5"), "");  // the old one is in use: not the way round
  EXPECT_EQ(lifecycle->replace("1A2D_1E5", "1A2D_2F1"), "");
  EXPECT_EQ(registry->device("1A2D_1E5"), nullptr);
  const devices::W800Device* d = registry->device("1A2D_2F1");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->location(), "Garden");
  EXPECT_TRUE(d->inUse());
  EXPECT_EQ(d->tag(), "Garden1");
  EXPECT_EQ(registry->findByTag("Garden1"), d);
  EXPECT_EQ(d->deviceType(), "Temperature");
  EXPECT_EQ(lifecycle->identityOf("1A2D_2F1"), "1A2D_1E5");
  EXPECT_TRUE(lifecycle->identityMoved("1A2D_1E5"));
  EXPECT_EQ(lifecycle->sighting("1A2D_2F1")->intervalS, 40);  // the same model's rhythm
  EXPECT_EQ(changes, (std::vector<std::string>{"1A2D_1E5 forgotten"}));
  // A second battery change keeps the first identity.
  hear("1A2D_3A4", 1, 1);
  EXPECT_EQ(lifecycle->replace("1A2D_2F1", "1A2D_3A4"), "");
  restart();
  EXPECT_EQ(lifecycle->identityOf("1A2D_3A4"), "1A2D_1E5");
  EXPECT_EQ(registry->device("1A2D_2F1"), nullptr);
  EXPECT_EQ(registry->device("1A2D_3A4")->location(), "Garden");
  std::ifstream in(dir / "Config" / "Quillon.ini");
  const std::string file((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(file.find("1A2D_2F1"), std::string::npos) << file;
}

}  // namespace
