// rtl_433 lines into the assembled node on fake sockets: the records, codes and xAP messages they
// make, beside the serial receiver; and what bad lines do (nothing but a log line).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/node_assembly.h"
#include "radio_codes.h"
#include "platform/posix/system_probe.h"
#include "rflink/link_json.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

// The JSON lines rtl_433 prints when run with these options (errors discarded), or nothing when it
// is missing.
std::vector<std::string> rtl433Output(const std::string& options) {
  std::vector<std::string> lines;
  if (FILE* p = ::popen(("rtl_433 -F json -M protocol " + options + " 2>/dev/null").c_str(), "r")) {
    char buf[4096];
    while (std::fgets(buf, sizeof buf, p))
      if (buf[0] == '{') lines.emplace_back(buf);
    ::pclose(p);
  }
  return lines;
}

// Its lines for a demodulated test code.
std::vector<std::string> rtl433Lines(const std::string& protocol, const std::string& code) {
  return rtl433Output("-R " + protocol + " -y '" + code + "'");
}

// Its lines for a pulse file (the decoders that need a sync pulse).
std::vector<std::string> rtl433PulseLines(const fs::path& file, const std::string& pulses) {
  std::ofstream(file) << pulses;
  return rtl433Output("-R 15 -R 51 -R 96 -r '" + file.string() + "'");
}

class SdrNodeTest : public ::testing::Test {
 protected:
  SdrNodeTest() {
    dir = test::freshTestFolder("quillon-sdr");
    std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n";
    std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\nMetric=1\nDebounceInterval=1000\nHTTPPort=0\n";
    node = std::make_unique<app::NodeAssembly>(platform, core::AppPaths{dir.string(), ""});
    EXPECT_TRUE(node->start());
  }
  ~SdrNodeTest() override {
    node->shutdown();
    node.reset();
    fs::remove_all(dir);
  }

  std::string text(const std::string& code) {
    const devices::W800Device* d = node->registry().device(code);
    return d ? d->text() : "(no record)";
  }
  void place(const std::string& code) {
    ASSERT_TRUE(node->registry().addW800Unit(code));
    node->registry().device(code)->setLocation("Hall");
    node->registry().device(code)->setInUse(true);
    node->registry().device(code)->setBsc(true);  // an X10 unit publishes once asked to
  }
  int sentContaining(const std::string& what) const {
    int n = 0;
    for (auto* s : platform.udpSockets)
      for (const auto& m : s->sent) n += m.data.find(what) != std::string::npos;
    return n;
  }

  test::FakePlatform platform;
  fs::path dir;
  std::unique_ptr<app::NodeAssembly> node;
};

TEST_F(SdrNodeTest, RealRtl433X10LinesActLikeTheSerialReceiversPackets) {
  if (platform::findExecutable("rtl_433").empty()) GTEST_SKIP() << "rtl_433 is not installed (apt install rtl-433)";
  // X10 RF A1 ON and A1 OFF as rtl_433 demodulates them (a sync row, then the 32 data bits).
  const auto on = rtl433Lines("22", "{8}00{32}609f00ff"), off = rtl433Lines("22", "{8}00{32}609f20df");
  ASSERT_EQ(on.size(), 1u);
  ASSERT_EQ(off.size(), 1u);
  EXPECT_NE(on[0].find("\"X10-RF\""), std::string::npos);
  place("A1");
  node->sdrReceiver().feed(on[0]);
  ASSERT_NE(node->registry().device("A1"), nullptr);
  EXPECT_EQ(node->registry().device("A1")->status(), devices::kDeviceStatusOn);
  EXPECT_EQ(sentContaining("W800__________A1"), 1);  // the BSC event of the unit
  platform.time().advance(1500);
  node->sdrReceiver().feed(off[0]);
  EXPECT_EQ(node->registry().device("A1")->status(), devices::kDeviceStatusOff);
  EXPECT_EQ(node->sdrReceiver().decoder().packets(), 2u);
  // An X10 security motion sensor (the 41-bit form rtl_433 demodulates) is the serial receiver's 3C33.
  const auto motion = rtl433Lines("99", "{8}00{41}3c330cf30000");
  ASSERT_EQ(motion.size(), 1u);
  node->sdrReceiver().feed(motion[0]);
  ASSERT_NE(node->registry().device("3C33"), nullptr);
  EXPECT_EQ(node->registry().device("3C33")->status(), devices::kDeviceStatusOn);
  // A Visonic PowerCode alert (37 bits with its start bit, repeated as rtl_433 wants it).
  const auto alert = rtl433Lines("151", "{37}e2f62c2010{37}e2f62c2010{37}e2f62c2010{37}e2f62c2010");
  ASSERT_EQ(alert.size(), 1u);
  node->sdrReceiver().feed(alert[0]);
  ASSERT_NE(node->registry().device("C5EC58S"), nullptr);
  EXPECT_EQ(node->registry().device("C5EC58S")->status(), devices::kDeviceStatusOn);
  const nlohmann::ordered_json j = rflink::linkJson(node->sdrReceiver().status());
  EXPECT_EQ(j["role"], "sdr");
  EXPECT_EQ(j["lines"], 4);
  EXPECT_EQ(j["packets"], 4);
  EXPECT_FALSE(j["last_packet"].is_null());
}

