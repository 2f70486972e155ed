// Embedding API: host objects, procedures, results, errors, time-outs.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine.h"

using namespace quillon::vbs;

namespace {

struct Recorder {
  std::vector<std::string> calls;
  std::shared_ptr<HostObject> obj = makeHostObject("Recorder");
  std::string label = "start";
  Recorder() {
    obj->method("Log", [this](Args a) {
      std::string s;
      for (int i = 0; i < a.n; ++i) s += (i ? "," : "") + asString(a[i]);
      calls.push_back(s);
      return Variant();
    });
    obj->method("Bump", [](Args a) {  // writes back through a ByRef argument
      a[0] = Variant::lng(static_cast<int32_t>(asNumber(a[0]) + 1));
      return Variant();
    });
    obj->method("Same", [this](Args a) { return Variant::boolean(asHost<HostObject>(a[0]) == obj.get()); });
    obj->method("Self", [this](Args) { return makeObject(obj); });
    obj->property("Label", [this](Args) { return Variant::str(label); },
                  [this](Args, const Variant& v) { label = asString(v); });
  }
};

TEST(VbsEngine, HostObjectMethodsPropertiesAndByRef) {
  Engine e;
  Recorder r;
  e.addObject("Host", r.obj, true);
  ASSERT_TRUE(e.addCode(
      "Host.Log \"a\", 1, True\n"
      "Dim n: n = 41: Bump n: Log n\n"
      "Label = Label & \"-x\"\n"
      "Log Host.Same(Host.Self()), Same(Nothing)\n"));
  EXPECT_EQ(r.calls, (std::vector<std::string>{"a,1,True", "42", "True,False"}));
  EXPECT_EQ(r.label, "start-x");
}

TEST(VbsEngine, ProceduresAreListedAndRunWithResults) {
  Engine e;
  ASSERT_TRUE(e.addCode("Function Add(a, b)\n Add = a + b\nEnd Function\nSub Twice(ByRef x)\n x = x * 2\nEnd Sub\n", "rules"));
  auto procs = e.procedures("rules");
  ASSERT_EQ(procs.size(), 2u);
  EXPECT_EQ(procs[0].name, "Add");
  EXPECT_EQ(procs[0].argCount, 2);
  EXPECT_TRUE(procs[0].returnsValue);
  EXPECT_FALSE(procs[1].returnsValue);
  Variant r;
  ASSERT_TRUE(e.run("add", {Variant::integer(2), Variant::dbl(0.5)}, &r));
  EXPECT_DOUBLE_EQ(asNumber(r), 2.5);
  std::vector<Variant> args{Variant::integer(21)};
  ASSERT_TRUE(e.run("Twice", args));
  EXPECT_EQ(asNumber(args[0]), 42);
  ASSERT_TRUE(e.run("Add", {makeArray({Variant::str("x")}), Variant()}, &r) == false);
  EXPECT_EQ(e.lastError().number, 13);
  EXPECT_FALSE(e.run("Missing"));
}

TEST(VbsEngine, ErrorsCarryNumberPositionAndSourceLine) {
  Engine e;
  EXPECT_FALSE(e.addCode("x = 1\n  y = x +\n", "m1"));
  EXPECT_EQ(e.lastError().number, 1002 + 21);  // Expected expression
  EXPECT_EQ(e.lastError().line, 2);
  EXPECT_EQ(e.lastError().sourceLine, "  y = x +");
  EXPECT_EQ(e.lastError().source, "Microsoft VBScript compilation error");

  ASSERT_TRUE(e.addCode("Sub Boom()\n  Dim a\n  a = 1 \\ 0\nEnd Sub\n", "m2"));
  EXPECT_FALSE(e.run("Boom"));
  EXPECT_EQ(e.lastError().number, 11);
  EXPECT_EQ(e.lastError().line, 3);
  EXPECT_EQ(e.lastError().column, 3);
  EXPECT_EQ(e.lastError().format(), "m2(3, 3) Microsoft VBScript runtime error: Division by zero");
}

TEST(VbsEngine, TimeoutAndStepBudgetStopRunawayScripts) {
  Engine e;
  e.setTimeout(std::chrono::milliseconds(100));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(e.addCode("On Error Resume Next\nDo\nLoop\n"));
  EXPECT_EQ(e.lastError().number, 1100);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  Engine s;
  s.setStepLimit(10000);
  EXPECT_FALSE(s.addCode("Sub R()\n R\nEnd Sub\nWhile True: i = i + 1: Wend\n"));
  EXPECT_EQ(s.lastError().number, 1100);
  s.setStepLimit(-1);
  EXPECT_FALSE(s.run("R"));
  EXPECT_EQ(s.lastError().number, 28);

  Engine t;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    t.interrupt();
  });
  EXPECT_FALSE(t.addCode("Do: Loop"));
  stopper.join();
  EXPECT_EQ(t.lastError().number, 1100);

  // An interrupt that lands in a class terminator still stops the script that released it.
  Engine u;
  std::atomic<int> interrupts{0};
  std::thread again([&] {
    for (int i = 0; i < 40 && interrupts < 2; ++i) {  // a second one only if the first was lost
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      u.interrupt();
      ++interrupts;
    }
  });
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(u.addCode("Class T\n Private Sub Class_Terminate\n  Do: Loop\n End Sub\nEnd Class\n"
                         "Set o = New T: Set o = Nothing\nDo: n = n + 1: Loop\n"));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(u.lastError().number, 1100);
  EXPECT_EQ(interrupts.load(), 1);
  again.join();
  EXPECT_LT(took, std::chrono::seconds(2));
}

