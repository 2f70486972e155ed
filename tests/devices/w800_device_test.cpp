#include <gtest/gtest.h>

#include "devices/status_picture.h"
#include "devices/w800_device.h"

using namespace quillon;
using devices::W800Device;

namespace {

const util::DateTime kNow{2026, 12, 6, 12, 0, 0, 0};

std::string img(const std::string& altOpen, const std::string& path, const std::string& alt) {
  return "<table><td><img alt='" + altOpen + path + "'><img alt = ' ' src='/Quillon/images/sensors/blank1.gif'>" + alt +
         "</td></table>";
}

W800Device fullest() {
  W800Device d;
  d.setDc("6c10_ab");
  d.setStatus(devices::kDeviceStatusOff);
  d.setTag("Porch Light");
  d.setEventNotification(true);
  d.setDeviceLastChange({2026, 5, 12, 14, 3, 11, 0});
  d.setLocation("Back Yard");
  d.setUid("6C104142");
  d.setInvert(true), d.setBsc(true), d.setX10(true), d.setRemove(true);
  d.setOffTime(-32768);
  d.setMap("P16");
  d.setDeviceType("Temperature");
  d.setSupplyVoltage(4.01f);
  d.setIcon("door");
  return d;
}

TEST(W800Device, PropertiesRoundTrip) {
  W800Device empty;
  EXPECT_EQ(empty.properties(), "~0~~False~~30/12/1899~~~False~False~False~0~~~False~4.7~");
  W800Device full = fullest();
  EXPECT_EQ(full.properties(),
            "6C10_AB~3~Porch Light~True~~12/05/2026 14:03:11~Back Yard~6C104142~True~True~True~-32768~P16~"
            "Temperature~True~4.01~door");
  W800Device midnight;
  midnight.setDeviceLastChange({2026, 1, 2, 0, 0, 0, 0});
  // A tilde typed into a text field must not shift the fields after it.
  W800Device tilde = fullest();
  tilde.setTag("Porch~Light");
  tilde.setLocation("Back~Yard~East");
  for (W800Device* d : {&empty, &full, &midnight, &tilde}) {
    // Field 4 never survives a load: a loaded record shows the image of its on/off status.
    d->setShown(devices::onOffText(d->status()), d->deviceType());
    W800Device back;
    back.setProperties(d->properties(), kNow);
    EXPECT_EQ(back.properties(), d->properties());  // every persisted field
    EXPECT_EQ(back.inUse(), !d->location().empty());
  }
}

TEST(W800Device, LenientReadsFollowTheRules) {
  W800Device d;
  EXPECT_FALSE(d.setProperties("", kNow).ok());
  EXPECT_EQ(d.dc(), "");
  EXPECT_EQ(d.deviceLastChange(), kNow);
  EXPECT_FLOAT_EQ(d.supplyVoltage(), 4.7f);
  EXPECT_FALSE(d.inUse());

  d.setProperties("A1~2~Porch~TRUE~x~garbage~Hall", kNow);
  EXPECT_EQ(d.status(), 2);
  EXPECT_TRUE(d.eventNotification());
  EXPECT_EQ(d.deviceLastChange(), kNow);
  EXPECT_EQ(d.location(), "Hall");
  EXPECT_TRUE(d.inUse());
  EXPECT_EQ(devices::statusPicture(d), img("ON", "' height='16' src='/Quillon/images/sensors/blank1.gif' width='16", "ON"));

  d.setDc("b3");
  EXPECT_EQ(d.dc(), "B3");
  d.setProperties("A1~0~~False~~2026-05-12T14:03:11", kNow);
  EXPECT_EQ(d.deviceLastChange(), (util::DateTime{2026, 5, 12, 14, 3, 11, 0}));

  const std::pair<const char*, float> volts[] = {{"4", 4.7f}, {"4.01", 4.01f}, {"3,6", 4.7f}, {"12.5", 12.5f}, {"", 4.7f}};
  for (auto [field, expected] : volts) {
    d.setProperties(std::string("A1~0~~~~~~~~~~~~~~") + field + "~", kNow);
    EXPECT_FLOAT_EQ(d.supplyVoltage(), expected) << field;
  }
}

TEST(W800Device, MalformedFieldsKeepTheOthers) {
  struct Case {
    const char* text;
    int status, offTime;
    const char* location;
    const char* deviceType;
    const char* icon;
    bool clean;
  };
  const Case cases[] = {
      {"A1~2~~False~~01/02/2026~Hall~~False~False~False~5~~Motion~False~4.7~i", 2, 5, "Hall", "Motion", "i", true},
      {"A1~40000~~False~~~Hall~~False~False~False~5~~Motion~False~4.7~i", 32767, 5, "Hall", "Motion", "i", false},
      {"A1~2~~False~~~Hall~~False~False~False~-99999~B2~Motion~False~4.7~i", 2, -32768, "Hall", "Motion", "i", false},
      {"A1~abc~~yes~~~Hall~~False~False~False~2.5~~Motion~False~4.7~i", 0, 2, "Hall", "Motion", "i", false},
      {"A1~2~T~x~False~~01/02/2026~Hall~~False~False~False~5~~Motion~False~4.7~i", 2, 5, "Hall", "Motion", "i", false},
      {"A1~2~~False~~~Hall~~False~False~False~5~~Motion~False~4.7~i~extra", 2, 5, "Hall", "Motion", "i", false},
  };
  for (const Case& c : cases) {
    W800Device d;
    auto report = d.setProperties(c.text, kNow);
    EXPECT_EQ(report.ok(), c.clean) << c.text << ": " << report.text();
    EXPECT_EQ(d.status(), c.status) << c.text;
    EXPECT_EQ(d.offTime(), c.offTime) << c.text;
    EXPECT_EQ(d.location(), c.location) << c.text;
    EXPECT_EQ(d.deviceType(), c.deviceType) << c.text;
    EXPECT_EQ(d.icon(), c.icon) << c.text;
  }
}

TEST(W800Device, StatusImages) {
  const std::string sensors = "' height='16' src='/Quillon/images/sensors/";
  const std::string temps = "' src='/Quillon/images/temperatures/";
  struct Case {
    const char *display, *type, *icon;
    std::string expected;
  };
  const Case cases[] = {
      {"21.5&nbsp;C", "Temperature", "", img("21.5 C", temps + "22.gif", "")},
      {"22.5", "Temperature", "", img("22.5", temps + "22.gif", "")},
      {"23.5", "Temperature", "", img("23.5", temps + "24.gif", "")},
      {"-60", "Temperature", "", img("-60", temps + "cold.gif", "")},
      {"170", "Temperature", "", img("170", temps + "hot.gif", "")},
      {"ON", "Motion", "door", img("ON", sensors + "door-on.gif", "ON")},
      {"OFF", "Motion", "", img("OFF", sensors + "motion-off.gif", "OFF")},
      {"ON", "Switch", "", img("ON", "' src='/Quillon/images/sensors/on.gif", "ON")},
      {"0", "Battery", "", img("0", sensors + "battery-ok.gif", "OK")},
      {"ON", "Battery", "", img("ON", sensors + "battery-replace.gif", "Replace")},
      {"off", "Tamper", "", img("off", sensors + "Tamper-ok.gif", "OK")},
      {"ON", "Tamper", "", img("ON", sensors + "Tamper-tamper.gif", "Tamper")},
      {"Low Battery", "Status", "", img("Low Battery", sensors + "Low_Battery.gif", "Low Battery")},
      {"OFF", "Door", "", img("OFF", sensors + "Door-off.gif", "OFF")},
      {"x' onerror='y", "Door", "", img("x&#39; onerror=&#39;y", sensors + "Door-on.gif", "x&#39; onerror=&#39;y")},
  };
  for (const Case& c : cases) EXPECT_EQ(devices::statusImageHtml(c.display, c.type, c.icon), c.expected) << c.display;

  // The image a loaded record shows for each status value.
  for (auto [status, shown] : {std::pair{0, "OFF"}, {2, "ON"}, {3, "OFF"}}) {
    W800Device d;
    d.setProperties("A1~" + std::to_string(status) + "~~~~~~~~~~~~Motion", kNow);
    EXPECT_EQ(devices::statusPicture(d), devices::statusImageHtml(shown, "Motion", "")) << status;
  }
}

TEST(W800Device, MakeNumber) {
  const std::pair<const char*, const char*> cases[] = {
      {"21.5&nbsp;C", "21.5"}, {"OFF", "0"}, {"", "0"}, {" -3.5e2x", "-3.5e2"}, {"12 kph", "12"}};
  for (auto [in, out] : cases) EXPECT_EQ(devices::makeNumber(in), out) << in;
}

}  // namespace