TEST_F(SdrNodeTest, OregonReadingsMakeTheSerialReceiversCodesAndValues) {
  node->sdrReceiver().feed(
      R"({"time":"1765200000.000000","model":"Oregon-THGR122N","id":229,"channel":1,"battery_ok":1,"temperature_C":21.5,"humidity":45})"
      "\n"
      R"({"model":"Oregon-THN132N","id":18,"channel":3,"battery_ok":0,"temperature_C":-3.2})"
      "\n"
      R"({"model":"Oregon-BHTR968","id":100,"channel":0,"battery_ok":1,"temperature_C":19.0,"humidity":52,"pressure_hPa":1013})"
      "\n"
      R"({"model":"Oregon-RGR968","id":7,"channel":0,"battery_ok":1,"rain_rate_mm_h":3,"rain_mm":127})"
      "\n"
      R"({"model":"Oregon-WGR800","id":33,"channel":0,"battery_ok":1,"wind_max_m_s":5.2,"wind_avg_m_s":3.4,"wind_dir_deg":90})"
      "\n");
  EXPECT_EQ(text("1A2D_1E5"), "21.5");
  EXPECT_EQ(text("1A2D_1E5_H"), "45");
  EXPECT_EQ(text("1A2D_1E5_P"), "0");
  EXPECT_EQ(text("EA4C_312"), "-3.2");
  EXPECT_EQ(text("EA4C_312_P"), "1");
  EXPECT_EQ(text("5A6D_264"), "19.0");  // channel 0 as sent: the node's channel 2
  EXPECT_EQ(text("5A6D_264_B"), "1013");
  EXPECT_EQ(text("5A6D_264_L"), "100");
  EXPECT_EQ(text("2A1D_207_E"), "3");
  EXPECT_EQ(text("2A1D_207_R"), "127");
  EXPECT_EQ(text("1A89_221_D"), "90");
  EXPECT_EQ(text("1A89_221_W"), "12");  // 3.4 m/s in km/h, as the node shows every wind speed
  EXPECT_EQ(node->sdrReceiver().decoder().packets(), 5u);
  EXPECT_EQ(node->sdrReceiver().decoder().malformed(), 0u);
}

