#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <regex>

#include "devices/status_picture.h"
#include "support/setting_samples.h"
#include "util/password_scramble.h"
#include "util/text.h"
#include "web_fixture.h"

using namespace quillon;

namespace {

class StatusPageTest : public test::WebFixture {
 protected:
  // The ID column of each drawn row, in page order.
  std::string order() {
    std::string out;
    for (const web::StatusRow& r : page->drawnRows()) out += (out.empty() ? "" : " ") + r.dc;
    return out;
  }
  static bool has(const std::string& page, const std::string& text) { return page.find(text) != std::string::npos; }
  // The fields of a row as a new record with a location and type is drawn.
  static web::RowFields drawn(const std::string& location, const std::string& type) {
    web::RowFields f;
    f.off = "0";
    f.location = location;
    f.type = type;
    return f;
  }
  // What a browser posts of the control form: text fields, checked boxes and radios, hidden
  // fields and the Save button.
  static std::string submitted(const std::string& html) {
    const std::size_t from = html.find("<form name='control'");
    const std::string form = html.substr(from, html.find("</form>", from) - from);
    static const std::regex input("<input([^>]*)>"), attribute("(\\w+) ?='([^']*)'"), checked("\\bchecked\\b");
    std::string body;
    for (std::sregex_iterator it(form.begin(), form.end(), input), end; it != end; ++it) {
      const std::string tag = (*it)[1];
      std::map<std::string, std::string> a;
      for (std::sregex_iterator at(tag.begin(), tag.end(), attribute); at != end; ++at) a[(*at)[1]] = (*at)[2];
      if ((a["type"] == "checkbox" || a["type"] == "radio") && !std::regex_search(tag, checked)) continue;
      if (a["type"] == "submit" && a["name"] != "UpdateButton") continue;
      std::string value;
      for (unsigned char c : a.count("value") ? a["value"] : "on") {
        static const char* hex = "0123456789ABCDEF";
        value += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : std::string{'%', hex[c >> 4], hex[c & 15]};
      }
      body += (body.empty() ? "" : "&") + a["name"] + "=" + value;
    }
    return body;
  }
  // The browser's post of the page with some fields set ("" unticks a box or empties a text).
  static std::string edited(const std::string& html, const std::vector<std::pair<std::string, std::string>>& changes) {
    std::vector<std::pair<std::string, std::string>> pairs;
    const std::string body = submitted(html);
    for (std::size_t from = 0; from < body.size();) {
      const std::size_t amp = std::min(body.find('&', from), body.size()), eq = body.find('=', from);
      pairs.emplace_back(body.substr(from, eq - from), body.substr(eq + 1, amp - eq - 1));
      from = amp + 1;
    }
    for (const auto& [name, value] : changes) {
      std::string encoded;
      for (unsigned char c : value) {
        static const char* hex = "0123456789ABCDEF";
        encoded += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : std::string{'%', hex[c >> 4], hex[c & 15]};
      }
      auto it = std::find_if(pairs.begin(), pairs.end(), [&](const auto& p) { return p.first == name; });
      if (it == pairs.end()) pairs.emplace_back(name, encoded);
      else it->second = encoded;
    }
    std::string out;
    for (const auto& [name, value] : pairs) out += (out.empty() ? "" : "&") + name + "=" + value;
    return out;
  }
};

TEST_F(StatusPageTest, RowOfASeededDeviceAndPageFrame) {
  devices::W800Device& d = add("B3", "Hall", "Motion");
  d.setShownAsIs("<b>ON</b>");
  d.setDeviceLastChange(util::DateTime{2026, 12, 6, 15, 5, 9});
  const std::string html = get();
  EXPECT_TRUE(html.starts_with("<html><head><script LANGUAGE='JavaScript'>"));
  EXPECT_TRUE(has(html, "<title>Quillon - RF Status V"));
  EXPECT_TRUE(has(html,
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><input type='hidden' name='row_B3' value='" +
                      web::rowFingerprint(drawn("Hall", "Motion")) +
                      "'><input type='checkbox'  name='Remove_B3'></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><span id='st_B3'><b>ON</b></span></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><a href='/device?code=B3'>B3</a></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><input type='checkbox'  name='Inv_B3'></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><input type='checkbox'  name='BSC_B3'></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><input type='checkbox'  name='X10_B3'></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><input type='text' size='3' name='Map_B3' value=''></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><input type='text' size='3' name='Off_B3' value='0'></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><input type='text' size='15' name='Location_B3' value='Hall'></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><input type='text' size='10' name='Type_B3' value='Motion'></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><input type='text' size='10' name='Icon_B3' value=''></td>"
                  "<td class=\"tablecellmisc\" colspan=\"1\" align=\"Left\" ><input type='text' size='15' name='Tag_B3' value=''></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><input type='checkbox'  name='Ev_B3'></td>"
                  "<td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" ><span id='ch_B3'>Today 3:05:09 PM</span>"
                  "<b class='stale' style='color:#b00000' id='sl_B3'></b></td></tr><tr>"));
  // The live view's event for it: the same state cell and time, as JSON.
  EXPECT_EQ(page->deviceEvent(d),
            "event: device\ndata: {\"changed\":\"Today 3:05:09 PM\",\"code\":\"B3\",\"stale\":false,\"status\":\"<b>ON</b>\"}\n\n");
  EXPECT_TRUE(html.ends_with("</IFRAME></small></center></div></body></html>"));
  EXPECT_FALSE(has(html, "linkstate"));  // no receiver, no line
  // The receiver link's line, above the devices; a closed link stands out.
  linkSummary = "Receiver closed: /dev/ttyUSB0 since 08:43:12 \xC2\xB7 12 bytes, 1 packets \xC2\xB7 1 reconnect <x>";
  EXPECT_TRUE(has(get(), "<div class='linkstate'><b>Receiver closed: /dev/ttyUSB0 since 08:43:12 &middot; 12 bytes, 1 "
                         "packets &middot; 1 reconnect &lt;x&gt;</b></div><br><div class='devices'><table"));
  linkSummary.clear();
  // Codes that are no X10 address get no BSC and X10 boxes.
  add("1A2B3C", "Roof");
  EXPECT_TRUE(has(get(), "name='Inv_1A2B3C'></td><td class=\"TABLEROWEVEN\" colspan=\"1\" align=\"Left\" >&nbsp;</td>"));
}

TEST_F(StatusPageTest, TouchScreenRowsCarryTheirControlsInsideTheFont) {
  add("B3", "Hall");
  http::Request r = request();
  r.parsePage("GET /status HTTP/1.1\r\nUser-Agent: QNX browser\r\n\r\n");
  const std::string html = page->statusPage(r, nullptr);
  EXPECT_TRUE(has(html, "<td bgcolor=\"#949494\" colspan=\"1\" align=\"Left\" ><font face=\"Verdana, Arial, "
                        "sans-serif\" size=\"2\" color=\"#000000\"><input type='hidden' name='row_B3' value='" +
                        web::rowFingerprint(drawn("Hall", "")) +
                        "'><input type='checkbox'  name='Remove_B3'></font></td>"));
}

TEST_F(StatusPageTest, FormatChangedAndCodeHelpers) {
  get();  // sets today
  EXPECT_EQ(page->formatChanged(util::DateTime{2000, 1, 1}), "");
  EXPECT_EQ(page->formatChanged(util::DateTime{}), "");
  EXPECT_EQ(page->formatChanged(util::DateTime{2026, 12, 6, 0, 0, 1}), "Today 12:00:01 AM");
  EXPECT_EQ(page->formatChanged(util::DateTime{2026, 12, 5, 23, 59, 59}), "Yesterday 11:59:59 PM");
  EXPECT_EQ(page->formatChanged(util::DateTime{2026, 12, 4, 8, 0, 0}), "04/12/2026 08:00:00");
  EXPECT_EQ(web::dcSortKey("A2"), "A02");
  EXPECT_EQ(web::dcSortKey("A10"), "A10");
  EXPECT_TRUE(web::isX10Code("p16"));
  EXPECT_FALSE(web::isX10Code("Q1"));
  EXPECT_FALSE(web::isX10Code("A17"));
  EXPECT_FALSE(web::isX10Code("1A2B"));
}

TEST_F(StatusPageTest, SortButtonsToggleAndDiscardEdits) {
  add("A10", "x").setTag("b");
  add("A2", "y").setTag("c");
  add("B1", "z").setTag("a");
  get();
  EXPECT_EQ(order(), "A2 A10 B1");  // DCSort by default
  post("clientinput=yes&ID=ID&Location_A10=edited");
  EXPECT_EQ(order(), "A2 A10 B1");
  post("clientinput=yes&ID=ID&sortkey=DCSort&sortdir=");  // the page's own order turned round
  EXPECT_EQ(order(), "B1 A10 A2");
  EXPECT_EQ(ini("StatusSortDirection"), "\"DESC\"");
  post("clientinput=yes&Tag=Tag");
  EXPECT_EQ(order(), "B1 A10 A2");  // a, b, c
  EXPECT_EQ(ini("StatusSortKey"), "\"Tag\"");
  post("clientinput=yes&Map=Send");
  EXPECT_EQ(order(), "A10 A2 B1");  // names no field: table order
  EXPECT_EQ(registry->device("A10")->location(), "x");  // the edit posted with a sort was ignored
}

TEST_F(StatusPageTest, OptionsHideRowsAndSaveTouchesOnlyDrawnDevices) {
  add("A1", "Porch").setRemove(true);
  devices::W800Device& unused = add("A2");
  unused.setTag("keep");
  add("A3", "Kitchen");
  ctx->settings.showOnlyUsed = true;
  const std::string html = get();
  EXPECT_EQ(order(), "A1 A3");
  EXPECT_TRUE(has(html, "<input type='checkbox' checked name='Remove_A1'>"));
  ctx->settings.hideRemoved = true;
  get();
  EXPECT_EQ(order(), "A3");
  ctx->settings.hideRemoved = false;

  // A1 and A3 were drawn; A2 was not and keeps its settings although the post names it.
  post(edited(get(), {{"Location_A1", ""}, {"Tag_A1", "two words"}, {"Off_A1", "30"}, {"Type_A1", ""},
                      {"Remove_A1", ""}, {"BSC_A3", "on"}, {"X10_A3", "on"}, {"Off_A3", "abc"},
                      {"Location_A2", "Hijack"}, {"Tag_A2", ""}}));
  const devices::W800Device& a1 = *registry->device("A1");
  EXPECT_FALSE(a1.inUse());
  EXPECT_EQ(a1.tag(), "two_words");
  EXPECT_EQ(a1.offTime(), 30);
  EXPECT_GE(a1.timerIndex(), 1);
  EXPECT_EQ(a1.deviceType(), "Switch");
  EXPECT_FALSE(a1.remove());
  EXPECT_EQ(unused.location(), "");
  EXPECT_EQ(unused.tag(), "keep");
  const devices::W800Device& a3 = *registry->device("A3");
  EXPECT_TRUE(a3.bsc() && a3.x10());
  EXPECT_EQ(a3.uid(), devices::DeviceRegistry::deviceUidSuffix("A3"));
  EXPECT_EQ(a3.offTime(), 0);
  EXPECT_TRUE(tags.hasTag("two_words"));
  EXPECT_EQ(ini("ShowOnlyUsed"), "True");
  EXPECT_EQ(ini("HideRemoved"), "False");
  // Saved to the file at once, not only at shutdown.
  EXPECT_TRUE(ini("A1", "W800Units").starts_with("A1~0~two_words~"));
}

TEST_F(StatusPageTest, LongCodesAlwaysPublishAndHostileTextIsEscaped) {
  add("1A2B3C", "Roof");
  get();
  post(edited(get(), {{"Location_1A2B3C", "'><script>alert(1)</script>"}, {"Icon_1A2B3C", "a\"b"}}));
  const devices::W800Device& d = *registry->device("1A2B3C");
  EXPECT_TRUE(d.bsc());
  EXPECT_EQ(d.location(), "'><script>alert(1)</script>");
  const std::string html = get();
  EXPECT_FALSE(has(html, "<script>alert"));
  EXPECT_TRUE(has(html, "value='&#39;&gt;&lt;script&gt;alert(1)&lt;/script&gt;'"));
  EXPECT_TRUE(has(html, "value='a&quot;b'"));
  // A "~" would split the stored record.
  post(edited(get(), {{"Location_1A2B3C", "a~b"}}));
  EXPECT_EQ(d.location(), "a-b");
}

TEST_F(StatusPageTest, SetupSavedOnlyWhenShownWithBoundsAndPassword) {
  const std::string setup = "&ServerPort=8018&Background=%23000000&StyleSheet=s.css&xapUID=FF.0099:00&SerialIP=&"
                            "SerialPort=/dev/ttyUSB0&TxSerialIP=&TxSerialPort=&periodicscriptinterval=20&"
                            "sensorcal=0&mode=1&metric=1&LoginUsername=admin&LoginPassword=p%C3%A4ss+w";
  get();  // setup hidden
  post("clientinput=yes&UpdateButton=Save&AcceptVisonic=1&debounceinterval=500" + setup);
  EXPECT_EQ(ini("HTTPPort"), "<absent>");
  EXPECT_EQ(ini("AcceptVisonic"), "<absent>");

  ctx->settings.showSetup = true;
  get();
  auto save = [&](const std::string& debounce) {
    post("clientinput=yes&UpdateButton=Save&ShowSetup=1&SetupShown=1&AcceptVisonic=1&debounceinterval=" + debounce +
         setup);
    return ini("DebounceInterval");
  };
  EXPECT_EQ(save("150"), "1000");
  EXPECT_EQ(save("500"), "500");
  EXPECT_EQ(save("2500"), "1000");
  EXPECT_EQ(ini("HTTPPort"), "8018");
  EXPECT_EQ(ini("SensorCal"), "1");
  EXPECT_EQ(ini("SerialPort"), "/dev/ttyUSB0");
  EXPECT_EQ(ini("AcceptVisonic"), "True");
  EXPECT_EQ(ctx->settings.uid, "FF.0099:00");
  EXPECT_EQ(ctx->settings.mode, 1);
  EXPECT_EQ(reopens, 1);  // the links changed once
  const std::string stored = ini("LoginPassword");
  EXPECT_EQ(stored, util::scramblePassword("p\xC3\xA4ss w"));
  EXPECT_EQ(stored.find_first_not_of("0123456789."), std::string::npos);
  const std::string html = get();
  // The password never goes back to a browser; an empty field keeps it.
  EXPECT_TRUE(has(html, "type='password' size='15' value='' name='LoginPassword'"));
  EXPECT_FALSE(has(html, "p\xC3\xA4ss"));
  post(submitted(html));
  EXPECT_EQ(ini("LoginPassword"), stored);
  EXPECT_TRUE(has(html, "<input type='radio' name='mode' value='1' checked >"));

  // A post without the setup fields (hand-made, or from another tab) blanks nothing.
  post("clientinput=yes&UpdateButton=Save&ShowSetup=1");
  EXPECT_EQ(ini("HTTPPort"), "8018");
  EXPECT_EQ(ini("LoginUsername"), "admin");
  // A port that is no port number keeps the old one.
  post("clientinput=yes&UpdateButton=Save&ShowSetup=1&ServerPort=80a");
  EXPECT_EQ(ini("HTTPPort"), "8018");
}

// Each key of the page: from an empty file the page shows the table's default and its post stores
// it; a sample in the file is shown and stored back unchanged. A post of the page as shown
// reopens no link.
TEST_F(StatusPageTest, EverySettingOfThePageRoundTrips) {
  for (const bool samples : {false, true}) {
    ctx->ini.clearIniSection(core::kSettingsSection, core::kSettingsFile);
    for (const core::SettingDef& d : core::settingsTable())
      if (samples && (d.surfaces & core::kStatusPage))
        ctx->ini.saveIniSetting(d.section, d.key, test::settingSample(d), d.file);
    core::initIniKeys(ctx->settings, ctx->ini);
    ctx->settings.showSetup = true;
    post(submitted(get()));
    for (const core::SettingDef& d : core::settingsTable()) {
      if (!(d.surfaces & core::kStatusPage)) continue;
      const std::string shown = samples ? test::settingSample(d) : util::iequals(d.key, "ShowSetup") ? "True" : d.def;
      EXPECT_EQ(ctx->ini.getIniSetting(d.section, d.key, "", d.file), shown) << d.key;
    }
  }
  EXPECT_EQ(reopens, 0);
}

TEST_F(StatusPageTest, FilterRowsAddedMergedAndDeleted) {
  ctx->settings.showReceiveMessages = true;
  get();
  post("clientinput=yes&UpdateButton=Save&ShowReceiveMessages=1&FiltersShown=1&Source0=acme.x.y&Class0=xap.c&FilterTag0=front+door&"
       "FilterEvent0=1");
  EXPECT_EQ(ini("acme.x.y~xap.c", "Received"), "front_door;1");
  EXPECT_TRUE(tags.hasTag("front_door"));
  std::string html = get();
  EXPECT_TRUE(has(html, "value='front_door' name='FilterTag1'"));

  // Row 1 and a new row 0 with the same source and class: the first read (row 0) is kept.
  post("clientinput=yes&UpdateButton=Save&ShowReceiveMessages=1&FiltersShown=1&Source1=acme.x.y&Class1=xap.c&FilterTag1=front_door&"
       "Source0=ACME.x.y&Class0=xap.c&FilterTag0=other");
  EXPECT_EQ(ctx->filters.size(), 1u);
  EXPECT_EQ(ini("acme.x.y~xap.c", "Received"), "other;");
  get();
  post("clientinput=yes&UpdateButton=Save&ShowReceiveMessages=1&FiltersShown=1&Source1=&Class1=&FilterTag1=front_door&Source0=");
  EXPECT_TRUE(ctx->filters.empty());
  EXPECT_EQ(ini("acme.x.y~xap.c", "Received"), "<absent>");
  // Hostile source text is escaped.
  post("clientinput=yes&UpdateButton=Save&ShowReceiveMessages=1&FiltersShown=1&Source0=%27%3E%3Cb%3E&Class0=c");
  EXPECT_FALSE(has(get(), "'><b>"));
  // A source that would start a section or a comment in the file keeps the filters as they were.
  for (const char* bad : {"%5Bevil", "%3Bcomment", "a%3Db", "line%0Abreak"}) {
    const std::string answer = post(std::string("clientinput=yes&UpdateButton=Save&ShowReceiveMessages=1&FiltersShown=1&Source1=") +
                                    "%27%3E%3Cb%3E&Class1=c&Source0=" + bad + "&Class0=c");
    EXPECT_TRUE(has(answer, "Receive filters not saved: Source")) << bad;
    EXPECT_EQ(ctx->filters.size(), 1u) << bad;
  }
}

TEST_F(StatusPageTest, CommandButtons) {
  get();
  EXPECT_EQ(post("clientinput=yes&script=Read+Script+Quillon.txt"), "");
  EXPECT_EQ(scriptReloads, 1);
  EXPECT_TRUE(has(post("clientinput=yes&query=BSC+Query+of+Receiver"), "</html>"));
  EXPECT_EQ(queries, ">:>");
}

}  // namespace

