#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "core/log.h"
#include "core/settings.h"
#include "core/settings_table.h"
#include "support/setting_samples.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

struct TempDir {
  TempDir() {
    path = fs::temp_directory_path() /
           ("quillon-set-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  void write(const std::string& name, const std::string& text) { std::ofstream(path / name, std::ios::binary) << text; }
  std::string read(const std::string& name) const {
    std::ifstream in(path / name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  fs::path path;
};

core::Settings load(const std::string& w800) {
  TempDir dir;
  dir.write("Quillon.ini", "[W800]\r\n" + w800);
  core::IniCache cache(dir.path.string());
  core::Settings s;
  core::initIniKeys(s, cache);
  return s;
}

TEST(Settings, EmptyFileGivesDefaults) {
  core::Settings s = load("");
  EXPECT_EQ(s.uid, "FF.0052:00");
  EXPECT_EQ(s.serialPort, "");
  EXPECT_EQ(s.httpPort, "8017");
  EXPECT_EQ(s.debounceInterval, 1000);
  EXPECT_EQ(s.background, "Black");
  EXPECT_EQ(s.styleSheet, "StyleNoBody.css");
  EXPECT_FLOAT_EQ(s.sensorCal, 1.0f);
  EXPECT_FALSE(s.debugLog);
  EXPECT_FALSE(core::periodicSchedule(s.periodicScriptInterval).enabled);
}

TEST(Settings, Conversions) {
  EXPECT_EQ(load("UID=FF123400\r\n").uid, "FF.1234:00");
  EXPECT_EQ(load("UID=\"FF123400\"\r\n").uid, "FF.1234:00");
  EXPECT_EQ(load("UID=AB.CDEF:12\r\n").uid, "AB.CDEF:12");
  for (auto [text, expected] : std::vector<std::pair<std::string, int>>{
           {"150", 1000}, {"2500", 1000}, {"200", 200}, {"2000", 2000}, {"abc", 1000}, {"\"500\"", 500}})
    EXPECT_EQ(load("DebounceInterval=" + text + "\r\n").debounceInterval, expected) << text;
  EXPECT_TRUE(load("Metric=2\r\n").metric);
  EXPECT_FALSE(load("DebugLog=yes\r\n").debugLog);
  EXPECT_TRUE(load("DebugLog=1\r\n").debugLog);
  EXPECT_TRUE(load("debuglog=\"TRUE\"\r\n").debugLog);
  EXPECT_FLOAT_EQ(load("SensorCal=0\r\n").sensorCal, 1.0f);
  EXPECT_FLOAT_EQ(load("SensorCal=1.5x\r\n").sensorCal, 1.5f);
  EXPECT_EQ(load("Mode=1.6\r\n").mode, 2);
  EXPECT_EQ(load("SerialPort=\"/dev/ttyUSB0\"\r\n").serialPort, "/dev/ttyUSB0");
  EXPECT_EQ(load("HTTPPort=9000\r\n").httpPort, "8017");  // the key list's "httpport" selects nothing
  TempDir dir;
  dir.write("Quillon.ini", "[W800]\r\nHTTPPort=\"9000\"\r\n");
  core::IniCache cache(dir.path.string());
  core::Settings s;
  core::setIniValue(s, cache, "ServerPort");
  EXPECT_EQ(s.httpPort, "9000");
}

// Each key of Settings: the table's default is what an empty file loads and what Settings starts
// with, and its sample loads back as written.
TEST(SettingsTable, DefaultsAndSamplesLoadAsDeclared) {
  std::string file;
  std::set<std::string> seen;
  for (const core::SettingDef& d : core::settingsTable()) {
    EXPECT_TRUE(seen.insert(util::lower(std::string(d.section) + "/" + d.key)).second) << d.key << " twice";
    if (d.value) file += std::string(d.key) + "=" + test::settingSample(d) + "\r\n";
  }
  core::Settings empty = load(""), loaded = load(file);
  TempDir dir;
  dir.write("Quillon.ini", "[W800]\r\n" + file);
  core::IniCache cache(dir.path.string());
  core::setIniValue(loaded, cache, "ServerPort");  // the walk leaves HTTPPort to the node
  std::size_t keys = 0;
  for (const core::SettingDef& d : core::settingsTable()) {
    if (!d.value) continue;
    ++keys;
    EXPECT_EQ(d.value(core::Settings{}), d.def) << d.key;
    EXPECT_EQ(d.value(empty), d.def) << d.key;
    EXPECT_EQ(d.value(loaded), test::settingSample(d)) << d.key;
  }
  EXPECT_EQ(core::changedKeys(empty, loaded).size(), keys);
}

TEST(SettingsTable, ChangedKeysAreThoseTheNodeReadsDifferently) {
  const core::Settings before = load("DebugLog=1\r\nMode=0\r\nDebounceInterval=150\r\n");
  const core::Settings after = load("DebugLog=True\r\nMode=1\r\nSerialPort=/dev/ttyUSB0\r\nDebounceInterval=1000\r\n");
  EXPECT_EQ(core::changedKeys(before, after), (std::vector<std::string>{"SerialPort", "Mode"}));
  EXPECT_TRUE(core::changedKeys(after, after).empty());
}

TEST(Settings, PeriodicSchedule) {
  auto s = core::periodicSchedule("90");
  EXPECT_TRUE(s.enabled);
  EXPECT_EQ(s.intervalMs, 30000);
  EXPECT_EQ(s.minuteCounter, 1);
  s = core::periodicSchedule("120");
  EXPECT_EQ(s.intervalMs, 60000);
  EXPECT_EQ(s.minuteCounter, 1);
  EXPECT_FALSE(core::periodicSchedule("soon").enabled);
  EXPECT_FALSE(core::periodicSchedule("").enabled);
}

TEST(Settings, FilterDictionary) {
  TempDir dir;
  dir.write("Quillon.ini", "[Received]\r\n=ignored;x\r\nA.b~X.Y=tag1;script1\r\na.B~x.y=tag2;\r\nc~d=\"t\";s\r\n");
  core::IniCache cache(dir.path.string());
  core::FilterDictionary f;
  core::initFilterDictionary(f, cache);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(*f.find("a.b~x.y"), "tag1;script1");
  EXPECT_EQ(*f.find("C~D"), "t;s");
}

TEST(Log, DebugEntriesStayLocalAndEventsGoToTheNetwork) {
  TempDir dir;
  test::VirtualClock clock(util::DateTime{2026, 3, 4, 1, 2, 3, 0});
  core::Logger log(clock, (dir.path / "Quillon.txt").string());
  std::vector<std::string> sent;
  log.setXapSender([&](const std::string& t, const std::string& type, const std::string& data) {
    sent.push_back(t + "|" + type + "|" + data);
  });
  log.logEvent("Quillon Debug", "dbg");
  log.logEvent("Quillon", "event", " Line 7 boom");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], "04/03/2026 01:02:03|Quillon|event Line 7 boom");
  EXPECT_EQ(dir.read("Quillon.txt"), "04/03/2026 01:02:03 3723 | Quillon Debug dbg \r\n");
  log.setDebugLog(true);
  log.logEvent("IniTool", "both", " Line 9 x");
  log.writeLogLine("Quillon", "direct", " Line 1 y");
  EXPECT_EQ(sent.size(), 2u);
  EXPECT_EQ(dir.read("Quillon.txt"),
            "04/03/2026 01:02:03 3723 | Quillon Debug dbg \r\n04/03/2026 01:02:03 3723 | IniTool both \r\n"
            "04/03/2026 01:02:03 3723 | Quillon direct  Line 1 y\r\n");
}

TEST(Log, FloodsOfOneKindAreSummedUpAndLongEntriesCut) {
  TempDir dir;
  test::VirtualClock clock;
  core::Logger log(clock, (dir.path / "Quillon.txt").string());
  std::vector<std::string> sent;
  log.setXapSender([&](const std::string&, const std::string&, const std::string& data) { sent.push_back(data); });
  for (int i = 0; i < 1000; ++i) log.logEvent("Quillon", "Readmessage: bad datagram " + std::to_string(i));
  ASSERT_EQ(sent.size(), static_cast<std::size_t>(core::Logger::kBurstPerKind));
  log.logEvent("Quillon", "Other kind");  // another kind still gets through
  EXPECT_EQ(sent.back(), "Other kind");
  clock.advance(core::Logger::kWindowMs - 1);
  log.tick();
  EXPECT_EQ(sent.size(), core::Logger::kBurstPerKind + 1u);
  clock.advance(1);
  log.tick();
  ASSERT_EQ(sent.size(), core::Logger::kBurstPerKind + 2u);
  EXPECT_EQ(sent.back(), "Readmessage: bad datagram ... repeated 995 times in 10 s");
  EXPECT_NE(dir.read("Quillon.txt").find("repeated 995 times"), std::string::npos);  // the file knows too
  log.logEvent("Quillon", "Readmessage: bad datagram again");  // a new window
  EXPECT_EQ(sent.back(), "Readmessage: bad datagram again");
  // A subsystem's tag does not make its lines one kind: refused commands never hide its
  // connection lines.
  for (int i = 0; i < 10; ++i) log.logEvent("Quillon", "MQTT: set command \"x\" for A1 refused: expected ON or OFF");
  log.logEvent("Quillon", "MQTT: lost the connection to 127.0.0.1:1883");
  EXPECT_EQ(sent.back(), "MQTT: lost the connection to 127.0.0.1:1883");

  // Many kinds together are held to the total.
  clock.advance(core::Logger::kWindowMs);
  log.tick();
  sent.clear();
  for (int i = 0; i < 200; ++i) log.logEvent("T" + std::to_string(i), "x");
  EXPECT_EQ(sent.size(), static_cast<std::size_t>(core::Logger::kBurstTotal));

  // An entry far longer than a datagram is cut and marked, in both copies.
  clock.advance(core::Logger::kWindowMs);
  log.tick();
  log.setDebugLog(true);
  const std::size_t fileBefore = dir.read("Quillon.txt").size();
  log.logEvent(std::string(500, 't'), std::string(43183, 'x'), " Line 1 boom");
  ASSERT_LE(sent.back().size(), core::Logger::kMaxTextBytes);
  EXPECT_NE(sent.back().find("[cut from 43195 bytes]"), std::string::npos);
  EXPECT_LT(dir.read("Quillon.txt").size() - fileBefore, 1200u);
}

TEST(Log, BufferedFileIsFlushedEverySecondAndRotatesAtItsLimit) {
  TempDir dir;
  test::VirtualClock clock;
  const std::string file = (dir.path / "Quillon.txt").string();
  {
    core::Logger log(clock, file);
    log.setBuffered(true);
    log.writeLogLine("Quillon", "one");
    log.writeLogLine("Quillon", "two");
    EXPECT_EQ(dir.read("Quillon.txt"), "");  // still in the buffer
    clock.advance(core::Logger::kFlushIntervalMs);
    log.tick();
    EXPECT_NE(dir.read("Quillon.txt").find("two"), std::string::npos);
    log.writeLogLine("Quillon", "three");
  }
  EXPECT_NE(dir.read("Quillon.txt").find("three"), std::string::npos);  // flushed at the end

  core::Logger log(clock, file);
  const std::string text(1000, 'r');
  const auto linesPerFile = core::Logger::kMaxFileBytes / text.size();
  for (std::uintmax_t i = 0; i < (core::Logger::kKeptFiles + 1) * linesPerFile; ++i) log.writeLogLine("Quillon", text);
  for (int i = 1; i <= core::Logger::kKeptFiles; ++i) {
    const fs::path old = file + "." + std::to_string(i);
    ASSERT_TRUE(fs::exists(old)) << old;
    EXPECT_LE(fs::file_size(old), core::Logger::kMaxFileBytes + 2000);
  }
  EXPECT_FALSE(fs::exists(file + "." + std::to_string(core::Logger::kKeptFiles + 1)));
  EXPECT_LE(fs::file_size(file), core::Logger::kMaxFileBytes);
}

TEST(Log, MissingFolderLosesTheEntryQuietly) {
  test::VirtualClock clock;
  core::Logger log(clock, "/nonexistent/folder/Quillon.txt");
  log.logEvent("Quillon Debug", "lost");
  EXPECT_TRUE(log.lastWriteFailed());
}

}  // namespace
