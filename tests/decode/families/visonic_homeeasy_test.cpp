// Visonic PowerCode sensors and CodeSecure keyfobs, HomeEasy dim levels: packets as the receiver
// delivers them in 48-bit mode (count byte first), through the framing.
#include "decode_fixture.h"

namespace quillon::decode::test {
namespace {

int status(devices::DeviceRegistry& r, const std::string& code) {
  return r.device(code) ? r.device(code)->deviceStatus() : -1;
}

TEST_F(DecodeTest, PowerCodeReportsAlertTamperAndBatteryOnItsRecords) {
  inUse("C5EC58S", "door");
  // Restore with the supervision flag; then alert, tamper and low battery at once.
  receive("A4C5EC581430");
  EXPECT_EQ(bodies().size(), 1u);  // of the three records only the status record is in use
  EXPECT_EQ(registry->device("C5EC58S")->deviceType(), "Security");
  EXPECT_EQ(registry->device("C5EC58B")->deviceType(), "Battery");
  for (const char* c : {"C5EC58S", "C5EC58B", "C5EC58T"}) EXPECT_EQ(status(*registry, c), devices::kDeviceStatusOff) << c;
  platform.time().advance(2000);
  EXPECT_EQ(receive("A4C5EC58E800"), "A4, C5, EC, 58, E8, 00 | C5EC58=alert, tamper, low battery");
  for (const char* c : {"C5EC58S", "C5EC58B", "C5EC58T"}) EXPECT_EQ(status(*registry, c), devices::kDeviceStatusOn) << c;
  const auto sent = bodies();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], "input.state\n{\nState=ON\nDisplayText=" + display("C5EC58S") + "\n}\n");
  EXPECT_EQ(tags, (std::vector<std::string>{"door", "door"}));
  // The sensor repeats its packet: a repeat within the debounce interval is dropped.
  EXPECT_EQ(receive("A4C5EC58E800"), "A4, C5, EC, 58, E8, 00 | Debounce Discard of C5EC58=alert, tamper, low battery");
  // A wrong check nibble, or an id of zero, changes nothing.
  platform.time().advance(2000);
  EXPECT_EQ(receive("A4C5EC581030"), "A4, C5, EC, 58, 10, 30 | Visonic PowerCode C5EC581030 ignored because its check nibble is 3, not 7");
  EXPECT_EQ(receive("A40000004040"), "A4, 00, 00, 00, 40, 40 | Visonic PowerCode 0000004040 ignored because its id is 000000");
  EXPECT_EQ(status(*registry, "C5EC58S"), devices::kDeviceStatusOn);
  EXPECT_TRUE(bodies().empty());
}

TEST_F(DecodeTest, CodeSecureButtonsAreRemoteKeys) {
  // Serial number 0165D80 (sent low bit first), button S0; then S0 and S1 with the battery low.
  const std::string button1 = "C23FF39B5C01BA680400", both = "C23FF39B5C01BA680680";
  receive(button1);
  EXPECT_EQ(registry->device("0165D80KF"), nullptr);  // no check: a new fob needs a second sighting
  platform.time().advance(2000);
  EXPECT_EQ(receive(button1), "C2, 3F, F3, 9B, 5C, 01, BA, 68, 04, 00 | 0165D80KF=Button 1"
                              " | Visonic CodeSecure 3FF39B5C01BA680400 Ignored because location not defined for sensor");
  inUse("0165D80KF", "fob");
  platform.time().advance(2000);
  EXPECT_EQ(receive(both), "C2, 3F, F3, 9B, 5C, 01, BA, 68, 06, 80 | 0165D80KF=Button 1+Button 2 (battery low)");
  EXPECT_EQ(bodies(), std::vector<std::string>{event("ON", display("0165D80KF"), "Button 1+Button 2")});
  EXPECT_EQ(registry->device("0165D80KF")->deviceType(), "Keyfob");
  EXPECT_EQ(tags, std::vector<std::string>{"fob"});
  EXPECT_EQ(receive("C23FF39B5C01BA680000"),
            "C2, 3F, F3, 9B, 5C, 01, BA, 68, 00, 00 | Visonic CodeSecure 3FF39B5C01BA680000 ignored because no button is pressed");
}

TEST_F(DecodeTest, HomeEasyPresetIsADimmerLevel) {
  inUse("31F8177_11", "lamp");
  // Unit 11 of remote 31F8177 to level 7 of 15, then to 0; the same remote's group to level 15.
  EXPECT_EQ(receive("26C7E05DCA70"), "26, C7, E0, 5D, CA, 70 | 31F8177_11=level 7/15");
  EXPECT_EQ(text("31F8177_11"), "47");
  EXPECT_EQ(bodies(), std::vector<std::string>{event("ON", display("31F8177_11"), "47")});
  EXPECT_EQ(display("31F8177_11"), devices::statusImageHtml("47%", "Dimmer", ""));
  platform.time().advance(2000);
  receive("26C7E05DCA00");
  EXPECT_EQ(status(*registry, "31F8177_11"), devices::kDeviceStatusOff);
  EXPECT_EQ(bodies(), std::vector<std::string>{event("OFF", display("31F8177_11"), "0")});
  receive("26C7E05DEAF0"), platform.time().advance(2000), receive("26C7E05DEAF0");
  EXPECT_EQ(text("31F8177_G"), "100");
  EXPECT_EQ(tags, (std::vector<std::string>{"lamp", "lamp"}));
}

}  // namespace
}  // namespace quillon::decode::test
