#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xap/xap_message.h"

using quillon::xap::XapMessage;

namespace {

XapMessage parse(const std::string& raw, std::vector<std::string>* errors = nullptr) {
  XapMessage m;
  if (errors) m.setErrorSink([errors](const std::string& e) { errors->push_back(e); });
  m.fromXap(raw);
  return m;
}

const std::string kReceived =
    "xap-header\n{\nv=13\nhop=1\nuid=FF123400\nclass=xAPBSC.cmd\nsource=acme.ctl.box\ntarget=ovk.W800.host:A1\n}\n"
    "Input.State\n{\nState=  On\nText=\nlevel = 5=6\n}\n";

TEST(XapMessageBuild, ExactWireText) {
  XapMessage m;
  m.init();
  m.setMsgUid("FF.0052:00");
  m.setMsgClass("xapbsc.event");
  m.setMsgSource("ovk.W800.host:A1");
  m.setMsgTarget("");
  m.addHeader();
  m.setMsgClass("changed.later");  // the written header does not change
  m.addSection("a");
  m.addItem("ignored", "x", "1");
  m.addSection("b");
  m.addItem("", " Y ", " 2 ");
  EXPECT_EQ(m.toXap(),
            "xap-header\n{\nv=13\nhop=1\nuid=FF.0052:00\nclass=xapbsc.event\nsource=ovk.W800.host:A1\n}\n"
            "a\n{\nx=1\n}\nb\n{\n Y = 2 \n}\n");

  XapMessage t;  // a target line, and no section at all
  t.setMsgTarget("acme.x.y");
  t.addHeader();
  EXPECT_EQ(t.toXap(), "xap-header\n{\nv=13\nhop=1\nuid=Unknown\nclass=Unknown\nsource=Unknown\ntarget=acme.x.y\n}\n}\n");
  t.init();
  EXPECT_EQ(t.toXap(), "}\n");
}

TEST(XapMessageParse, HeaderSectionsAndItems) {
  auto m = parse(kReceived);
  EXPECT_EQ(m.msgUid(), "FF123400");
  EXPECT_EQ(m.msgClass(), "xAPBSC.cmd");
  EXPECT_EQ(m.msgSource(), "acme.ctl.box");
  EXPECT_EQ(m.msgTarget(), "ovk.W800.host:A1");
  EXPECT_EQ(m.getItem("input.state", "State"), "  On");  // case and leading blanks kept
  EXPECT_EQ(m.getItem("INPUT.STATE", "text"), "");
  EXPECT_EQ(m.getItem("input.state", "level"), " 5=6");
  EXPECT_EQ(m.getItem("input.state", "missing"), "Unknown");
  EXPECT_EQ(m.getItem("other", "state"), "Unknown");
  EXPECT_EQ(m.msgSection(), std::vector<std::string>{"input.state"});
  EXPECT_EQ(m.msgCollection(0).lines().at(0), "State=  On");
  EXPECT_EQ(m.msgCollection(7).size(), 0u);
  EXPECT_TRUE(m.compareClass("XAPBSC.CMD"));

  // Round trip: what we build parses back to the same values.
  XapMessage b;
  b.setMsgUid("FF.0052:01");
  b.setMsgClass("xapbsc.info");
  b.setMsgSource("ovk.W800.host");
  b.setMsgTarget("");
  b.addHeader();
  b.addSection("input.state");
  b.addItem("", "state", "on");
  auto r = parse(b.toXap());
  EXPECT_EQ(r.msgTarget(), "Unknown");
  EXPECT_EQ(r.msgUid(), "FF.0052:01");
  EXPECT_EQ(r.getItem("input.state", "state"), "on");
}

TEST(XapMessageParse, RejectsAndOddInput) {
  struct Case {
    const char* name;
    std::string raw;
    std::string cls;
    std::size_t sections;
  };
  const std::vector<Case> cases = {
      {"empty", "", "Unknown", 0},
      {"heartbeat", "xap-hbeat\n{\nclass=xap-hbeat.alive\n}\n", "Unknown", 0},
      {"no braces: line 1 is skipped unread", "xap-header\nclass=a.b\nsource=x", "Unknown", 0},
      {"truncated in block", "xap-header\n{\nclass=a.b\n}\nblk\n{\nx=1", "a.b", 1},
      {"CR before LF keeps block open", "xap-header\r\n{\r\nclass=a.b\r\n}\r\nblk\r\n", "a.b\r", 0},
      {"NUL bytes", std::string("xap-header\n{\nclass=a\0b\n}\n\0\n{\n=\n}\n", 33), std::string("a\0b", 3), 2},
      {"lines without =", "xap-header\n{\nnothing here\n}\ns\n{\njunk\n}\n", "Unknown", 2},
  };
  for (const auto& c : cases) {
    auto m = parse(c.raw);
    EXPECT_EQ(m.msgClass(), c.cls) << c.name;
    EXPECT_EQ(m.sectionCount(), c.sections) << c.name;
  }
}

TEST(XapMessageParse, DuplicatesAreLoggedAndFirstKept) {
  std::vector<std::string> errors;
  auto m = parse("xap-header\n{\nclass=c\n}\ns\n{\nk=1\nK =2\n}\ns\n{\nk=3\n}\n", &errors);
  EXPECT_EQ(m.getItem("s", "k"), "1");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "From XAP Key=k, Value=K =2,Message=xap-header~{~class=c~}~s~{~k=1~K =2~}~s~{~k=3~}~");
  EXPECT_EQ(m.sectionCount(), 3u);  // the repeated section still takes its own number
  EXPECT_EQ(m.msgCollection(1).lines().at(0), "k=3");

