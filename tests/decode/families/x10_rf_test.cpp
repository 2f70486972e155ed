// 32-bit X10 RF, PC remote, X10 security (32- and 41-bit), the Visonic form and the door switch.
#include <map>

#include "decode_fixture.h"

namespace quillon::decode::test {
namespace {

// An X10 RF code: house A..P (high nibble of byte 1), unit 1..16 (unit-1: bit 3 -> byte 1 bit 2,
// bit 2 -> byte 3 bit 6, bit 1 -> bit 3, bit 0 -> bit 4), OFF = byte 3 bit 5; or a raw command.
std::string x10(char house, int unit, bool off, int raw = -1) {
  const int u = unit - 1, b1 = (static_cast<int>(std::string("MNOPCDABEFGHKLIJ").find(house)) << 4) | (u & 8 ? 4 : 0);
  const int b3 = raw >= 0 ? raw : (u & 4 ? 0x40 : 0) | (u & 2 ? 0x08 : 0) | (u & 1 ? 0x10 : 0) | (off ? 0x20 : 0);
  return bytes({b1, b1 ^ 0xFF, b3, b3 ^ 0xFF});
}

TEST_F(DecodeTest, X10RfTable) {
  for (const char* c : {"A1", "A3", "B16", "P9"}) inUse(c);
  inUse("C2").setInvert(true);
  inUse("D1").setOffTime(10);
  struct Row {
    std::string packet;
    int afterMs;
    const char *detail, *dc;
    int status;
  } rows[] = {
      {bytes({0x60, 0x9F, 0x00, 0xFF}), 0, " | A1=ON", "A1", 2},
      {bytes({0x60, 0x9F, 0x00, 0xFF}), 300, " | Debounce Discard of A1=ON", "A1", 2},
      {bytes({0x60, 0x9F, 0x00, 0xFF}), 1000, " | A1=ON", "A1", 2},  // repeats stopped long enough
      {x10('A', 3, false), 2000, " | A3=ON", "A3", 2},
      {x10('A', 3, false, 0x98), 2000, " | A3=DIM", "A3", 4},  // on the last unit heard
      {x10('A', 3, false, 0x88), 2000, " | A3=BRIGHT", "A3", 5},
      {x10('B', 16, true), 2000, " | B16=OFF", "B16", 3},
      {x10('P', 9, false), 2000, " | P9=ON", "P9", 2},
      {x10('P', 9, false, 0x80), 2000, " | P9=All Lights Off", "P9", 1},
      {x10('C', 2, false), 2000, " | C2=ON", "C2", 3},  // inverted
      {x10('D', 1, false), 2000, " | D1=ON", "D1", 2},  // auto-off: ON reported...
      {x10('D', 1, true), 200, " | D1=OFF", "D1", 2},   // ... OFF not
      {x10('K', 5, false), 2000, " | K5=ON | Ignored because location not defined for sensor", "K5", 2},
      // Recorded remotes: A11 on, off, bright, dim; A3 on.
      {fromHex("649B08F7"), 2000, " | A11=ON | Ignored because location not defined for sensor", "A11", 2},
      {fromHex("649B28D7"), 2000, " | A11=OFF | Ignored because location not defined for sensor", "A11", 3},
      {fromHex("649B8877"), 2000, " | A11=BRIGHT | Ignored because location not defined for sensor", "A11", 5},
      {fromHex("649B9867"), 2000, " | A11=DIM | Ignored because location not defined for sensor", "A11", 4},
      {fromHex("609F08F7"), 2000, " | A3=ON", "A3", 2},
  };
  decode32Bit(*env, x10('A', 1, false, 0x98), detail);  // dim before any unit: no record "A"
  EXPECT_EQ(detail, " | X10 A DIM ignored because no unit heard yet");
  for (const auto& r : rows) {
    SCOPED_TRACE(r.detail);
    platform.time().advance(r.afterMs);
    ASSERT_TRUE(decode32Bit(*env, r.packet, detail = ""));
    EXPECT_EQ(detail, r.detail);
    EXPECT_EQ(registry->device(r.dc)->deviceStatus(), r.status);
  }
  EXPECT_FALSE(decode32Bit(*env, bytes({0x60, 0x9F, 0x00, 0xFE}), detail = ""));  // not complements
  EXPECT_FALSE(decode32Bit(*env, bytes({0x60, 0x9F, 0x00}), detail = ""));
  EXPECT_TRUE(decode32Bit(*env, bytes({0x12, 0x34, 0x02, 0xFD}), detail = ""));  // Visonic off: silent
  EXPECT_EQ(detail, "");
  EXPECT_TRUE(decode32Bit(*env, fromHex("64FB9867"), detail = ""));  // recorded, not X10: silent
  EXPECT_EQ(detail, "");
}

TEST_F(DecodeTest, PcRemoteTable) {
  inUse("EE11");
  struct Row {
    int key, afterMs;
    const char *detail, *signal;  // empty signal: nothing sent
  } rows[] = {{0x82, 0, " | EE11 = 1", "1"},           {0x82, 300, "", ""},  // within half of 1000 ms
              {0x42, 100, " | EE11 = 2", "2"},         {0x42, 600, " | EE11 = 2", "2"},
              {0xD7, 100, " | EE11 = TELETEXT", "TELETEXT"}, {0x01, 100, "PC Remote not recognized, discarding EE", ""}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.detail);
    platform.time().advance(r.afterMs);
    ASSERT_TRUE(decode32Bit(*env, bytes({0xEE, 0x11, r.key, r.key ^ 0xFF}), detail = ""));
    EXPECT_EQ(detail, r.detail);
    EXPECT_EQ(bodies(), *r.signal ? std::vector<std::string>{event("ON", display("EE11"), r.signal)}
                                  : std::vector<std::string>{});
  }
  ctx->settings.irSchema = true;
  platform.time().advance(1000);
  decode32Bit(*env, bytes({0xEE, 0x11, 0xB0, 0x4F}), detail = "");
  EXPECT_NE(platform.udpSockets.at(1)->sent.at(0).data.find("\nclass=IR.Receive\n"), std::string::npos);
  EXPECT_EQ(bodies(), std::vector<std::string>{"IR.Signal\n{\nDevice=" +
                                               xap::deviceSubAddress(*registry->device("EE11"), 0) + "\nSignal=PLAY\n}\n"});
}

TEST_F(DecodeTest, SecurityTable) {
  const std::string bad = "Discarded 48 bit mode Security because packet criteria not satisified goodParity=";
  struct Row {
    std::string packet;
    bool accepted;
    std::string detail;
  } rows[] = {
      {bytes({0x3C, 0x33, 0x0C, 0xF3}), true, " | 3C33=ON | Security 3C330CF3 Ignored because location not defined for sensor"},
      {bytes({0x3C, 0x33, 0x0C, 0xF3}), true, " | Debounce Discard of 3C33=ON"},
      {bytes({0x3C, 0x33, 0x84, 0x7B, 0x03, 0x00}), true,
       " | 3C33=132 | Security 3C33847B0300 Ignored because location not defined for sensor"},
      {bytes({0x3C, 0x33, 0x84, 0x7B, 0x01, 0x00}), false, bad + "False,Parity=1,b0=True,b1=True"},
      {bytes({0x3C, 0x33, 0x84, 0x7B, 0x01, 0x80}), true, " | Debounce Discard of 3C33=132"},  // parity bit in b6
      {bytes({0x3C, 0x34, 0x84, 0x7A, 0x03, 0x00}), false, bad + "True,Parity=2,b0=False,b1=False"},
      {bytes({0x3C, 0x33, 0x84}), false, " | Security ignored because packet too short (3 of 6 bytes)"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.detail);
    platform.time().advance(100);
    detail.clear();
    EXPECT_EQ(r.packet.size() == 4 ? decode32Bit(*env, r.packet, detail) : decodeSecurity41(*env, r.packet, detail),
              r.accepted);
    EXPECT_EQ(detail, r.detail);
  }
  EXPECT_NE(registry->device("3C33B"), nullptr);  // 132 updates the "B" record and the sensor's own
  EXPECT_EQ(registry->device("3C34"), nullptr);

  // Recorded sensors and remotes: a record is on while its sensor alerts (bit 7 of the command
  // clear) and while its battery is low (bit 0).
  struct Recorded {
    const char* hex;
    std::map<std::string, int> status;
  } recorded[] = {
      {"FEF1807FB700", {{"FEF1B", 3}, {"FEF1D", 3}}},  // normal, maximum delay
      {"010E44BB", {{"010EF", 2}, {"010EB", 0}}},      // alert, tamper, minimum delay
      {"010E45BA", {{"010EF", 2}, {"010EB", 2}}},      // the same with a low battery
      {"C6C906F9EF80", {{"C6C9A", 2}}},                // keyfob: arm away
      {"C6C98679EF80", {{"C6C9A", 3}}},                // disarm
      {"C6C902FDEF80", {{"C6C9A", 2}}},                // arm away (maximum delay)
      {"010E46B9", {{"010EL", 2}}},                    // lights on
  };
  for (const auto& r : recorded) {
    SCOPED_TRACE(r.hex);
    platform.time().advance(2000);
    const std::string p = fromHex(r.hex);
    EXPECT_TRUE(p.size() == 4 ? decode32Bit(*env, p, detail = "") : decodeSecurity41(*env, p, detail = ""));
    for (const auto& [code, status] : r.status)
      EXPECT_EQ(registry->device(code) ? registry->device(code)->deviceStatus() : 0, status) << code;
  }
}

TEST_F(DecodeTest, VisonicAndDoorSwitch) {
  ctx->settings.acceptVisonic = true;
  EXPECT_TRUE(decode32Bit(*env, bytes({0x12, 0x34, 0x84, 0x7B}), detail));  // a sensor kind: only noted
  EXPECT_EQ(detail, " | 1234=S1 Off");
  platform.time().advance(100);
  decode32Bit(*env, bytes({0x12, 0x34, 0x02, 0xFD}), detail = "");  // no per-state record: Visonic unit
  EXPECT_EQ(detail, " | 1234=KF Arm Away");
  EXPECT_NE(registry->device("1234KFS"), nullptr);
  inUse("1234KFArmHome");
  inUse("1234KF", "fob");
  platform.time().advance(100);
  decode32Bit(*env, bytes({0x12, 0x34, 0x0E, 0xF1}), detail = "");  // per-state record: the fob itself
  EXPECT_EQ(bodies(), std::vector<std::string>{event("ON", display("1234KF"), "Arm Home")});

  inUse("A1B2_003_S", "door");
  struct Row {
    std::string packet, detail, state;  // empty state: nothing sent
  } rows[] = {{bytes({0xA1, 0xB2, 0x03, 0x10, 0x00}), " | A1B2_003_S = 1", "ON"},
              {bytes({0xA1, 0xB2, 0x03, 0x1F, 0x00}), " | A1B2_003_S = 1 | DoorSwitch A1B2031F00 Not reported because no change", ""},
              {bytes({0xA1, 0xB2, 0x03, 0xEF, 0x00}), " | A1B2_003_S = 0", "OFF"},
              {bytes({0x01, 0x02, 0x03, 0x10, 0x00}), " | 0102_003_S = 1 | DoorSwitch 0102031000 Ignored because location not defined for sensor", ""},
              // Recorded HomeEasy remotes: off, and a group on (the command is bit 4 of byte 4).
              {fromHex("C7E05DCA00"), " | C7E0_05D_S = 0 | DoorSwitch C7E05DCA00 Ignored because location not defined for sensor", ""},
              {fromHex("020AA1B080"), " | 020A_0A1_S = 1 | DoorSwitch 020AA1B080 Ignored because location not defined for sensor", ""}};
  // A door switch never heard before becomes a record at its second sighting.
  for (int i = 3; i < 6; ++i) {
    EXPECT_FALSE(decodeDoorSwitch34(*env, rows[i].packet, detail = ""));
    EXPECT_EQ(detail, "");
  }
  EXPECT_EQ(registry->device("0102_003_S"), nullptr);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.detail);
    EXPECT_TRUE(decodeDoorSwitch34(*env, r.packet, detail = ""));
    EXPECT_EQ(detail, r.detail);
    EXPECT_EQ(bodies(), r.state.empty() ? std::vector<std::string>{}
                                        : std::vector<std::string>{event(r.state, display("A1B2_003_S"), text("A1B2_003_S"))});
  }
  EXPECT_EQ(tags, (std::vector<std::string>{"fob", "door", "door", "door"}));
  EXPECT_FALSE(decodeDoorSwitch34(*env, bytes({0x01, 0x02}), detail = ""));
}