// The page is drawn once and shared until something it shows changes: a reading (even one that
// only moves a time of change), a setting, the receiver line; a post is drawn at once.
TEST_F(StatusPageTest, PageIsDrawnOnceUntilWhatItShowsChanges) {
  devices::W800Device& d = add("A1", "Hall");
  http::Request r = request();
  const http::PageBodyPtr first = page->page(r);
  EXPECT_EQ(page->page(r), first);
  EXPECT_EQ(first->tag(), http::contentTag(*first->text()));

  registry->report(d, {.status = 1, .text = "ON", .shown = "ON", .stamp = true});
  const http::PageBodyPtr on = page->page(r);
  EXPECT_NE(on, first);
  EXPECT_NE(on->tag(), first->tag());
  EXPECT_EQ(page->page(r), on);
  platform.time().advance(1000);
  registry->report(d, {.status = 1, .text = "ON", .shown = "ON", .stamp = true});
  EXPECT_NE(page->page(r), on);

  ctx->ini.saveIniSetting("Settings", "auto_refresh", "30", "Quillon.ini");
  EXPECT_NE(page->page(r)->text()->find("CONTENT=\"30\""), std::string::npos);
  linkSummary = "Receiver closed";
  EXPECT_NE(page->page(r)->text()->find("Receiver closed"), std::string::npos);

  const http::PageBodyPtr same = page->page(r);
  http::Request hide = request("clientinput=yes&UpdateButton=Save&HideRemoved=1");
  EXPECT_NE(page->page(hide), same);
  // Drawn again after a while in any case, with the same tag when nothing changed.
  const http::PageBodyPtr settled = page->page(r);
  platform.time().advance(web::StatusPage::kPageMaxAgeMs);
  const http::PageBodyPtr aged = page->page(r);
  EXPECT_NE(aged, settled);
  EXPECT_EQ(aged->tag(), settled->tag());
}