TEST(VbsEngine, ValuesResetClockAndClassLifetime) {
  Engine e;
  e.setClock([] { return 43831.5; });  // 01/01/2020 12:00
  Variant v;
  ASSERT_TRUE(e.eval("Year(Now) & \"-\" & Hour(Now)", v));
  EXPECT_EQ(asString(v), "2020-12");
  std::vector<std::string> log;
  e.setMessageSink([&](const std::string& s) { log.push_back(s); });
  ASSERT_TRUE(e.addCode("Class C\n Sub Class_Terminate: MsgBox \"bye\": End Sub\nEnd Class\nDim keep: Set keep = New C\n"));
  ASSERT_TRUE(e.eval("TypeName(keep)", v));
  EXPECT_EQ(asString(v), "C");
  e.reset();
  EXPECT_EQ(log, (std::vector<std::string>{"bye"}));
  EXPECT_FALSE(e.eval("keep", v) && !v.isEmpty());
  ASSERT_TRUE(e.eval("Array(1, \"two\")", v));
  auto items = arrayItems(v);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(asString(items[1]), "two");
}

TEST(VbsEngine, DefaultMembersEnumerationAndProgIds) {
  Engine e;
  auto sensors = makeHostObject("Sensors");
  std::vector<std::string> names{"hall", "porch"};
  sensors->method("Item", [&](Args a) { return Variant::str(names.at(static_cast<size_t>(asNumber(a[0])))); })
      .setDefault("Item")
      .enumerator([&] { return std::vector<Variant>{Variant::str("hall"), Variant::str("porch")}; });
  e.addObject("Sensors", sensors);
  int created = 0;
  e.registerProgId("Quillon.Counter", [&] {
    ++created;
    auto c = makeHostObject("Counter");
    auto n = std::make_shared<int>(0);
    c->method("Next", [n](Args) { return Variant::lng(++*n); });
    return c;
  });
  Variant v;
  ASSERT_TRUE(e.addCode("Dim s: For Each x In Sensors: s = s & x & \";\": Next\n"
                        "Set c = CreateObject(\"Quillon.Counter\"): c.Next: r = c.Next\n"));
  ASSERT_TRUE(e.eval("s & Sensors(1) & r", v));
  EXPECT_EQ(asString(v), "hall;porch;porch2");
  EXPECT_EQ(created, 1);
  EXPECT_FALSE(e.eval("Sensors(5)", v));  // std::out_of_range from the callback
  EXPECT_EQ(e.lastError().number, 440);
}

TEST(VbsEngine, ModulesShareGlobalsAndFailuresLeaveEarlierCodeUsable) {
  Engine e;
  ASSERT_TRUE(e.addCode("Dim total\nSub AddTo(n)\n total = total + Helper(n)\nEnd Sub\n", "a"));
  ASSERT_TRUE(e.addCode("Function Helper(n)\n Helper = n * 10\nEnd Function\n", "b"));
  ASSERT_TRUE(e.run("AddTo", {Variant::integer(2)}));
  ASSERT_TRUE(e.run("AddTo", {Variant::integer(3)}));
  EXPECT_FALSE(e.addCode("Sub Broken(\n", "c"));
  EXPECT_EQ(e.lastError().module, "c");
  Variant v;
  ASSERT_TRUE(e.eval("total", v));
  EXPECT_EQ(asNumber(v), 50);
  EXPECT_TRUE(e.procedures("c").empty());
  ASSERT_EQ(e.procedures("b").size(), 1u);
  e.setTimeout(std::chrono::milliseconds(50));
  ASSERT_TRUE(e.addCode("Sub Spin()\n Do: Loop\nEnd Sub\n", "d"));
  EXPECT_FALSE(e.run("Spin"));
  EXPECT_EQ(e.lastError().number, 1100);
  EXPECT_EQ(e.lastError().module, "d");
  EXPECT_EQ(e.lastError().line, 2);
  e.setTimeout(std::chrono::milliseconds(0));
  ASSERT_TRUE(e.run("AddTo", {Variant::integer(1)}));  // still usable after the time-out
}

