#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/node.h"
#include "devices/device_registry.h"
#include "devices/status_picture.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;
using devices::DeviceRegistry;

namespace {

class DeviceRegistryTest : public ::testing::Test {
 protected:
  DeviceRegistryTest() {
    dir = quillon::test::freshTestFolder("quillon-devices");
    fs::create_directories(dir / "Data");
    restart();
  }
  ~DeviceRegistryTest() override {
    if (node) node->shutdown();
    fs::remove_all(dir);
  }

  // Shuts the running node down (records written back, cache flushed) and starts a fresh node
  // core on the same folder, which loads the records again.
  void restart(DeviceRegistry::OffTimerHook hook = {}) {
    if (node) node->shutdown();
    node.reset();
    registry.reset();
    ctx = std::make_unique<core::NodeContext>(platform, core::AppPaths{dir.string(), ""});
    ctx->log.setXapSender([this](const std::string&, const std::string&, const std::string& t) { logs.push_back(t); });
    registry = std::make_unique<DeviceRegistry>(*ctx);
    registry->setOffTimerHook(std::move(hook));
    node = std::make_unique<core::Node>(*ctx);
    node->setSubsystems({&node->settingsStep(), registry.get()});
    ASSERT_TRUE(node->start());
  }
  void writeUnits(const std::string& lines) {
    std::ofstream(dir / "Config" / "Quillon.ini", std::ios::binary) << "[W800Units]\r\n" << lines;
  }
  std::string fileText() {
    std::ifstream in(dir / "Config" / "Quillon.ini", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int logsContaining(const std::string& text) {
    int n = 0;
    for (const auto& l : logs) n += l.find(text) != std::string::npos;
    return n;
  }

  fs::path dir;
  test::FakePlatform platform;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<DeviceRegistry> registry;
  std::unique_ptr<core::Node> node;
  std::vector<std::string> logs;
};

TEST_F(DeviceRegistryTest, DiscoveryWritesNewDevicesWithinTheFlushDelay) {
  EXPECT_TRUE(registry->addW800Unit("1A2D"));
  platform.time().advance(DeviceRegistry::kFlushDelayMs);
  EXPECT_NE(fileText().find("1A2D=1A2D~0~~False~~06/12/2026 12:00:00~~1A2D~False~True~False~0~~~False~4.7~"),
            std::string::npos);
  auto* d = registry->device("1A2D");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->version(), "W800");
  EXPECT_FALSE(d->inUse());
  EXPECT_EQ(registry->deviceXapUid(*d), "FF.0052:1A2D");

  EXPECT_TRUE(registry->addW800Unit("B7"));
  platform.time().advance(DeviceRegistry::kFlushDelayMs);
  EXPECT_EQ(registry->device("B7")->uid(), "");
  EXPECT_FALSE(registry->device("B7")->bsc());
  EXPECT_EQ(registry->deviceXapUid(*registry->device("B7")), "FF.0052:00");

  ctx->settings.disableDiscovery = true;
  const std::string before = fileText();
  EXPECT_FALSE(registry->addW800Unit("C3"));
  EXPECT_TRUE(registry->addW800Unit("1A2D"));
  EXPECT_TRUE(registry->addW800Unit("b7"));  // the file's keys ignore case, so does the table
  EXPECT_EQ(fileText(), before);
  EXPECT_EQ(registry->devices().size(), 2u);

  ctx->settings.disableDiscovery = false;
  const std::string bad[] = {"", "A=1", "A~1", " A1", "[X", "A\n1"};
  for (const std::string& code : bad) EXPECT_FALSE(registry->addW800Unit(code)) << code;
  EXPECT_EQ(registry->devices().size(), 2u);
  EXPECT_EQ(fileText(), before);
}

TEST_F(DeviceRegistryTest, NewDevicesAreWrittenTogetherAndAdmittedAtABoundedRate) {
  const std::string start = fileText();
  for (int i = 0; i < 30; ++i) registry->addW800Unit("C" + std::to_string(1000 + i));
  EXPECT_EQ(registry->devices().size(), static_cast<std::size_t>(devices::DiscoveryGate::kAdmitPerWindow));
  EXPECT_EQ(registry->heldBack(), 10u);
  EXPECT_GE(logsContaining("not added, too many new devices this minute"), 1);
  EXPECT_EQ(fileText(), start);  // nothing written yet: one flush takes them all
  platform.time().advance(DeviceRegistry::kFlushDelayMs - 1);
  EXPECT_EQ(fileText(), start);
  platform.time().advance(1);
  EXPECT_NE(fileText().find("C1019="), std::string::npos);
  EXPECT_EQ(fileText().find("C1020="), std::string::npos);

  platform.time().advance(devices::DiscoveryGate::kWindowMs);
  EXPECT_TRUE(registry->addW800Unit("C1020"));
  EXPECT_TRUE(registry->addW800Unit("C1000"));  // known codes are never held back

  // A weakly checked family's code needs a second sighting within the window.
  EXPECT_FALSE(registry->addW800Unit("D0001", devices::FamilyChecks::Weak));
  EXPECT_TRUE(registry->addW800Unit("D0001", devices::FamilyChecks::Weak));
  EXPECT_FALSE(registry->addW800Unit("D0002", devices::FamilyChecks::Weak));
  platform.time().advance(devices::DiscoveryGate::kConfirmWindowMs + 1);
  EXPECT_FALSE(registry->addW800Unit("D0002", devices::FamilyChecks::Weak));  // too late: a first sighting again
  EXPECT_EQ(registry->device("D0002"), nullptr);
  ctx->settings.disableDiscovery = true;
  EXPECT_FALSE(registry->addW800Unit("D0002", devices::FamilyChecks::Weak));
  EXPECT_TRUE(registry->addW800Unit("D0001", devices::FamilyChecks::Weak));

  devices::DiscoveryGate gate;
  EXPECT_EQ(gate.check("E1", false, devices::DiscoveryGate::kMaxRecords, 0), devices::DiscoveryGate::Verdict::TableFull);
  for (std::size_t i = 0; i < devices::DiscoveryGate::kMaxCandidates + 50; ++i) gate.check("W" + std::to_string(i), true, 0, 0);
  gate.check("W", true, 0, 0);
  EXPECT_LE(gate.candidates(), devices::DiscoveryGate::kMaxCandidates + 1);
}

TEST_F(DeviceRegistryTest, UidSuffixes) {
  const std::pair<const char*, const char*> cases[] = {
      {"1A2D", "1A2D"}, {"12345", "123435"}, {"6C10_AB", "6C104142"}, {"A1", "4101"}, {"P16", "5016"}, {"", ""}};
  for (auto [code, suffix] : cases) EXPECT_EQ(DeviceRegistry::deviceUidSuffix(code), suffix) << code;
}

TEST_F(DeviceRegistryTest, TagIndexKeepsFirstAndFollowsEdits) {
  registry->addW800Unit("A1");
  registry->addW800Unit("A2");
  registry->device("A1")->setTag("Porch");
  registry->device("A2")->setTag("PORCH");
  registry->buildTagDictionary();
  EXPECT_EQ(logsContaining("BuildTagDictionary Tag PORCH is used more than once"), 1);
  EXPECT_EQ(registry->findByTag("porch"), registry->device("A1"));
  EXPECT_EQ(registry->findByTag("porch"), registry->device("A1"));
  EXPECT_EQ(logsContaining("used by more than one device; using DC A1"), 1);
  EXPECT_TRUE(registry->tagIsShared("Porch"));

  // An edit made straight on a record is seen by the next discovery call or lookup.
  registry->device("A1")->setTag("Gate");
  registry->addW800Unit("A1");
  EXPECT_EQ(registry->findByTag("PORCH"), registry->device("A2"));
  EXPECT_EQ(registry->findByTag("gate"), registry->device("A1"));
  EXPECT_FALSE(registry->tagIsShared("Porch"));
  EXPECT_EQ(registry->findByTag("nothing"), nullptr);
}

TEST_F(DeviceRegistryTest, LoadingOffTimersAndMalformedLines) {
  std::vector<int> hooked;
  writeUnits(" B2 =B2~2~\r\nC1=C1~0~~~~~~~~~~5\r\nC2=C2~0~~~~~~~~~~\"7\"\r\nbad line\r\n=X~1\r\n"
             "D1=D1~99999~Tag1~False~~~Hall~~False~False~False~0~~Motion~False~4.7~d\r\n");
  restart([&](int i, devices::W800Device& d) {
    hooked.push_back(i);
    EXPECT_EQ(d.timerIndex(), i);
  });

  EXPECT_EQ(registry->devices().keys(), (std::vector<std::string>{"B2", "C1", "C2", "D1"}));
  EXPECT_EQ(registry->device("B2")->status(), 2);
  EXPECT_EQ(registry->device("C1")->timerIndex(), 1);
  EXPECT_EQ(registry->device("C2")->timerIndex(), 2);
  EXPECT_EQ(registry->offTimerDevice(2), registry->device("C2"));
  EXPECT_EQ(registry->offTimerCount(), 2);
  EXPECT_EQ(hooked, (std::vector<int>{1, 2}));

  auto* d1 = registry->device("D1");
  EXPECT_EQ(d1->status(), 32767);
  EXPECT_EQ(d1->location(), "Hall");
  EXPECT_EQ(d1->deviceType(), "Motion");
  EXPECT_EQ(d1->icon(), "d");
  EXPECT_EQ(registry->findByTag("tag1"), d1);
  EXPECT_EQ(logsContaining("SetIniSectionValue D1: Status '99999' is outside"), 1);
}

TEST_F(DeviceRegistryTest, EveryRecordSurvivesARestart) {
  for (const char* code : {"1A2D", "B7", "6C10_AB", "A1", "0003_1F_K"}) ASSERT_TRUE(registry->addW800Unit(code));
  auto* d = registry->device("6C10_AB");
  d->setLocation("Back~Yard");
  d->setTag("Scale");
  d->setStatus(devices::kDeviceStatusOn);
  d->setOffTime(30);
  d->setMap("P16");
  d->setDeviceType("Weight");
  d->setSupplyVoltage(5.25f);
  d->setIcon("scale");
  d->setDeviceLastChange({2026, 12, 6, 0, 0, 0, 0});
  d->setText("74.5");
  registry->device("B7")->setInvert(true);

  std::vector<std::pair<std::string, std::string>> saved;
  for (const auto& [code, dev] : registry->devices()) {
    // A load shows the image of the on/off status, whatever image was stored.
    dev->setShown(devices::onOffText(dev->status()), dev->deviceType());
    saved.emplace_back(code, dev->properties());
  }

  // The file keeps its keys sorted, so the order after a restart is the file's order, and every
  // later restart gives that same order back.
  std::sort(saved.begin(), saved.end());
  for (int round = 0; round < 2; ++round) {
    restart();
    std::vector<std::pair<std::string, std::string>> loaded;
    for (const auto& [code, dev] : registry->devices()) loaded.emplace_back(code, dev->properties());
    EXPECT_EQ(loaded, saved);
    EXPECT_EQ(registry->device("6C10_AB")->location(), "Back~Yard");
    EXPECT_EQ(registry->findByTag("scale"), registry->device("6C10_AB"));
    EXPECT_EQ(registry->device("6C10_AB")->timerIndex(), 1);
    // The last value comes back with its record: a restart does not make it unknown.
    EXPECT_EQ(registry->device("6C10_AB")->text(), "74.5");
    EXPECT_EQ(registry->device("1A2D")->text(), "");
  }
  EXPECT_EQ(logsContaining("SetIniSectionValue"), 2);  // the realigned tilde, once per load
}

// Every output learns of device changes from one stream: one event per real change, numbered,
// with the state before and after; a repeated reading is no change (a reading heard again is
// told as Repeated, for a remote's second press), and a late subscriber only hears what happens
// after it subscribed.
TEST_F(DeviceRegistryTest, ChangeStreamHasOneEventPerRealChange) {
  using Kind = devices::DeviceChange::Kind;
  struct Seen {
    Kind kind;
    std::uint64_t version;
    std::string code, before, after;
  };
  std::vector<Seen> early, late;
  auto recorder = [](std::vector<Seen>& into) {
    return [&into](const devices::DeviceChange& c) {
      into.push_back({c.kind, c.version, c.device.dc(), c.before.text, c.after.text});
    };
  };
  const int earlyId = registry->subscribe(recorder(early));
  ASSERT_TRUE(registry->addW800Unit("1A2D"));
  devices::W800Device& d = *registry->device("1A2D");
  EXPECT_TRUE(registry->report(d, {.type = "Temperature", .text = "21.5", .shown = "21.5&nbsp;C"}));
  EXPECT_FALSE(registry->report(d, {.type = "Temperature", .text = "21.5", .shown = "21.5&nbsp;C"}));  // Repeated
  EXPECT_FALSE(registry->report(d, {.stamp = true}));  // a new time alone is no change: Repeated
  EXPECT_FALSE(registry->report(d, {}));               // nothing read: nothing told
  registry->subscribe(recorder(late));
  EXPECT_TRUE(registry->report(d, {.text = "22"}));
  const devices::DeviceState before = d.state();
  d.setLocation("Hall");
  d.setRemove(true);
  registry->edited(d, before, true);
  registry->unsubscribe(earlyId);
  registry->report(d, {.text = "23"});

  ASSERT_EQ(early.size(), 6u);
  EXPECT_EQ(early[0].kind, Kind::Added);
  EXPECT_EQ(early[1].kind, Kind::Changed);
  EXPECT_EQ(early[1].before, "");
  EXPECT_EQ(early[1].after, "21.5");
  EXPECT_EQ(early[2].kind, Kind::Repeated);
  EXPECT_EQ(early[2].after, "21.5");
  EXPECT_EQ(early[3].kind, Kind::Repeated);
  EXPECT_EQ(early[4].before, "21.5");
  EXPECT_EQ(early[4].after, "22");
  EXPECT_EQ(early[5].kind, Kind::Removed);
  for (std::size_t i = 1; i < early.size(); ++i) EXPECT_EQ(early[i].version, early[i - 1].version + 1);
  ASSERT_EQ(late.size(), 3u);  // the change to 22, the removal, the change to 23
  EXPECT_EQ(late[0].after, "22");
  EXPECT_EQ(late[2].after, "23");
  EXPECT_EQ(registry->version(), late[2].version);
  // Nothing a decoder writes is markup: the page draws the picture from the state.
  EXPECT_EQ(d.shownText(), "21.5&nbsp;C");
  EXPECT_NE(devices::statusPicture(d).find("temperatures/22.gif"), std::string::npos);
}

}  // namespace
