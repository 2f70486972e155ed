// Oregon Scientific: checksum checks, each type row's members, units and rejections.
#include <algorithm>
#include <map>
#include <vector>

#include "devices/status_picture.h"
#include "decode_fixture.h"

namespace quillon::decode::test {
namespace {

int nib(const std::vector<int>& b, std::size_t from, std::size_t to) {  // bytes from..to, from 1
  int s = 0;
  for (std::size_t k = from; k <= to; ++k) s += (b[k - 1] >> 4) + (b[k - 1] & 15);
  return s;
}

// Fills in the checksum of `check` (the nibbles the check reads are overwritten).
std::string os(std::vector<int> b, char check) {
  switch (check) {
    case 'B': b[8] = nib(b, 1, 8) - 10; break;
    case 'C': b[9] = nib(b, 1, 8) + nib(b, 9, 9) - 10; break;
    case 'D': {
      const int s = nib(b, 1, 8) + (b[8] & 15) - 10;
      b[8] = ((s & 15) << 4) | (b[8] & 15);
      b[9] = (b[9] & 0xF0) | (s >> 4);
      break;
    }
    case 'A':
    case 'E': {  // bytes 1-6 and the flag nibble (low half of byte 7); low digit first
      const int x = nib(b, 1, 6) + (b[6] & 15) - 10;
      b[6] = ((x & 15) << 4) | (b[6] & 15);
      b[7] = (b[7] & 0xF0) | (x >> 4);
      break;
    }
    case 'F': b[10] = nib(b, 1, 8) + nib(b, 9, 10) - 10; break;
    case 'U': b[7] = nib(b, 1, 7) - 10; break;  // UVN800: the byte after seven
    case 'R': {  // PCR800: as D, one byte further on
      const int s = nib(b, 1, 9) + (b[9] & 15) - 10;
      b[9] = ((s & 15) << 4) | (b[9] & 15);
      b[10] = (b[10] & 0xF0) | (s >> 4);
      break;
    }
  }
  std::string s;
  for (int v : b) s.push_back(static_cast<char>(v & 0xFF));
  return s;
}

TEST(OregonChecks, EachCheckPassesOnItsChecksumAndFailsOnOneNibble) {
  using Check = bool (*)(std::string_view);
  struct Row {
    char name;
    Check check;
    std::size_t len;
  } rows[] = {{'A', oregonCheckA, 8},  {'B', oregonCheckB, 9}, {'C', oregonCheckC, 10}, {'D', oregonCheckD, 10},
              {'E', oregonCheckE, 8},  {'F', oregonCheckF, 11}, {'U', oregonCheckUVN800, 8}, {'R', oregonCheckPCR800, 11}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<int> b = {0x1A, 0x2D, 0x10, 0xE5, 0x02, 0x21, 0x50, 0x30, 0x00, 0x00, 0x00, 0x00};
    b.resize(r.len);
    std::string p = os(b, r.name);
    EXPECT_TRUE(r.check(p));
    std::string bad = p;
    bad[1] = static_cast<char>(bad[1] ^ 0x01);  // 2D -> 2C
    EXPECT_FALSE(r.check(bad));
    EXPECT_FALSE(r.check(p.substr(0, r.len - 1)));  // short: fails, reads nothing past the end
  }
  EXPECT_TRUE(oregonCheckB(bytes({0x1A, 0x2D, 0x10, 0xE5, 0x02, 0x21, 0x50, 0x38, 0x39, 0x4B})));  // replay sample
  // A and E take the flag nibble (low half of byte 7: the sign of a thermometer) into the sum.
  EXPECT_FALSE(oregonCheckE(fromHex("EA4C309180126803")));
  EXPECT_TRUE(oregonCheckE(fromHex("EA4C30918012E803")));
}

struct Row {
  const char* name;
  OregonType type;
  std::string packet;
  bool metric;
  std::map<std::string, std::string> texts;  // record code -> Text
  std::string detailPart;                    // must appear in the description line
};

TEST_F(DecodeTest, OregonTable) {
  using T = OregonType;
  const Row rows[] = {
      {"CA48 21.5 C", T::CA48, os({0xCA, 0x48, 0x10, 0x5B, 0x50, 0x21, 0x00, 0x00}, 'E'), true,
       {{"CA48_15B", "21.5"}, {"CA48_15B_P", "0"}}, " | CA48_15B = 21.5"},
      {"CA48 negative F", T::CA48, os({0xCA, 0x48, 0x00, 0x5B, 0x50, 0x21, 0x08, 0x00}, 'E'), false,
       {{"CA48_25B", "-6.7"}}, ""},  // channel half 0 is channel 2
      {"CA48 not decimal", T::CA48, os({0xCA, 0x48, 0x10, 0x5B, 0x50, 0x2A, 0x00, 0x00}, 'E'), true,
       {{"CA48_15B", "<none>"}, {"CA48_15B_P", "0"}}, " | OS Temperature ignored because Temperature digit not decimal"},
      {"1A2D temp/hum", T::TempHum80, os({0x1A, 0x2D, 0x40, 0xE5, 0x54, 0x21, 0x70, 0x04, 0x00, 0x00}, 'B'), true,
       {{"1A2D_3E5", "21.5"}, {"1A2D_3E5_H", "47"}, {"1A2D_3E5_P", "1"}}, " | 1A2D_3E5 = 21.5 | OSTemperature "},
      {"1A2D humidity not decimal", T::TempHum80, os({0x1A, 0x2D, 0x40, 0xE5, 0x54, 0x21, 0x70, 0x0A, 0x00, 0x00}, 'B'), true,
       {{"1A2D_3E5_H", "<none>"}}, " | OSHumidity ignored because humidity digit not decimal"},
      {"EA4C 68 bits", T::EA4C, os({0xEA, 0x4C, 0x30, 0x77, 0x30, 0x05, 0x00, 0x00, 0x00}, 'E'), true,
       {{"EA4C_377", "5.3"}, {"EA4C_377_P", "0"}}, ""},
      {"0A4D rolling code", T::T0A4D, os({0x0A, 0x4D, 0x10, 0x0B, 0x10, 0x10, 0x00, 0x00, 0, 0}, 'B'), true,
       {{"0A4D_105", "10.1"}, {"0A4D_105_P", "0"}}, ""},
      {"1A3D battery level", T::T1A3D, os({0x1A, 0x3D, 0x10, 0x22, 0x13, 0x18, 0x50, 0x06, 0, 0}, 'B'), true,
       {{"1A3D_122", "18.1"}, {"1A3D_122_H", "65"}, {"1A3D_122_L", "70"}}, ""},
      {"1A89 wind", T::Wind1A89, os({0x1A, 0x89, 0x00, 0x1B, 0x60, 0x00, 0x34, 0x50, 0x0A, 0}, 'C'), true,
       {{"1A89_21B_D", "135"}, {"1A89_21B_C", "SE"}, {"1A89_21B_G", "12"}, {"1A89_21B_W", "38"}}, " | 1A89_21B_G = 12,nSpeed=3.4,i7=52"},
      {"2A1D rain", T::Rain2A1D, os({0x2A, 0x1D, 0x10, 0x65, 0x32, 0x12, 0x72, 0x56, 0x04, 0, 0}, 'D'), true,
       {{"2A1D_165_E", "123"}, {"2A1D_165_R", "4567"}, {"2A1D_165_F", "2"}, {"2A1D_165_L", "80"}}, ""},
      {"2A1D rain inches", T::Rain2A1D, os({0x2A, 0x1D, 0x10, 0x65, 0x32, 0x12, 0x72, 0x56, 0x04, 0, 0}, 'D'), false,
       {{"2A1D_165_E", "4.84"}, {"2A1D_165_R", "179.80"}}, ""},
      {"2A1D rain rate not decimal", T::Rain2A1D, os({0x2A, 0x1D, 0x10, 0x65, 0x32, 0x1B, 0x72, 0x56, 0x04, 0, 0}, 'D'), true,
       {{"2A1D_165_E", "<none>"}, {"2A1D_165_L", "80"}}, " | Ignored because rain rate byte is not decimal"},
      {"5A5D baro 795", T::Baro5A5D, os({0x5A, 0x5D, 0x10, 0x44, 0x00, 0x20, 0x50, 0x04, 218, 0x0C, 0}, 'F'), true,
       {{"5A5D_144", "20.0"}, {"5A5D_144_H", "45"}, {"5A5D_144_B", "1013"}, {"5A5D_144_F", "Sunny"}}, ""},
      {"5A5D unknown forecast", T::Baro5A5D, os({0x5A, 0x5D, 0x10, 0x44, 0x00, 0x20, 0x50, 0x04, 218, 0x05, 0}, 'F'), true,
       {{"5A5D_144_B", "1013"}, {"5A5D_144_F", "<none>"}}, " | Forecast 05 not recogned"},
      {"5A6D baro 856", T::Baro5A6D, os({0x5A, 0x6D, 0x10, 0x7A, 0x13, 0x23, 0x30, 0x08, 157, 0x60, 0, 0}, 'F'), true,
       {{"5A6D_17A", "23.1"}, {"5A6D_17A_H", "83"}, {"5A6D_17A_B", "1013"}, {"5A6D_17A_F", "Partly Cloudy"}, {"5A6D_17A_L", "70"}}, ""},
      {"5A6D inHg", T::Baro5A6D, os({0x5A, 0x6D, 0x10, 0x7A, 0x13, 0x23, 0x30, 0x08, 157, 0x20, 0, 0}, 'F'), false,
       {{"5A6D_17A_B", "29.91"}, {"5A6D_17A_F", "Cloudy"}}, ""},
      // Direction 252 degrees, gust 1.5 m/s, average 1.2 m/s (km/h, then mph).
      {"3A0D wind", T::Wind3A0D, os({0x3A, 0x0D, 0x10, 0x40, 0x21, 0x25, 0x15, 0x20, 0x01, 0, 0}, 'C'), true,
       {{"3A0D_040_D", "252"}, {"3A0D_040_C", " WSW "}, {"3A0D_040_W", "4"}, {"3A0D_040_G", "5"}, {"3A0D_140_L", "90"}}, ""},
      {"3A0D wind mph", T::Wind3A0D, os({0x3A, 0x0D, 0x10, 0x40, 0x21, 0x25, 0x95, 0x20, 0x01, 0, 0}, 'C'), false,
       {{"3A0D_040_W", "3"}, {"3A0D_040_G", "21"}}, ""},
      {"1A89 wind mph", T::Wind1A89, os({0x1A, 0x89, 0x00, 0x1B, 0x60, 0x00, 0x34, 0x00, 40, 0}, 'C'), false,
       {{"1A89_21B_G", "8"}, {"1A89_21B_W", "89"}}, ""},  // 40 m/s: 89.48 mph
      {"UV 64", T::UV64, os({0xEC, 0x70, 0x10, 0x22, 0x50, 0x00, 0x00, 0x00}, 'A'), true,
       {{"EC70_122", "05"}, {"EC70_122_P", "0"}}, ""},
      {"UV 120", T::UV120, os({0xEC, 0x70, 0x10, 0x22, 0x14, 0x01, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0}, 'A'), true,
       {{"EC70_122", "11"}, {"EC70_122_P", "1"}}, ""},
      {"UVN800 low battery", T::UVN800, os({0xDA, 0x78, 0x14, 0x56, 0x74, 0x10, 0x07, 0, 0}, 'U'), true,
       {{"DA78_156", "07"}, {"DA78_156_P", "1"}}, ""},
      // Rate 42.13 in/h, total 1.228 in.
      {"PCR800 inches", T::PCR800, os({0x2A, 0x19, 0x04, 0x3F, 0x30, 0x21, 0x84, 0x22, 0x01, 0x00, 0, 0}, 'R'), false,
       {{"2A19_23F_E", "42.13"}, {"2A19_23F_R", "1.228"}, {"2A19_23F_P", "0"}}, ""},
      {"PCR800 millimetres", T::PCR800, os({0x2A, 0x19, 0x04, 0x3F, 0x30, 0x21, 0x84, 0x22, 0x01, 0x00, 0, 0}, 'R'), true,
       {{"2A19_23F_E", "1070.1"}, {"2A19_23F_R", "31.2"}}, ""},
      {"PCR800 total not decimal", T::PCR800, os({0x2A, 0x19, 0x04, 0x3F, 0x34, 0x21, 0x84, 0x2A, 0x01, 0x00, 0, 0}, 'R'),
       true, {{"2A19_23F_E", "<none>"}, {"2A19_23F_P", "1"}}, " | Ignored because rain byte is not decimal"},
      {"scale 56", T::Scale56, bytes({0x3A, 0x50, 0x00, 0x30, 0x75, 0x30, 0x00}), true, {{"6C10_05_K", "75.3"}}, ""},
      {"scale 56 check digits", T::Scale56, bytes({0x3A, 0x50, 0x00, 0x30, 0x75, 0x30, 0x0A}), true,
       {{"6C10_05_K", "<none>"}}, " | OSScale ignored because checks digits do not match"},
      {"scale 64", T::Scale64, bytes({0x23, 0x40, 0xC0, 0x56, 0x07, 0, 0, 0}), true, {{"0003_04_K", "75"}}, ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    ctx->settings.metric = r.metric;
    registry->devices().clear();  // each row starts without records
    decodeOregon(*env, r.type, r.packet, detail = "");
    for (const auto& [code, value] : r.texts) EXPECT_EQ(text(code), value) << code;
    EXPECT_NE(detail.find(r.detailPart), std::string::npos) << detail;
  }
  EXPECT_TRUE(bodies().empty());  // no record was in use
}

// Packets recorded from real sensors, as the receiver delivers them (count byte first), with what
// each device reported.
TEST_F(DecodeTest, OregonRecordedSensors) {
  struct Recorded {
    const char* name;
    const char* hex;
    std::map<std::string, std::string> texts;  // record code -> Text ("<none>": not written)
    std::string detailPart;
  } rows[] = {
      {"UV138 UV 4", "78EA7C10804870ADE4FBFFAFCE070188", {{"EA7C_180", "04"}, {"EA7C_180_P", "0"}}, ""},
      {"UV138 UV 12", "78EA7C108028719DE4FBFFAFCE070188", {{"EA7C_180", "12"}}, ""},
      {"UV138 UV 3", "78EA7C10803040FE43FDFFAFCE070108", {{"EA7C_180", "03"}}, ""},
      {"UV138 bad checksum", "78EA7C10FFFF70ADE4FBFFAFCE070188", {{"EA7C_180", "<none>"}}, ""},
      {"WTGR800 20.7 C 86 %", "50FAB8142F722060D85EDB", {{"FAB8_12F", "20.7"}, {"FAB8_12F_H", "86"}, {"FAB8_12F_L", "80"}}, ""},
      {"WTGR800 low battery", "50FAB8142F792060D865DB", {{"FAB8_12F_L", "10"}}, ""},
      {"WTGR800 wind 22.5 deg, 1.2 m/s, average 1", "581A99042F10C01200013980",
       {{"1A99_22F_D", "22"}, {"1A99_22F_C", "NNE"}, {"1A99_22F_G", "4"}, {"1A99_22F_W", "4"}, {"1A99_22F_P", "0"}}, ""},
      {"WGR918 241 deg, 3.4 m/s, average 3.2", "583A0D002D10243420033233",
       {{"3A0D_02D_D", "241"}, {"3A0D_02D_C", " WSW "}, {"3A0D_02D_G", "12"}, {"3A0D_02D_W", "12"}, {"3A0D_22D_L", "100"}}, ""},
      {"WGR918 87 bits", "573A0D002D10243420033233", {{"3A0D_02D_D", "<none>"}}, " | Discarding 57 while trying to sync"},
      {"BWR102 92.9 kg", "38DC63D29392D013", {{"6C10_06_K", "92.9"}}, ""},
      {"BWR102 check digit", "38DC63D29392E013", {{"6C10_06_K", "<none>"}}, " | OSScale ignored because checks digits do not match"},
      {"BWR102 check digit 2", "38DC63D29392D012", {{"6C10_06_K", "<none>"}}, " | OSScale ignored because checks digits do not match"},
      {"BWR102 weight digit", "38DC63D293D2D013", {{"6C10_06_K", "<none>"}}, " | OSScale ignored because weight digit not decimal"},
      {"GR101 62.1 kg", "40D36C421406388406", {{"0003_06_K", "62.1"}}, ""},
      {"GR101 invalid", "40D26C421406388406", {{"0003_06_K", "<none>"}}, ""},
      {"BTHR918N", "605A6D00B110236046A3614E5C",
       {{"5A6D_2B1", "23.1"}, {"5A6D_2B1_H", "66"}, {"5A6D_2B1_B", "1019"}, {"5A6D_2B1_F", "Partly Cloudy"}, {"5A6D_2B1_L", "100"}}, ""},
      {"BTHR918 unknown forecast", "585A5D00C230216044CE0154",
       {{"5A5D_2C2", "21.3"}, {"5A5D_2C2_H", "46"}, {"5A5D_2C2_B", "1001"}, {"5A5D_2C2_F", "<none>"}, {"5A5D_2C2_P", "0"}},
       " | Forecast 01 not recogned"},
      {"RGR918 rain", "542A1D00863000815540031B", {{"2A1D_286_E", "3"}, {"2A1D_286_R", "558"}, {"2A1D_286_F", "1"}}, ""},
      {"RTGR328N", "50DACC134D312220644E32", {{"DACC_14D", "22.3"}, {"DACC_14D_H", "42"}, {"DACC_14D_P", "0"}}, ""},
      {"RTGR328N -1.7 C", "50DACC134D710128645732", {{"DACC_14D", "-1.7"}, {"DACC_14D_H", "42"}}, ""},
      {"RTGR328N low battery", "50DACC134D352220645232", {{"DACC_14D_P", "1"}}, ""},
      {"RTGR328N bad checksum", "50DACC1FFFF12220644E32", {{"DACC_1FF", "<none>"}},
       " | Discarding 50 while trying to sync on byte-count byte for OS Type ?ACC"},
      {"THGR228N", "501A2D10A42115702536D0", {{"1A2D_1A4", "15.2"}, {"1A2D_1A4_H", "57"}, {"1A2D_1A4_P", "0"}}, ""},
      {"THGR810", "50FA2814E6802450444D09", {{"FA28_1E6", "24.8"}, {"FA28_1E6_H", "45"}}, ""},
      {"THR128", "500A4D100A902300002A00", {{"0A4D_105", "23.9"}, {"0A4D_105_P", "0"}}, ""},
      {"THGR918", "501A3D10FB611350254355", {{"1A3D_1FB", "13.6"}, {"1A3D_1FB_H", "55"}, {"1A3D_1FB_L", "90"}}, ""},
      {"test transmitter", "50FEFE0000000000000000", {}, " | Discarding 50 after seeing invalid ID for 80 byte packet"},
      {"RTGR328N clock", "689AEC134D033311526072605F43", {}, " | 9AEC_14D clock 2007-06-05 21:13:30"},
      {"RTGR328N clock bad checksum", "689AEC134D03FF11526072605F43", {}, " | OS 104 bit packet 9AEC134D03FF11526072605F43 not decoded"},
      {"UVN800 UV 0", "48DA7814560010073480", {{"DA78_156", "00"}, {"DA78_156_P", "0"}}, " | DA78_156 = 00"},
      {"UVN800 checksum off by one", "48DA7814560010073580", {{"DA78_156", "<none>"}},
       " | Discarding 48 while trying to sync on byte-count byte for OS Type DA78"},
      // 0.03 in/h and 1.228 in since its batteries went in.
      {"PCR800", "5C2A19043F300080220120230A", {{"2A19_23F_E", "0.8"}, {"2A19_23F_R", "31.2"}, {"2A19_23F_P", "0"}}, ""},
      {"PCR800 checksum off by one", "5C2A19043F300080220130230A", {{"2A19_23F_R", "<none>"}},
       " | Discarding 5C while trying to sync on byte-count byte for OS Type 2A19"},
      {"PCR800 wrong length", "582A19043F300080220120230A", {{"2A19_23F_R", "<none>"}}, " | Discarding 58"},
      {"Electrisave", "78EA00A642000000169BFF5F1DC05408", {{"EA00_1A6", "<none>"}}, ""},
  };
  ctx->settings.metric = true;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    registry->devices().clear();
    platform.time().advance(3000);  // the receive time-out clears what a bad packet left
    rx ? rx->onReceiveTimeout() : void();
    const std::string line = receive(r.hex);
    for (const auto& [code, value] : r.texts) EXPECT_EQ(text(code), value) << code;
    EXPECT_NE(line.find(r.detailPart), std::string::npos) << line;
  }
  // A kind that is not decoded is logged once.
  const std::string other = "OS 72 bit packet DB7814560010073480 not decoded";
  receive("48DB7814560010073480");
  receive("48DB7814560010073480");
  EXPECT_EQ(std::count(logs.begin(), logs.end(), other), 1);
}

TEST_F(DecodeTest, OregonReportsOnlyChangesAndDisplays) {
  auto& t = inUse("CA48_15B", "temp");
  inUse("CA48_15B_P");
  inUse("1A89_21B_D"), ctx->settings.metric = true;
  const std::string p = os({0xCA, 0x48, 0x10, 0x5B, 0x54, 0x21, 0x00, 0x00}, 'E');  // battery bit set
  decodeOregon(*env, OregonType::CA48, p, detail = "");
  EXPECT_EQ(bodies(), (std::vector<std::string>{event("ON", display("CA48_15B"), "21.5"),
                                                event("ON", display("CA48_15B_P"), "1")}));
  EXPECT_EQ(display("CA48_15B"), devices::statusImageHtml("21.5&nbsp;C", "Temperature", ""));
  // Unchanged: nothing sent, DeviceString kept, the battery notes it, the tag still queued.
  t.setShownAsIs("kept");
  tags.clear();
  decodeOregon(*env, OregonType::CA48, p, detail = "");
  EXPECT_TRUE(bodies().empty());
  EXPECT_EQ(devices::statusPicture(t), "kept");
  EXPECT_EQ(detail, " | CA48_15B = 21.5 | CA48_15B_P = 1 | OSBattery " + util::hexString(p) +
                        " Not reported because no change");
  EXPECT_EQ(tags, std::vector<std::string>{"temp"});
  // A battery that is fine again sends State OFF.
  decodeOregon(*env, OregonType::CA48, os({0xCA, 0x48, 0x10, 0x5B, 0x50, 0x21, 0x00, 0x00}, 'E'), detail);
  EXPECT_EQ(bodies(), std::vector<std::string>{event("OFF", display("CA48_15B_P"), "0")});
  decodeOregon(*env, OregonType::Wind1A89, os({0x1A, 0x89, 0x00, 0x1B, 0x60, 0, 0x34, 0x50, 0x0A, 0}, 'C'), detail);
  EXPECT_EQ(display("1A89_21B_D"), devices::statusImageHtml("135 (SE)", "WindDirection", ""));
}

TEST_F(DecodeTest, OregonShortPacketsAndBadLevelsChangeNothing) {
  // Each member that would read past the packet logs its name and the length; the others run.
  ctx->settings.metric = true;
  decodeOregon(*env, OregonType::TempHum80, bytes({0x1A, 0x2D, 0x10, 0xE5, 0x02, 0x21, 0x50}), detail);
  EXPECT_EQ(text("1A2D_1E5"), "21.0");
  EXPECT_EQ(text("1A2D_1E5_H"), "<none>");
  EXPECT_EQ(logs, std::vector<std::string>{"OregonScientific_Humidity, Buffer Length=7"});
  logs.clear();
  const auto records = registry->devices().size();
  for (auto type : {OregonType::Scale56, OregonType::CA48, OregonType::UV64, OregonType::Wind1A89,
                    OregonType::Rain2A1D, OregonType::Baro5A6D, OregonType::Wind3A0D})
    decodeOregon(*env, type, bytes({0x1A, 0x2D}), detail = "");
  EXPECT_EQ(logs.size(), 17u);
  EXPECT_EQ(registry->devices().size(), records);
  // A battery level half above 10 would be a negative percentage: refused.
  decodeOregon(*env, OregonType::T1A3D, os({0x1A, 0x3D, 0x10, 0x22, 0x1C, 0x18, 0x50, 0x06, 0, 0}, 'B'),
               detail = "");
  EXPECT_EQ(text("1A3D_122_L"), "<none>");
  EXPECT_NE(detail.find("battery level digit out of range"), std::string::npos);
}

}  // namespace
}  // namespace quillon::decode::test
