// The Application object against a seeded registry and tag store, the tag store's round trip
// through the settings file, subscriptions, and NightTime.
#include "script/application.h"
#include "script_fixture.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

const char* kSettings =
    "[W800]\nMode=1\n[W800Units]\n"
    "A1=A1~2~HallLight~False~~06/12/2026 11:00:00~Hall~~False~False~True~0~~~False~4.7~\n"
    "B2=B2~17~Porch~False~~~Porch~~False~False~True~0~~~False~4.7~\n"
    "[Received]\novk.test.src~weather.report=Weather;\n"
    "[Devices]\nWeather=01/12/2026 10:00:00;rain.today\nOther=not a date\n[Device Messages]\nWeather.rain.today=0.4\n";

std::string message(const std::string& cls, const std::string& body) {
  return "xap-header\n{\nv=13\nhop=1\nuid=FF.1234:00\nclass=" + cls + "\nsource=ovk.test.src\n}\n" + body;
}

class ObjectModelTest : public test::ScriptNodeTest {
 protected:
  std::string eval(const std::string& expr) {
    vbs::Variant v;
    if (!node->scripts().engine().eval(expr, v)) return "<error " + node->scripts().engine().lastError().description + ">";
    return vbs::asString(v);
  }
  void receive(const std::string& raw) {
    node->transport().processReceived(raw);
    platform.time().advance(60);
  }
  std::vector<std::string> sent() const {
    std::vector<std::string> out;
    for (auto* s : platform.udpSockets)
      for (const auto& m : s->sent) out.push_back(m.data);
    return out;
  }
};

TEST_F(ObjectModelTest, DeviceMembersUseExactCodesAndTheirDefaults) {
  start(kSettings);
  EXPECT_EQ(eval("DeviceStatus(\"A1\") & IsOn(\"A1\") & IsOff(\"A1\")"), "2TrueFalse");
  EXPECT_EQ(eval("DeviceStatus(\"a1\") & IsOn(\"a1\") & IsOff(\"ZZ\") & DeviceValue(\"ZZ\")"), "17FalseFalse0");
  EXPECT_EQ(eval("xap.Request(\"HallLight\")(\"value\") & Request(\"Porch\")(\"value\")"), "ONOFF");
  EXPECT_EQ(eval("Request(\"HallLight\")(\"lastchange\")"), "06/12/2026 11:00:00");
  EXPECT_EQ(eval("Request(\"nope\") Is Nothing"), "True");
  // Changing a record through a member touches memory only: nothing is sent.
  const std::size_t before = sent().size();
  EXPECT_EQ(eval("SetDeviceStatus(\"A1\", 3) & SetDeviceString(\"A1\", \"x\") & IsOff(\"A1\") & DeviceString(\"A1\")"),
            "Truex");
  EXPECT_EQ(sent().size(), before);
  EXPECT_EQ(eval("SetDeviceLastChange(\"A1\", \"02/01/2026 08:30:00\") & Hour(DeviceLastChange(\"A1\"))"), "8");
  EXPECT_EQ(eval("Version & WebLoggedInUser & SystemUpTime & GetAppPath"), std::string("1.6.174") + dir.string());
}

