// The script host in the assembled node: events reach Main in order, includes, both error lines,
// the time-out, Run/RunEx/Spawn, and a real quillon-vbs running a Spawn job.
#include <cstdlib>

#include "script_fixture.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

const std::string kA1On("\x20\x60\x9F\x00\xFF", 5);

std::string message(const std::string& cls, const std::string& body) {
  return "xap-header\n{\nv=13\nhop=1\nuid=FF.1234:00\nclass=" + cls + "\nsource=ovk.test.src\n}\n" + body;
}

class ScriptHostTest : public test::ScriptNodeTest {};

TEST_F(ScriptHostTest, DecoderFilterAndPeriodicEventsRunMainInOrder) {
  write("Scripts/Quillon.txt", test::kRecordingScript);
  start("[W800]\nMode=1\nPeriodicScriptInterval=90\n[W800Units]\nA1=A1~0~HallLight~False~~~Hall~~False~False~True~0~~~False~4.7~\n"
        "[Received]\novk.test.src~weather.report=Weather;rain.txt\n[Devices]\nWeather=01/12/2026 10:00:00\n");
  node->receiveProcessor().processCommData(kA1On, 2);
  node->transport().processReceived(message("weather.report", "rain\n{\ntoday=1.2\n}\n"));
  platform.time().advance(100);
  EXPECT_EQ(call("Seen"), "[HallLight][rain.txt]");

  // Three texts queued at once run in that order, 5 ms later, in one drain.
  for (const char* t : {"a", "b", "c"}) node->scripts().queueTagEvent(t);
  platform.time().advance(4);
  EXPECT_EQ(node->scripts().queueLength(), 3u);
  platform.time().advance(1);
  EXPECT_EQ(call("Seen"), "[HallLight][rain.txt][a][b][c]");

  // 90 s: 30 s, then a minute; the event recurs every 90 s from start-up.
  platform.time().advance(89'800);
  EXPECT_EQ(call("Seen"), "[HallLight][rain.txt][a][b][c]");
  platform.time().advance(200);
  EXPECT_EQ(call("Seen"), "[HallLight][rain.txt][a][b][c][]");
  platform.time().advance(90'000);
  EXPECT_EQ(call("Seen"), "[HallLight][rain.txt][a][b][c][][]");
}

TEST_F(ScriptHostTest, IncludesLoadFirstOnceAndEndOnCycles) {
  write("Scripts/Quillon.txt",
        "#include \"lib one.txt\"\n#Include \"Quillon.txt\"\n#include missing-quotes\n"
        "Dim acc\nSub Main(t)\n  acc = acc & One() & Two()\nEnd Sub\nFunction Seen()\n  Seen = acc\nEnd Function\n");
  write("Scripts/lib one.txt", "#INCLUDE \"  sub\\Two.txt \"\nFunction One()\n  One = \"1\" & twoLoaded\nEnd Function\n");
  fs::create_directories(dir / "Scripts" / "sub");
  write("Scripts/sub/Two.txt", "#include \"lib one.txt\"\nDim twoLoaded\ntwoLoaded = \"+\"\nFunction Two()\n  Two = \"2\"\nEnd Function\n");
  start();
  node->scripts().queueTagEvent("x");
  platform.time().advance(5);
  EXPECT_EQ(call("Seen"), "1+2");
  EXPECT_EQ(count(log(), "inside itself skipped"), 2u);
  EXPECT_EQ(count(log(), "without a quoted file name"), 1u);
  EXPECT_EQ(count(log(), "Error in script syntax"), 0u);
}

TEST_F(ScriptHostTest, SyntaxAndRuntimeErrorsAreLoggedOnceWithPosition) {
  write("Scripts/Quillon.txt", "Sub Main(t)\n  If t = \"x\" Then\nEnd Sub\n");
  start();
  node->scripts().queueTagEvent("x");
  platform.time().advance(10);
  const std::string file = (dir / "Scripts" / "Quillon.txt").string();
  EXPECT_EQ(count(log(), "Error in script syntax "), 1u) << log();
  EXPECT_NE(log().find("/ " + file + " "), std::string::npos);
  EXPECT_NE(log().find("@ Line 3 col 1 in " + file), std::string::npos) << log();

  // A fixed script loads through InitScriptControl; its run-time error is logged for each event
  // and the next event still runs.
  write("Scripts/Quillon.txt",
        "Dim acc\nSub Main(t)\n  acc = acc & t\n  If t = \"bad\" Then x = 1 \\ 0\nEnd Sub\n"
        "Function Seen()\n  Seen = acc\nEnd Function\n");
  node->scripts().initScriptControl();
  for (const char* t : {"bad", "ok"}) node->scripts().queueTagEvent(t);
  platform.time().advance(10);
  EXPECT_EQ(call("Seen"), "badok");
  EXPECT_EQ(count(log(), "Script Run Error Division by zero / 11 - Division by zero@ Line 4 col 21 in " + file), 1u)
      << log();
}

TEST_F(ScriptHostTest, RunawayMainIsStoppedAndTheQueueGoesOn) {
  write("Scripts/Quillon.txt",
        "Dim acc\nSub Main(t)\n  If t = \"loop\" Then\n    Do\n    Loop\n  End If\n  acc = acc & t\nEnd Sub\n"
        "Function Seen()\n  Seen = acc\nEnd Function\n");
  start();
  node->scripts().setTimeout(std::chrono::milliseconds(200));
  for (const char* t : {"loop", "next"}) node->scripts().queueTagEvent(t);
  platform.time().advance(10);
  EXPECT_EQ(call("Seen"), "next");
  EXPECT_EQ(count(log(), "Script Run Error "), 1u);
  EXPECT_NE(log().find(" / 1100 - "), std::string::npos) << log();
}

TEST_F(ScriptHostTest, HugeExpressionFromAMessageIsRefusedOnTheNodesThread) {
  // Text that arrives in an xAP message and is run by Execute: a million-term chain is refused
  // with error 28 on this thread's ordinary stack, and the next event runs.
  write("Scripts/Quillon.txt",
        "Dim acc\nSub Main(t)\n  If t = \"big\" Then Execute \"x = 1\" & Replace(Space(1000000), \" \", \" + 1\")\n"
        "  acc = acc & t\nEnd Sub\nFunction Seen()\n  Seen = acc\nEnd Function\n");
  start();
  for (const char* t : {"big", "next"}) node->scripts().queueTagEvent(t);
  platform.time().advance(10);
  EXPECT_EQ(call("Seen"), "next");
  EXPECT_NE(log().find(" / 28 - "), std::string::npos) << log();
}

TEST_F(ScriptHostTest, RunAndRunExUseAFreshModuleAndLeaveMainAlone) {
  write("Scripts/Quillon.txt",
        "Dim acc\nSub Main(t)\n  If t = \"run\" Then\n    Run \"other.txt\"\n    Run \"other.txt\"\n"
        "    acc = acc & RunEx(\"other.txt\", \"twice\", 21) & RunEx(\"missing.txt\", \"twice\", 1)\n"
        "  Else\n    acc = acc & \"<\" & t & \">\"\n  End If\nEnd Sub\nFunction Seen()\n  Seen = acc\nEnd Function\n");
  // Its own "main" and its module-level counter: a second call must start from nothing.
  write("Scripts/other.txt",
        "Dim calls\ncalls = calls + 1\nSub main\n  SaveIniSetting \"Other\", \"Calls\", calls\nEnd Sub\n"
        "Function Twice(x)\n  Twice = x * 2\nEnd Function\n");
  start();
  for (const char* t : {"run", "after"}) node->scripts().queueTagEvent(t);
  platform.time().advance(10);
  EXPECT_EQ(call("Seen"), "42<after>");
  EXPECT_EQ(node->context().ini.getIniSetting("Other", "Calls", ""), "1");
}

TEST_F(ScriptHostTest, SpawnWritesTheWrapperAndStartsTheJobRunner) {
  write("Scripts/Quillon.txt", "Dim e\nSub Main(t)\n  Set e = Spawn(\"Lamp.TXT\", \"Switch\", t)\nEnd Sub\n");
  start();
  node->scripts().queueTagEvent("on");
  platform.time().advance(10);
  EXPECT_EQ(read("Scripts/Lamp~.wsf"),
            "<job id=\"Lamp\">\r\n<script language=\"VBScript\" src=\"..\\Lamp.txt\"/>\r\n"
            "<script language=\"VBScript\">\r\nDim xap\r\nSet xap = createobject(\"Lumaweave.Application\")\r\n"
            "Switch \"on\"\r\nSet xap = Nothing\r\n</Script>\r\n</Job>\r\n");
  ASSERT_EQ(platform.started.size(), 1u);
  EXPECT_EQ(platform.started[0].first, "/opt/quillon/bin/quillon-vbs");
  EXPECT_EQ(platform.started[0].second,
            (std::vector<std::string>{"--app-dir", dir.string(), (dir / "Scripts" / "Lamp~.wsf").string()}));
}

TEST(SpawnJob, QuillonVbsRunsTheWrapperWithTheObjectModel) {
  fs::path dir = test::freshTestFolder("quillon-job");
  fs::create_directories(dir / "Scripts");
  std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n";
  std::ofstream(dir / "Scripts" / "Lamp.txt")
      << "Sub Switch(p)\n  xap.SaveIniSetting \"Lamp\", \"State\", p & \" \" & xap.Version\n"
         "  On Error Resume Next\n  xap.IsOn \"A1\"\n  xap.SaveIniSetting \"Lamp\", \"Error\", Err.Description\nEnd Sub\n";
  std::ofstream(dir / "Scripts" / "Lamp~.wsf", std::ios::binary) << script::wrapWsf("Lamp", "Switch", "on");
  const std::string cmd = std::string(QUILLON_VBS) + " --app-dir '" + dir.string() + "' '" +
                          (dir / "Scripts" / "Lamp~.wsf").string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  core::IniCache ini((dir / "Config").string());
  EXPECT_EQ(ini.getIniSetting("Lamp", "State", ""), "on 1.6.174");
  EXPECT_EQ(ini.getIniSetting("Lamp", "Error", ""), "xap.IsOn needs the running Quillon node");
  fs::remove_all(dir);
}

}  // namespace