// Rows are posted by device code with the fingerprint of what the page showed: a page drawn
// before a device was added changes no other record, two browsers' edits of different devices
// both land, and an edit of a record changed meanwhile is refused with a notice.
TEST_F(StatusPageTest, PostsApplyByCodeOnlyWhatTheirUserChanged) {
  add("A1", "Hall");
  add("A3", "Porch");
  const std::string stale = get();
  add("A2", "Attic");  // drawn between A1 and A3 on later pages
  const std::string fresh = get();
  post(edited(stale, {{"Location_A3", "Porch light"}}));
  EXPECT_EQ(registry->device("A1")->location(), "Hall");
  EXPECT_EQ(registry->device("A2")->location(), "Attic");
  EXPECT_EQ(registry->device("A3")->location(), "Porch light");

  // The second browser's page predates the first one's post: its own edit lands, the other row
  // it sends back unchanged does not undo the first one's.
  post(edited(fresh, {{"Location_A2", "Loft"}}));
  EXPECT_EQ(registry->device("A2")->location(), "Loft");
  EXPECT_EQ(registry->device("A3")->location(), "Porch light");

  // Both edited A1: the later one is refused and told so.
  const std::string mine = get(), theirs = get();
  post(edited(mine, {{"Tag_A1", "hall_pir"}}));
  const std::string answer = post(edited(theirs, {{"Tag_A1", "other"}, {"Location_A1", "Hallway"}}));
  EXPECT_EQ(registry->device("A1")->tag(), "hall_pir");
  EXPECT_EQ(registry->device("A1")->location(), "Hall");
  EXPECT_TRUE(has(answer, "<div class='notice'><b>A1: not saved; it was changed elsewhere"));
}

// Text is stored as typed and survives a restart; what the file cannot hold is refused.
TEST_F(StatusPageTest, TypedTextRoundTripsAndWhatTheFileCannotHoldIsRefused) {
  add("A1", "Hall");
  const std::string typed = "Tom & Jerry's \"den\" \\[x] = 5% caf\xC3\xA9";
  post(edited(get(), {{"Location_A1", typed}, {"Tag_A1", "a=b"}}));
  EXPECT_EQ(registry->device("A1")->location(), typed);
  ctx->ini.flushIniCache();
  devices::DeviceRegistry reloaded(*ctx);
  reloaded.loadDevices();
  ASSERT_NE(reloaded.device("A1"), nullptr);
  EXPECT_EQ(reloaded.device("A1")->location(), typed);
  EXPECT_EQ(reloaded.device("A1")->tag(), "a=b");

  const std::string refused = post(edited(get(), {{"Location_A1", "two\r\nlines"}}));
  EXPECT_EQ(registry->device("A1")->location(), typed);
  EXPECT_TRUE(has(refused, "A1: not saved; Location is it holds a line break"));
  post(edited(get(), {{"Location_A1", std::string(300, 'x')}}));
  EXPECT_EQ(registry->device("A1")->location(), typed);
}