// Serial receiver packets sent as radio codes through the real rtl_433: its lines give the records
// (codes and values) the serial receiver makes of the same packets.
TEST_F(SdrNodeTest, RealRtl433OregonCodesGiveTheSerialReceiversRecords) {
  if (platform::findExecutable("rtl_433").empty()) GTEST_SKIP() << "rtl_433 is not installed (apt install rtl-433)";
  struct Case {
    bool v3;
    const char* packet;
    int bits;  // v2.1: the message bits rtl_433 expects; v3: the packet's bits
    const char* model;
    std::vector<std::pair<const char*, const char*>> records;
  };
  const Case cases[] = {
      {false, "1A 2D 10 A4 21 15 70 25 36 D0", 76, "Oregon-THGR122N", {{"1A2D_1A4", "15.2"}, {"1A2D_1A4_H", "57"}}},
      {false, "EA 4C 30 77 30 05 70 03 00", 64, "Oregon-THN132N", {{"EA4C_377", "5.3"}}},
      {false, "5A 5D 10 44 00 20 50 04 DA 0C 4E", 84, "Oregon-BTHR918", {{"5A5D_144", "20.0"}, {"5A5D_144_B", "1013"}}},
      {false, "5A 6D 00 B1 10 23 60 46 A3 61 4E 5C", 92, "Oregon-BHTR968",
       {{"5A6D_2B1", "23.1"}, {"5A6D_2B1_H", "66"}, {"5A6D_2B1_B", "1019"}, {"5A6D_2B1_L", "100"}}},
      {false, "2A 1D 00 86 30 00 81 55 40 03 1B", 80, "Oregon-RGR968", {{"2A1D_286_E", "3"}, {"2A1D_286_R", "558"}}},
      {false, "3A 0D 00 2D 10 24 34 20 03 32 33", 94, "Oregon-WGR968",
       {{"3A0D_02D_D", "241"}, {"3A0D_02D_G", "12"}, {"3A0D_02D_W", "12"}}},
      {false, "EA 7C 10 80 48 70 AD E4 FB FF AF CE 07 01 88", 148, "Oregon-UVR128", {{"EA7C_180", "04"}}},
      {true, "2A 19 04 3F 30 00 80 22 01 20 23 0A", 92, "Oregon-PCR800", {{"2A19_23F_E", "0.8"}, {"2A19_23F_R", "31.2"}}},
      {true, "DA 78 14 56 74 10 07 3F 00", 72, "Oregon-UV800", {{"DA78_156", "07"}, {"DA78_156_P", "1"}}},
      // rtl_433 names this id and FA28 both THGR810; the node takes the common one.
      {true, "FA B8 14 2F 79 20 60 D8 65 DB", 80, "Oregon-THGR810", {{"FA28_12F", "20.7"}, {"FA28_12F_H", "86"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    const auto lines = rtl433Lines("12", c.v3 ? test::oregonV3Code(c.packet, c.bits) : test::oregonV21Code(c.packet, c.bits));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(std::string("\"") + c.model + "\""), std::string::npos) << lines[0];
    node->sdrReceiver().feed(lines[0]);
    for (const auto& [code, value] : c.records) EXPECT_EQ(text(code), value) << code << " from " << lines[0];
    platform.time().advance(61000);  // past the limit of new records a minute
  }
  EXPECT_EQ(node->sdrReceiver().decoder().packets(), std::size(cases));
}

// A HomeEasy remote's press, which rtl_433 reports under three names (KlikAanKlikUit, Proove,
// Nexa): the serial receiver's door switch record, changed once; a dim level is its 38-bit record.
TEST_F(SdrNodeTest, RealRtl433HomeEasyPressesGiveTheSerialReceiversRecords) {
  if (platform::findExecutable("rtl_433").empty()) GTEST_SKIP() << "rtl_433 is not installed (apt install rtl-433)";
  const std::string address = "01001000110100010101101010";  // 123456A
  auto press = [&](const std::string& tail) { return rtl433PulseLines(dir / "press.ook", test::homeEasyPulseFile(address + tail)); };
  std::string kinds;
  node->registry().subscribe([&](const devices::DeviceChange& c) {
    if (c.device.dc() == "48D1_05A_S") kinds += std::to_string(static_cast<int>(c.kind));
  });
  const auto on = press("010101");  // not a group command, on, unit 0101
  ASSERT_GE(on.size(), 2u);
  for (const std::string& line : on) node->sdrReceiver().feed(line);
  ASSERT_NE(node->registry().device("48D1_05A_S"), nullptr);
  EXPECT_EQ(text("48D1_05A_S"), "1");
  EXPECT_EQ(node->registry().device("48D1_05A_S")->deviceType(), "Switch");
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), '0' + static_cast<int>(devices::DeviceChange::Kind::Changed)), 1) << kinds;
  platform.time().advance(1500);
  for (const std::string& line : press("000101")) node->sdrReceiver().feed(line);
  EXPECT_EQ(text("48D1_05A_S"), "0");
  // Dim to level 9 of 15: the command bit pair sent as two long gaps, then the level.
  platform.time().advance(1500);
  const auto dim = press("0D01011001");
  ASSERT_FALSE(dim.empty());
  EXPECT_NE(dim[0].find("\"dim\" : \"Yes\""), std::string::npos) << dim[0];
  for (int i = 0; i < 2; ++i) {  // a family without a check of its own: a second sighting makes the record
    for (const std::string& line : dim) node->sdrReceiver().feed(line);
    platform.time().advance(1500);
  }
  ASSERT_NE(node->registry().device("123456A_6"), nullptr);
  EXPECT_EQ(text("123456A_6"), "60");
  EXPECT_EQ(node->registry().device("123456A_6")->deviceType(), "Dimmer");
}