TEST_F(ObjectModelTest, TagStoreFollowsFiltersAndSurvivesARestart) {
  start(kSettings);
  EXPECT_EQ(eval("Sequence(\"Weather\") & \"/\" & Sequence(\"nope\")"), "0/-1");
  EXPECT_EQ(eval("Request(\"Weather\")(\"Rain.Today\") & TagList(\"Weather\").Count"), "0.41");
  EXPECT_EQ(eval("Year(LastChange(\"Other\"))"), "2000");
  receive(message("weather.report", "rain\n{\ntoday=1.2\n}\nwind\n{\nspeed=5\n}\n"));
  EXPECT_EQ(eval("Sequence(\"Weather\") & Request(\"Weather\")(\"rain.today\") & Request(\"weather\")(2)"), "11.25");
  EXPECT_EQ(eval("TagList(\"Weather\")(2)"), "wind.speed");
  EXPECT_EQ(eval("Year(LastChange(\"Weather\")) & Hour(LastChange(\"Weather\"))"), "202612");

  node->shutdown();
  const std::string ini = read("Config/Quillon.ini");
  EXPECT_NE(ini.find("Weather=06/12/2026 12:00:00;rain.today;wind.speed"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Weather.wind.speed=5"), std::string::npos);
  node.reset();
  start(read("Config/Quillon.ini"));
  EXPECT_EQ(eval("Request(\"Weather\")(\"Rain.Today\") & Request(\"Weather\")(\"wind.speed\") & Sequence(\"Weather\")"),
            "1.250");
}

TEST_F(ObjectModelTest, SendersBuildTheirMessages) {
  start(kSettings);
  eval("X10(\"A1\", \"on\", 3) & WriteLog(\"Script\", \"hello\") & SendUDPMessage(\"raw text\")");
  eval("SendXapMessage(\"ovk.other.node\", \"my.class\", \"my.section\", \"a\" & Chr(1) & \"1\" & Chr(0) & \"b\" & Chr(1) & \"2\", \"sub\", \"\", \"t\")");
  std::string all;
  for (const auto& m : sent()) all += m + "|";
  EXPECT_NE(all.find("class=xap-x10.request\nsource=ovk.W800.testhost\n}\nxap-x10.request\n{\ndevice=A1\ncommand=on\ncount=3\n}"),
            std::string::npos) << all;
  EXPECT_NE(all.find("class=Homeseer.Event"), std::string::npos);
  EXPECT_NE(all.find("Type=Script\nData=hello\n}"), std::string::npos);
  EXPECT_NE(all.find("|raw text|"), std::string::npos);
  EXPECT_NE(all.find("source=ovk.W800.testhost:sub\ntarget=ovk.other.node:t\n}\nmy.section\n{\na=1\nb=2\n}"),
            std::string::npos) << all;
}

TEST_F(ObjectModelTest, SubscriptionsHoldMessagesUntilReadOnce) {
  start(kSettings);
  eval("SelectXapMessage(\"\", \"Test.Event\", \"\", \"*\", \"watch.txt\") & SelectXapMessage(\"\", \"test.event\", \"\", \"*\", \"watch.txt\")");
  EXPECT_EQ(node->scripts().subscriptions().size(), 1u);
  for (int i = 1; i <= 3; ++i) receive(message("test.event", "body\n{\nn=" + std::to_string(i) + "\n}\n"));
  receive(message("other.event", "body\n{\nn=9\n}\n"));
  EXPECT_EQ(eval("GetXapMessage(1).GetItem(\"body\", \"n\") & GetXapMessage(\"1\").msgClass & GetXapMessage(1).msgSource"),
            "1test.eventovk.test.src");
  EXPECT_EQ(eval("GetXapMessage(1) Is Nothing"), "True");
  EXPECT_EQ(eval("GetXapMessage(2) Is Nothing"), "True");

  // A script that never reads keeps only the newest messages; the drop is logged once.
  for (std::size_t i = 0; i < script::Subscriptions::kMaxHeld + 5; ++i) receive(message("test.event", "body\n{\nn=" + std::to_string(i) + "\n}\n"));
  EXPECT_EQ(node->scripts().subscriptions().at(1)->messageCount(), script::Subscriptions::kMaxHeld);
  EXPECT_EQ(count(log(), "unread messages: dropping the oldest"), 1u);
  EXPECT_EQ(eval("GetXapMessage(1).GetItem(\"body\", \"n\")"), "5");
  eval("DeSelectXapMessage(\"\", \"test.event\", \"\", \"ignored\", \"watch.txt\")");
  EXPECT_EQ(node->scripts().subscriptions().size(), 0u);
  EXPECT_EQ(node->scripts().subscriptions().storedCount(), 0u);
}

TEST_F(ObjectModelTest, NightTimeAroundSunriseAndSunset) {
  start(kSettings);
  EXPECT_EQ(eval("NightTime(0)"), "True");  // no Time.Today yet
  receive(message("Time.Today", "Time.Today\n{\nSunrise=06:00\nSunset=20:00\n}\n"));
  EXPECT_EQ(eval("Sunrise & \"-\" & Sunset & NightTime(0)"), "06:00-20:00False");
  platform.time().setWallClock(util::DateTime{2026, 12, 6, 19, 45, 0, 0});
  EXPECT_EQ(eval("NightTime(-30) & NightTime(0) & NightTime(\"15\")"), "TrueFalseFalse");
  // The span's ends count as night; a positive offset shortens the night at both ends.
  EXPECT_TRUE(script::nightTime(util::DateTime{2026, 1, 1, 6, 0, 0, 0}, "06:00", "20:00", 0));
  EXPECT_FALSE(script::nightTime(util::DateTime{2026, 1, 1, 5, 45, 0, 0}, "6:00 AM", "8:00 PM", 30));
  EXPECT_TRUE(script::nightTime(util::DateTime{2026, 1, 1, 20, 31, 0, 0}, "06:00:00", "20:00:00", 30));
  EXPECT_TRUE(script::nightTime(util::DateTime{2026, 1, 1, 12, 0, 0, 0}, "soon", "20:00", 0));
}

}  // namespace

namespace {

// History(code, from, to[, step]) as scripts see it: rows oldest first, time and value.
TEST_F(ObjectModelTest, HistoryGivesTimesAndValuesOldestFirst) {
  write("Scripts/Quillon.txt",
        "Function Rows(code, stepName)\n"
        "  Dim a: a = History(code, \"06/12/2026\", \"07/12/2026\", stepName)\n"
        "  Rows = UBound(a, 1) + 1\n"
        "  If Rows > 0 Then Rows = Rows & \" \" & Minute(a(0, 0)) & \"=\" & a(0, 1) & \" \" & a(UBound(a, 1), 1)\n"
        "End Function\n"
        "Function Temps()\n  Temps = Rows(\"21d0\", \"raw\")\nEnd Function\n"
        "Function Hourly()\n  Hourly = Rows(\"21D0\", \"hour\")\nEnd Function\n"
        "Function Switch()\n  Switch = Rows(\"A1\", \"raw\")\nEnd Function\n"
        "Function Unknown()\n  Unknown = Rows(\"ZZ\", \"raw\")\nEnd Function\n"
        "Function BadStep()\n  BadStep = IsEmpty(History(\"21D0\", \"06/12/2026\", \"07/12/2026\", \"week\"))\nEnd Function\n");
  start(kSettings);
  devices::DeviceRegistry& r = node->registry();
  r.addW800Unit("21D0");
  for (const char* v : {"20.5", "21", "22"}) {
    r.report(*r.device("21D0"), {.type = "Temperature", .text = v});
    platform.time().advance(60'000);
  }
  r.report(*r.device("A1"), {.status = devices::kDeviceStatusOff, .text = "OFF"});
  EXPECT_EQ(call("Temps"), "3 0=20.5 22");
  EXPECT_EQ(call("Hourly"), "1 0=21.1666666666667 21.1666666666667");
  EXPECT_EQ(call("Switch"), "1 3=0 0");
  EXPECT_EQ(call("Unknown"), "0");
  EXPECT_EQ(call("BadStep"), "True");
}

}  // namespace