  errors.clear();  // "}" on the last line: the block still counts, under the empty name
  auto last = parse("xap-header\n{\nclass=c\n}\ns\n{\nk=1\n}", &errors);
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_EQ(last.msgSection(), std::vector<std::string>{"s"});
}

TEST(XapMessageParse, ManyBlocksAndItemsStayLinear) {
  std::string raw = "xap-header\n{\nclass=c\n}\n";
  for (int i = 0; i < 5000; ++i) raw += "b" + std::to_string(i) + "\n{\n}\n";
  raw += "last\n{\n";
  for (int i = 0; i < 5000; ++i) raw += "i" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  raw += "}\n";
  auto m = parse(raw);
  EXPECT_EQ(m.getItem("last", "i4999"), "4999");
  EXPECT_EQ(m.getItem("b17", "x"), "Unknown");
  EXPECT_EQ(m.msgSection().size(), 5001u);
}

TEST(XapMessageAddress, Wildcards) {
  struct Case {
    const char *a, *b;
    bool match;
  };
  const Case cases[] = {
      {"ovk.W800.node:lounge", "ovk.W800.node:kitchen", true},
      {"ovk.*.node", "ovk.W800.node:lounge", true},
      {"OVK.W800.>", "ovk.w800.node:lounge", true},
      {"ovk.W800.>", "ovk.W800", false},
      {"ovk.W800.node", "ovk.W800", false},
      {"ovk.>", "ovk.node", true},
      {"a.>", "a", false},
      {"a.*.c", "a.b", false},
      {"a.*.c", "a.x.c", true},
      {"a.b.c", "a.b.d", false},
      {"", "a", false},
      {"*", "anything", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XapMessage::compareAddress(c.a, c.b), c.match) << c.a << " / " << c.b;
    EXPECT_EQ(XapMessage::compareAddress(c.b, c.a), c.match) << c.b << " / " << c.a;
  }
  auto m = parse(kReceived);
  EXPECT_TRUE(m.compareSource("acme.*.box"));
  EXPECT_TRUE(m.compareTarget("ovk.W800.>"));
  EXPECT_FALSE(m.compareTarget("ovk.W800.other"));
}

}  // namespace
