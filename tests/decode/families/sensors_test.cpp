// RFXCOM temperature/analogue/supply sensors, the Digimax thermostat and the RFXPower meter.
#include <cmath>

#include "decode/receive_processor.h"
#include "decode_fixture.h"

namespace quillon::decode::test {
namespace {

int nibbles(std::initializer_list<int> bs) {
  int s = 0;
  for (int b : bs) s += (b >> 4) + (b & 15);
  return s;
}

// An RFXCOM sensor packet: address (byte 2 = complemented high nibble, type in its low bits), an
// 11-bit measurement (two's complement for temperatures), flag bit 4 and the check nibble.
std::string rfx(int addr, int type, int measurement, bool error = false) {
  const int m = measurement & 0x7FF, b1 = addr, b2 = ((~addr) & 0xF0) | type, b3 = m >> 3;
  int b4 = ((m & 7) << 5) | (error ? 0x10 : 0);
  b4 |= (~(nibbles({b1, b2, b3}) + (b4 >> 4))) & 0x0F;
  return bytes({b1, b2, b3, b4});
}

TEST_F(DecodeTest, RfxTemperatureTable) {
  struct Row {
    int eighths;
    bool metric;
    const char *text, *display;
  } rows[] = {{171, true, "21.4", "21.4&nbsp;C"},  {171, false, "70.5", "70.5&nbsp;F"},
              {-1, true, "-0.1", "-0.1&nbsp;C"},   {-80, true, "-10", "-10&nbsp;C"},  // not 246 C; whole: no ".0"
              {-80, false, "14", "14&nbsp;F"},     {-1024, true, "-128", "-128&nbsp;C"},
              {1023, true, "127.9", "127.9&nbsp;C"}, {2, true, "0.2", "0.2&nbsp;C"}};  // 0.25: half to even
  inUse("21D0", "t1");
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    ctx->settings.metric = r.metric;
    ASSERT_TRUE(decode32Bit(*env, rfx(0x21, 0, r.eighths), detail = ""));
    EXPECT_EQ(detail, std::string(" | 21D0 = ") + r.text);
    EXPECT_EQ(display("21D0"), devices::statusImageHtml(r.display, "Temperature", ""));
    EXPECT_EQ(bodies(), std::vector<std::string>{event("ON", display("21D0"), r.text)});
    EXPECT_DOUBLE_EQ(env->rfxTemperatures.at(rfxBaseAddress(0x21, 0xD0)), r.eighths / 8.0);
  }
  // The same reading again publishes nothing, but is noted and queues the tag.
  tags.clear();
  decode32Bit(*env, rfx(0x21, 0, 2), detail = "");
  EXPECT_EQ(detail, " | 21D0 = 0.2");
  EXPECT_TRUE(bodies().empty());
  EXPECT_EQ(tags, std::vector<std::string>{"t1"});
}

TEST_F(DecodeTest, RfxAnalogSupplyAndRejections) {
  ctx->settings.metric = true;
  EXPECT_DOUBLE_EQ(rfxTemperature(*env, bytes({0x1A, 0x2D, 0x15, 0x60}), detail), 21.375);
  EXPECT_EQ(detail, " | 1A2D = 21.4 | RFXTemperature 1A2D1560 Ignored because location not defined for sensor");
  // m = 235 (2.35 V) at 0 C on the default 4.7 V supply: 52 % and 661 hPa (19.52 inHg).
  const std::string analog = bytes({0x1A, 0x2D, 0x1D, 0x60});
  rfxAnalog(*env, analog, 0, detail = "");
  EXPECT_EQ(detail,
            " | 1A2D = 52 | RFXHumidity 1A2D1D60 Ignored because location not defined for sensor"
            " | 1A2D = 661 | RFXBaro 1A2D1D60 Ignored because location not defined for sensor");
  ctx->settings.metric = false;
  rfxAnalog(*env, analog, 0, detail = "");
  EXPECT_EQ(text("1A2D_B"), "19.52");
  // A 0 V supply would divide by zero: refused and logged, the readings stay.
  registry->device("1A2D_H")->setSupplyVoltage(0);
  registry->device("1A2D_B")->setSupplyVoltage(0);
  rfxAnalog(*env, analog, 0, detail = "");
  EXPECT_EQ(text("1A2D_H") + " " + text("1A2D_B"), "52 19.52");
  EXPECT_EQ(logs, std::vector<std::string>(2, "RFXCOM_AD, Buffer Length=4"));
  // Supply voltage: m / 100 on the record, silently.
  ASSERT_TRUE(decode32Bit(*env, rfx(0x35, 2, 480), detail = ""));
  EXPECT_FLOAT_EQ(registry->device("35C2")->supplyVoltage(), 4.8f);
  EXPECT_EQ(detail, "");
  // Error flag: logged, no record. Address ending in 11: not recognised.
  logs.clear();
  EXPECT_TRUE(decode32Bit(*env, rfx(0x44, 0, 100, true), detail = ""));
  EXPECT_EQ(registry->device("44B0"), nullptr);
  EXPECT_EQ(logs.at(0).rfind("RFXCOM Sensor 44B0 Error Status ", 0), 0u);
  EXPECT_FALSE(decode32Bit(*env, rfx(0x44, 3, 100), detail = ""));
  EXPECT_EQ(detail, "Discarded RFXCOM Sensor because address end with 11");
  // Short packets log the decoder and the length.
  logs.clear();
  EXPECT_TRUE(std::isnan(rfxTemperature(*env, bytes({0x1A, 0x2D}), detail = "")));
  rfxAnalog(*env, bytes({0x1A}), 0, detail);
  rfxSupplyVoltage(*env, "", detail);
  EXPECT_EQ(logs, (std::vector<std::string>{"RFXCOM_Temperature, Buffer Length=2", "RFXCOM_AD, Buffer Length=1",
                                            "RFXCOM_SupplyVoltate, Buffer Length=0"}));
  EXPECT_TRUE(bodies().empty());
}

// A thermostat 1234 packet: the address check nibble makes the nibbles of bytes 1-3 sum to 0xF.
std::string digimax(int status, int temp, int setpoint) {
  const int state = (status & 3) << 4;
  const int b3 = state | (0x0F & (0x0F - nibbles({0x12, 0x34}) - (state >> 4)));
  const int b5 = ((status & 4) << 4) | (setpoint & 0x3F);
  return bytes({0x12, 0x34, b3, temp, b5, (0x0F ^ (nibbles({temp, b5}) & 0x0F)) << 4});
}

TEST_F(DecodeTest, DigimaxTable) {
  struct Row {
    std::string packet;
    const char *dc, *mode, *state, *setpoint, *temp;  // empty mode / setpoint: that check fails
  } rows[] = {
      // Recorded thermostats: 3EF5 demands (20 with set point 20), 186B is satisfied (23, set 21).
      {bytes({0x3E, 0xF5, 0x19, 0x14, 0x14, 0x50}), "3EF5", "Heating on", "ON", "20", "20"},
      {bytes({0x18, 0x6B, 0x23, 0x17, 0x15, 0x10}), "186B", "Heating off", "OFF", "21", "23"},
      {bytes({0x3E, 0xF5, 0x18, 0x14, 0x14, 0x50}), "3EF5", "", "", "", ""},            // address nibble
      {bytes({0x3E, 0xF5, 0x19, 0x14, 0x14, 0x40}), "3EF5", "Heating on", "ON", "", ""},  // temperature nibble
      {digimax(0, 19, 21), "1234", "Heating without setpoint", "OFF", "21", "19"},
      {digimax(5, 18, 22), "1234", "Cooling on", "ON", "22", "18"}};
  ctx->settings.metric = true;
  for (const auto& r : rows) {
    SCOPED_TRACE(util::hexString(r.packet));
    const std::string dc = r.dc;
    for (const std::string& c : {dc + "_M", dc + "_S", dc}) inUse(c).setText("-");
    decodeDigimax44(*env, r.packet, detail = "");
    const std::string tail = " | Digimax " + util::hexString(r.packet) + " Ignored because ";
    std::vector<std::string> expected;
    if (!*r.mode) {
      EXPECT_EQ(detail, tail + "address parity mismatch ");
    } else if (expected.push_back(event(r.state, display(dc + "_M"), r.mode)); !*r.setpoint) {
      EXPECT_EQ(detail, " | " + dc + "_M = " + r.mode + tail + "temperature parity mismatch ");
    } else {
      expected.push_back(event("ON", display(dc + "_S"), r.setpoint));
      expected.push_back(event("ON", display(dc), r.temp));
    }
    EXPECT_EQ(bodies(), expected);
    EXPECT_EQ(text(dc + "_S"), *r.setpoint ? r.setpoint : "-");
    EXPECT_EQ(text(dc), *r.temp ? r.temp : "-");
  }
}

// A Fahrenheit node gets the thermostat's Celsius in Fahrenheit, as every other temperature.
TEST_F(DecodeTest, DigimaxFollowsTheMetricSetting) {
  ctx->settings.metric = false;
  for (const char* c : {"3EF5_M", "3EF5_S", "3EF5"}) inUse(c).setText("-");
  decodeDigimax44(*env, bytes({0x3E, 0xF5, 0x19, 0x14, 0x14, 0x50}), detail = "");
  EXPECT_EQ(text("3EF5"), "68.0");
  EXPECT_EQ(text("3EF5_S"), "68.0");
}

// An RFXMeter packet: the parity is the complement of the eleven nibbles before it.
std::string power(int value, int type = 0) {
  const int b3 = (value >> 8) & 0xFF, b4 = value & 0xFF, b5 = (value >> 16) & 0xFF;
  return bytes({0x45, 0xB5, b3, b4, b5, (type << 4) | (0x0F ^ ((nibbles({0x45, 0xB5, b3, b4, b5}) + type) & 0x0F))});
}

TEST_F(DecodeTest, RfxPowerTable) {
  struct Row {
    std::string packet;
    float cal;
    const char *text, *remark;  // empty text: rejected
  } rows[] = {
      {bytes({0x45, 0xB5, 0x01, 0x2C, 0x00, 0x07}), 1, "300", " | RFXPower 300"},
      {power(0x12345), 0, "74565", " | RFXPower 74565"},   // a calibration of 0 counts as 1
      {power(1234), 1.1f, "1357.4", " | RFXPower 1357.4"},  // single precision, no binary tail
      {bytes({0x45, 0xB4, 0x01, 0x2C, 0x00, 0x07}), 1, "", "Discarded Power because upper nibble of address bytes not complemented"},
      {bytes({0x45, 0xB5, 0x01, 0x2C, 0x00, 0x06}), 1, "", "Discarded Power because parity invalid"},
      {power(300, 1), 1, "", " | RFXMeter 45B5 new interval time set: 30 s"},  // byte 3 is the interval code
      {power(0x4321, 0xB), 1, "", " | RFXMeter 45B5 counter value set: 17185"},
      {power(300, 5), 1, "", " | RFXPower type 5 not decoded"},
      {bytes({0x45, 0xB5, 0x01, 0x2C, 0x00, 0x17}), 1, "", "Discarded Power because parity invalid"},  // type left out
      {bytes({0x45, 0xB5, 0x01}), 1, "", " | RFXPower ignored because packet too short (3 of 6 bytes)"}};
  inUse("45B5");
  for (const auto& r : rows) {
    SCOPED_TRACE(r.remark);
    ctx->settings.sensorCal = r.cal;
    registry->device("45B5")->setText("-");
    decodeRfxPower48(*env, r.packet, detail = "");
    EXPECT_EQ(detail, r.remark);
    EXPECT_EQ(text("45B5"), *r.text ? r.text : "-");
    if (*r.text) {
      EXPECT_EQ(display("45B5"), devices::statusImageHtml(std::string(r.text) + "&nbsp;Watts", "Watt", ""));
      EXPECT_EQ(bodies(), std::vector<std::string>{event("ON", display("45B5"), r.text)});
    }
    EXPECT_TRUE(bodies().empty());
  }
  // A recorded meter 00F0 counting 6; the same with a parity error; its identification packet
  // (type nibble F in the parity), which is logged and is no reading; an all-zero packet.
  ctx->settings.sensorCal = 1;
  decodeRfxPower48(*env, fromHex("00F00006000A"), detail = "");
  EXPECT_EQ(text("00F0"), "6");
  for (const char* hex : {"00F00006000B", "00F0000600FA"}) {
    decodeRfxPower48(*env, fromHex(hex), detail = "");
    EXPECT_EQ(detail, "Discarded Power because parity invalid");
  }
  logs.clear();
  decodeRfxPower48(*env, fromHex("00F0000600FB"), detail = "");
  const std::string ident = "RFXMeter 00F0 identification: RFXPower, firmware version 00, interval code 06";
  EXPECT_EQ(detail, " | " + ident);
  EXPECT_EQ(logs, std::vector<std::string>{ident});
  EXPECT_EQ(text("00F0"), "6");
  decodeRfxPower48(*env, fromHex("00F0C20200F1"), detail = "");
  EXPECT_EQ(detail, " | RFXMeter 00F0 identification: RFXMeter, firmware version C2, interval 1 min");
  decodeRfxPower48(*env, fromHex("000000000000"), detail = "");
  EXPECT_EQ(detail, "Discarded Power because upper nibble of address bytes not complemented");
}

// A recorded RFXCOM sensor (base address 00F0) through the framing: each reading is its own
// receive event. Its humidity is computed from the supply voltage it measured (02F2) and the
// temperature of its own probe (00F0); readings whose bytes 3 and 4 are complements still count.
TEST_F(DecodeTest, RfxcomRecordedSensor) {
  ctx->settings.metric = true;
  struct Recorded {
    const char* hex;
    std::string detail, h, b;  // description line; then 01F1_H and 01F1_B after the packet
  } rows[] = {
      {"2001F11AE5", "20, 01, F1, 1A, E5 | 01F1 = 45 | RFXHumidity 01F11AE5 Ignored because location not defined for sensor"
                     " | 01F1 = 614 | RFXBaro 01F11AE5 Ignored because location not defined for sensor", "45", "614"},  // 2.15 V, 4.7 V supply assumed, 0 C
      {"2002F23EA1", "20, 02, F2, 3E, A1", "45", "614"},                                         // supply 5.01 V
      {"2000F007CD", "20, 00, F0, 07, CD | 00F0 = 7.8 | RFXTemperature 00F007CD Ignored because location not defined for sensor", "45", "614"},  // 7.75 C
      {"2001F11AE5", "", "42", "582"},                                                       // 41.83 %
      {"2000F0FFC6", "20, 00, F0, FF, C6 | 00F0 = -0.2 | RFXTemperature 00F0FFC6 Ignored because location not defined for sensor", "42", "582"},  // -0.25 C
      {"2021D01581", "", "42", "582"},  // another sensor's temperature is not used
      {"2001F11AE5", "", "41", "582"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.hex);
    const std::string line = receive(r.hex);
    if (!r.detail.empty()) {
      EXPECT_EQ(line, r.detail);
    }
    EXPECT_EQ(text("01F1_H") + " " + text("01F1_B"), r.h + " " + r.b);
  }
  EXPECT_FLOAT_EQ(registry->device("02F2")->supplyVoltage(), 5.01f);

  // Status packets come from the address ending in binary 11; flag bit 4 of byte 4 marks them.
  logs.clear();
  EXPECT_EQ(receive("2003F30217"), "20, 03, F3, 02, 17");
  receive("2003F3831E");
  receive("2003F39917");
  receive("205246330A");  // "RF", type 3, version 0A: the sensor started
  receive("2052463289");
  receive("2853454E0026");  // "SEN": the 1-wire chip of sensor 0
  EXPECT_EQ(receive("2853454E0010"), "28, 53, 45, 4E, 00, 10 | RFXCOM Sensor 0 has 1-wire type 10");
  EXPECT_EQ(logs, (std::vector<std::string>{
                      "RFXCOM Sensor 03F3 Error Status 02 (battery low)",
                      "RFXCOM Sensor 03F3 Error Status 83 (1-wire device is not a DS18B20 or DS2438)",
                      "RFXCOM Sensor 03F3 Error Status 99", "RFXCOM Sensor started: type 3, version 0A, fast transmit mode",
                      "RFXCOM Sensor started: type 2, version 09, slow transmit mode",
                      "RFXCOM Sensor 0 has 1-wire type 26 (DS2438)", "RFXCOM Sensor 0 has 1-wire type 10"}));
  // A reading from that address is no sensor type: discarded.
  EXPECT_EQ(receive("2003F31AE1").find(
                "20, 03, F3, 1A, E1Discarded RFXCOM Sensor because address end with 11 | Discarding 03 because byte 3 & 4 are not complements"),
            0u);
}

}  // namespace
}  // namespace quillon::decode::test