TEST_F(SdrNodeTest, UnknownModelsBecomeGenericRecordsThatPublishOnceInUse) {
  const std::string line =
      R"({"model":"Acurite-Tower","id":1234,"channel":"A","battery_ok":1,"temperature_C":7.25,"humidity":61,"mic":"CHECKSUM"})"
      "\n";
  node->sdrReceiver().feed(line);
  EXPECT_EQ(text("Acurite-Tower_1234_A"), "7.3");
  EXPECT_EQ(text("Acurite-Tower_1234_A_H"), "61");
  EXPECT_EQ(text("Acurite-Tower_1234_A_P"), "0");
  EXPECT_EQ(node->registry().device("Acurite-Tower_1234_A")->deviceType(), "Temperature");
  // Given a location, a new value goes out as the device's BSC event.
  node->registry().device("Acurite-Tower_1234_A")->setLocation("Shed");
  node->registry().device("Acurite-Tower_1234_A")->setInUse(true);
  platform.time().advance(1500);
  node->sdrReceiver().feed(R"({"model":"Acurite-Tower","id":1234,"channel":"A","temperature_C":8})" "\n");
  EXPECT_EQ(text("Acurite-Tower_1234_A"), "8.0");
  EXPECT_EQ(sentContaining("Text=8.0"), 1);
  // A mapped model whose values cannot be rebuilt as a packet is kept as generic records.
  node->sdrReceiver().feed(R"({"model":"Oregon-THGR122N","id":5,"channel":1,"temperature_C":150,"humidity":40})" "\n");
  EXPECT_EQ(text("Oregon-THGR122N_5_1"), "150.0");
}

TEST_F(SdrNodeTest, APacketHeardByBothReceiversCountsOnce) {
  place("A1");
  int changes = 0;
  node->registry().subscribe([&](const devices::DeviceChange& c) { changes += c.device.dc() == "A1"; });
  node->receiveProcessor().processCommData(std::string("\x60\x9F\x00\xFF", 4));  // the serial receiver
  node->sdrReceiver().feed(R"({"model":"X10-RF","id":1,"channel":"A","state":"ON","data":1621033215})" "\n");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(sentContaining("W800__________A1"), 1);
  // After the debounce interval the same press is a new one.
  platform.time().advance(1500);
  node->sdrReceiver().feed(R"({"model":"X10-RF","id":1,"channel":"A","state":"ON","data":1621033215})" "\n");
  EXPECT_EQ(changes, 2);
  // The serial receiver's own count is not the SDR receiver's.
  EXPECT_EQ(node->receiveProcessor().packetsDecoded(), 1u);
}

TEST_F(SdrNodeTest, BadLinesAreRefusedAndTheNextGoodLineStillCounts) {
  auto& sdr = node->sdrReceiver();
  sdr.feed("not json\n{\"model\":\n[1,2,3]\n{\"id\":5}\n");
  sdr.feed(std::string(1 << 20, 'x') + "\n");             // 1 MB without a newline until its end
  sdr.feed("{\"model\":\"a\"," + std::string(100000, '[') + "\n");  // nesting
  std::string garbage;
  for (int i = 0; i < 65536; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
  sdr.feed(garbage + "\n");
  // Fields of the wrong kind: nothing rebuilt from them, and no crash.
  sdr.feed(R"({"model":"X10-RF","data":"zz"})" "\n" R"({"model":"Oregon-THGR122N","id":1e300,"temperature_C":"warm"})" "\n"
           R"({"model":"X10-RF","data":-5})" "\n" R"({"model":"Oregon-WGR800","id":3,"wind_dir_deg":null})" "\n");
  EXPECT_GE(sdr.decoder().malformed(), 4u);
  sdr.feed(R"({"model":"Oregon-THGR122N","id":229,"channel":1,"battery_ok":1,"temperature_C":20.1,"humidity":40})" "\n");
  EXPECT_EQ(text("1A2D_1E5"), "20.1");
  EXPECT_GE(sentContaining("SDR line refused"), 1);
}

}  // namespace