// Recorded Visonic and HomeEasy packets and the receiver's own bytes through the framing: whole
// frames are consumed, decoded or not, never walked byte by byte. A fob and a remote without a
// check become records at their second sighting.
TEST_F(DecodeTest, RecordedFramesAreConsumedWhole) {
  const struct {
    const char *hex, *detail;
  } rows[] = {
      {"A4C5EC581430", "A4, C5, EC, 58, 14, 30 | C5EC58=restore, supervision"
                       " | Visonic PowerCode C5EC581430 Ignored because location not defined for sensor"},
      {"A4C5EC58E800", "A4, C5, EC, 58, E8, 00 | C5EC58=alert, tamper, low battery"
                       " | Visonic PowerCode C5EC58E800 Ignored because location not defined for sensor"},
      {"C23FF39B5C01BA680400", "C2, 3F, F3, 9B, 5C, 01, BA, 68, 04, 00 | 0165D80KF=Button 1"},
      {"26C7E05DCA00", "26, C7, E0, 5D, CA, 00 | 31F8177_11=level 0/15"},
      {"20609F08F7A4C5EC581440", "20, 60, 9F, 08, F7, A4, C5, EC, 58, 14, 40 | A3=ON | Ignored because location not defined for sensor"
                                 " | Visonic PowerCode C5EC581440 ignored because its check nibble is 4, not 3"},
      {"80", "80 | Discarding 80 while trying to sync on byte-count byte"},  // a second receiver's empty packet
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.hex);
    platform.time().advance(2000);
    EXPECT_EQ(receive(r.hex), r.detail);
    EXPECT_EQ(rx->buffered(), 0u);
  }
}

}  // namespace
}  // namespace quillon::decode::test