TEST(VbsEngine, LongChainsAreReleasedOnAnOrdinaryStack) {
  Engine e;
  ASSERT_TRUE(e.addCode(
      "Class N: Public nx: End Class\n"
      "Dim h, x: Set h = Nothing\n"
      "For i = 1 To 200000: Set x = New N: Set x.nx = h: Set h = x: Next\n"
      "Set x = Nothing: Set h = Nothing\n"
      "For i = 1 To 200000: a = Array(a): Next\n"
      "a = Empty\n"));
  // Operator chains: 2,000 terms run, a million are refused with "Out of stack space", all on
  // this thread's ordinary stack.
  Variant r;
  std::string sum = "1";
  for (int i = 0; i < 1999; ++i) sum += "+1";
  ASSERT_TRUE(e.eval(sum, r));
  EXPECT_EQ(r.i32(), 2000);
  std::string huge = "x = 1";
  for (int i = 0; i < 1000000; ++i) huge += " & 1";
  EXPECT_FALSE(e.addCode(huge));
  EXPECT_EQ(e.lastError().number, 28);
  std::string calls = "x = a";
  for (int i = 0; i < 100000; ++i) calls += "(1)";
  EXPECT_FALSE(e.addCode(calls));
  EXPECT_EQ(e.lastError().number, 28);
  EXPECT_TRUE(e.addCode("x = 2"));
}

}  // namespace

namespace {

// Private modules: each sees its own names and the shared ones, never another module's; a dropped
// module's code lives on in what still uses it.
TEST(VbsEngine, PrivateModulesKeepTheirNamesApart) {
  Engine e;
  Recorder r;
  e.addObject("Rec", r.obj, true);
  ASSERT_TRUE(e.addCode("Function Shared_(x)\n Shared_ = \"s\" & x\nEnd Function\n", "Global"));
  e.addModule("Main");
  e.addModule("M1");
  ASSERT_TRUE(e.addCode("Dim n\nSub Main(t)\n n = n + 1\n Log Shared_(t) & n\nEnd Sub\n", "Main"));
  ASSERT_TRUE(e.addCode("Dim n\nn = 10\nSub main\n n = n + 1\n Log \"m1 \" & n\nEnd Sub\n"
                        "Function Keep()\n Set Keep = GetRef(\"main\")\nEnd Function\n", "M1"));
  std::vector<Variant> a{Variant::str("x")}, none;
  ASSERT_TRUE(e.runIn("Main", "Main", a));
  ASSERT_TRUE(e.runIn("M1", "main", none));
  ASSERT_TRUE(e.runIn("Main", "main", a));  // names ignore case: still Main's own Main
  EXPECT_EQ(r.calls, (std::vector<std::string>{"sx1", "m1 11", "sx2"}));
  EXPECT_FALSE(e.runIn("Main", "Keep", none));  // M1's function is not Main's
  EXPECT_EQ(e.lastError().number, 35);

  Variant ref;
  ASSERT_TRUE(e.runIn("M1", "Keep", none, &ref));
  e.removeModule("M1");
  EXPECT_FALSE(e.hasModule("M1"));
  EXPECT_FALSE(e.runIn("M1", "main", none));
  // The reference still calls the dropped code; a fresh M1 starts from nothing.
  ASSERT_TRUE(ref.isObject());
  Variant out;
  std::vector<Variant> refArg{ref};
  ASSERT_TRUE(e.addCode("Sub CallIt(f)\n Call f()\nEnd Sub\n", "Global"));
  ASSERT_TRUE(e.run("CallIt", refArg, &out));
  e.addModule("M1");
  ASSERT_TRUE(e.addCode("Sub main\n Log \"fresh \" & n\nEnd Sub\n", "M1"));
  ASSERT_TRUE(e.runIn("M1", "main", none));
  EXPECT_EQ(r.calls.back(), "fresh ");
  EXPECT_EQ(r.calls[r.calls.size() - 2], "m1 1");  // its module variable was released with it
}

}  // namespace
