#include <gtest/gtest.h>

#include <fstream>

#include "web/page_helpers.h"
#include "web_fixture.h"

using namespace quillon;
using web::PageFramework;

namespace {

class PageHelpers : public test::WebFixture {};

TEST_F(PageHelpers, FormatCellHelpHookAttributeOrderAndTouchScreenColours) {
  PageFramework f(*ctx);
  EXPECT_EQ(f.formatCell("Status", "Center", "1", "TABLEHEADER"),
            "<td  onMouseOver=\"myPopup.startHelp('status')\" onMouseOut=\"myPopup.clearHelp()\" "
            "class=\"TABLEHEADER\" colspan=\"1\" align=\"Center\" >Status</td>");
  // The key drops blanks, quotes and dashes, lower-cased, first 15 characters.
  EXPECT_NE(f.formatCell("Source Including-Sub'address", "", "", "tableheader").find("startHelp('sourceincluding')"),
            std::string::npos);
  EXPECT_EQ(f.formatCell("<input type='submit'>", "", "", "TABLEHEADER"),
            "<td class=\"TABLEHEADER\" ><input type='submit'></td>");
  EXPECT_EQ(f.formatCell("x", "Left", "", "TABLEROWODD"), "<td class=\"TABLEROWODD\" align=\"Left\" >x</td>");

  http::Request r = request();
  r.parsePage("GET /status HTTP/1.1\r\nUser-Agent: Mozilla (Audrey)\r\n\r\n");
  EXPECT_TRUE(f.xStartHeaderAsp(r));
  EXPECT_EQ(f.formatCell("x", "", "", "TABLEROWEVEN"),
            "<td bgcolor=\"#949494\" ><font face=\"Verdana, Arial, sans-serif\" size=\"2\" color=\"#000000\">x</font></td>");
  EXPECT_FALSE(f.xStartHeaderAsp(request()));
}

TEST_F(PageHelpers, TouchScreenByListedClientAddress) {
  ctx->ini.saveIniSetting("Settings", "touchscreenips", "10.0.0.9, 127.0.0.1", "Quillon.ini");
  PageFramework f(*ctx);
  f.xStartMiscFunctionsAsp();
  EXPECT_TRUE(f.xStartHeaderAsp(request()));
}

TEST(StripHtml, RemovesTagsAndNonBreakingSpaces) {
  EXPECT_EQ(web::stripHtml("RF Status&nbsp;&nbsp;<small><font size='1'></b> V1.2.3</font></small>"),
            "RF Status V1.2.3");
  EXPECT_EQ(web::stripHtml("a&NBSP;b&nbspc<unclosed"), "abc");
  EXPECT_EQ(web::htmlEscape("<a href='x'>\"&"), "&lt;a href=&#39;x&#39;&gt;&quot;&amp;");
}

TEST_F(PageHelpers, PlainHeaderWithoutSiteFilesAndOptionalParts) {
  PageFramework f(*ctx);
  EXPECT_EQ(f.customHeader({"RF Status&nbsp;<b>V1</b>", "", "", "x", ""}),
            "<html><head><title>Quillon - RF StatusV1</title>"
            "<link rel=\"stylesheet\" type=\"text/css\" href=\"/styleNoBody.css\">"
            "<meta HTTP-EQUIV=\"EXPIRES\" CONTENT=\"0\"><meta HTTP-EQUIV=\"Pragma\" CONTENT=\"no-cache\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"></head>\r\n<body>");

  std::filesystem::create_directories(dir / "HTML");
  std::ofstream(dir / "HTML" / "head.htm") << "<p>site head</p>";
  ctx->ini.saveIniSetting("Settings", "auto_refresh", "30", "Quillon.ini");
  ctx->ini.saveIniSetting("Settings", "gWebPageTitle", "My <House>", "Quillon.ini");
  const std::string h = f.customHeader({"T", "", "#204060", "x", "my.css"});
  EXPECT_NE(h.find("<title>My &lt;House&gt; - T</title>"), std::string::npos);
  EXPECT_NE(h.find("href=\"/my.css\""), std::string::npos);
  EXPECT_NE(h.find("<meta HTTP-EQUIV=\"refresh\" CONTENT=\"30\">"), std::string::npos);
  EXPECT_NE(h.find("<body bgcolor=\"#204060\"><p>site head</p>"), std::string::npos);
  EXPECT_NE(f.customHeader({"T", "", "sky.gif", "x", ""}).find("<body background=\"/sky.gif\">"), std::string::npos);
}

TEST_F(PageHelpers, SecurityLevels) {
  PageFramework f(*ctx);
  ctx->ini.saveIniSetting("Settings", "usesecurity", "ENHANCED", "Quillon.ini");
  f.xStartMiscFunctionsAsp();
  f.xSecurityCheck(request());
  f.xSecurityCheck(request());
  EXPECT_EQ(f.securityLevel(), "None");
  ASSERT_NE(logs.find("no menu database"), std::string::npos);
  EXPECT_EQ(logs.find("no menu database"), logs.rfind("no menu database"));  // logged once

  ctx->ini.saveIniSetting("Settings", "usesecurity", "basic", "Quillon.ini");
  f.xStartMiscFunctionsAsp();
  http::Request r = request();
  r.parsePage("GET /status HTTP/1.1\r\nAuthorization: Basic YWxpY2U6c2VjcmV0\r\n\r\n");  // alice:secret
  f.xSecurityCheck(r);
  EXPECT_EQ(f.securityLevel(), "alice");
  f.xSecurityCheck(request());
  EXPECT_EQ(f.securityLevel(), "LOCAL");
}

}  // namespace
