#include "web/status_page.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <exception>

#include "devices/status_picture.h"
#include "util/text.h"

#ifndef QUILLON_WEB_VERSION
#define QUILLON_WEB_VERSION "0.0.0"
#endif

namespace quillon::web {
namespace {

constexpr std::size_t kStatusChars = 255;

// Case-insensitive text order, as the record set's sort compares text.
int compareText(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int x = std::tolower(static_cast<unsigned char>(a[i])), y = std::tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <typename T>
int compareValue(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

using RowCompare = int (*)(const StatusRow&, const StatusRow&);

struct SortField {
  const char* name;
  RowCompare compare;
};

const SortField kSortFields[] = {
    {"UIDIndex", [](const StatusRow& a, const StatusRow& b) { return compareValue(a.uidIndex, b.uidIndex); }},
    {"DC", [](const StatusRow& a, const StatusRow& b) { return compareText(a.dc, b.dc); }},
    {"DCSort", [](const StatusRow& a, const StatusRow& b) { return compareText(a.dcSort, b.dcSort); }},
    {"UID", [](const StatusRow& a, const StatusRow& b) { return compareText(a.uid, b.uid); }},
    {"BSC", [](const StatusRow& a, const StatusRow& b) { return compareValue(a.bsc, b.bsc); }},
    {"X10", [](const StatusRow& a, const StatusRow& b) { return compareValue(a.x10, b.x10); }},
    {"Inv", [](const StatusRow& a, const StatusRow& b) { return compareValue(a.inv, b.inv); }},
    {"Ev", [](const StatusRow& a, const StatusRow& b) { return compareValue(a.ev, b.ev); }},
    {"Remove", [](const StatusRow& a, const StatusRow& b) { return compareValue(a.remove, b.remove); }},
    {"Used", [](const StatusRow& a, const StatusRow& b) { return compareValue(a.used, b.used); }},
    {"MAP", [](const StatusRow& a, const StatusRow& b) { return compareText(a.map, b.map); }},
    {"OFF", [](const StatusRow& a, const StatusRow& b) { return compareValue(a.off, b.off); }},
    {"Location", [](const StatusRow& a, const StatusRow& b) { return compareText(a.location, b.location); }},
    {"Type", [](const StatusRow& a, const StatusRow& b) { return compareText(a.type, b.type); }},
    {"Icon", [](const StatusRow& a, const StatusRow& b) { return compareText(a.icon, b.icon); }},
    {"Tag", [](const StatusRow& a, const StatusRow& b) { return compareText(a.tag, b.tag); }},
    {"Changed", [](const StatusRow& a, const StatusRow& b) { return compareValue(a.changed, b.changed); }},
    {"Status", [](const StatusRow& a, const StatusRow& b) { return compareText(a.status, b.status); }},
};

// The first 255 characters of the state picture, cut back to a whole tag and with its table
// closed, so a long fragment cannot swallow the rest of the row.
std::string statusCell(const std::string& deviceString) {
  if (deviceString.size() <= kStatusChars) return deviceString;
  std::string out = deviceString.substr(0, kStatusChars);
  const std::size_t open = out.rfind('<'), close = out.rfind('>');
  if (open != std::string::npos && (close == std::string::npos || close < open)) out.resize(open);
  if (util::ifind(out, "<table>") != std::string::npos && util::ifind(out, "</table>") == std::string::npos)
    out += "</td></table>";
  return out;
}

std::string versionText() {
  std::vector<std::string> parts = util::split(QUILLON_WEB_VERSION, ".");
  while (parts.size() < 3) parts.push_back("0");
  return parts[0] + "." + parts[1] + "." + parts[2];
}

}  // namespace

std::string dcSortKey(const std::string& code) {
  if (code.size() >= 4 || code.empty()) return code;
  const std::string rest = code.substr(1);
  return code.substr(0, 1) + (rest.size() < 2 ? "0" + rest : rest);
}

bool isX10Code(const std::string& code) {
  if (code.size() < 2 || code.size() > 3) return false;
  const char house = static_cast<char>(std::toupper(static_cast<unsigned char>(code[0])));
  const double unit = util::leadingNumber(code.substr(1));
  return house >= 'A' && house <= 'P' && unit >= 1 && unit <= 16;
}

std::string checked(bool flag) { return flag ? " checked " : " "; }

void sortRows(std::vector<StatusRow>& rows, const std::string& sortText) {
  const std::vector<std::string> words = util::split(util::trim(sortText), " ");
  if (words.empty()) return;
  RowCompare compare = nullptr;
  for (const SortField& f : kSortFields)
    if (util::iequals(words[0], f.name)) compare = f.compare;
  if (!compare) return;
  const bool descending = words.size() > 1 && util::iequals(words.back(), "DESC");
  std::stable_sort(rows.begin(), rows.end(), [&](const StatusRow& a, const StatusRow& b) {
    const int c = compare(a, b);
    return descending ? c > 0 : c < 0;
  });
}

StatusPage::StatusPage(core::NodeContext& ctx, devices::DeviceRegistry& registry, script::TagStore* tags,
                       WebServices services)
    : ctx_(ctx), registry_(registry), tags_(tags), services_(std::move(services)), framework_(ctx) {}

std::string StatusPage::setting(const char* key) {
  return util::removeChar(core::storedSetting(ctx_.ini, core::kSettingsSection, key), '"');
}

void StatusPage::saveSetting(const char* key, const std::string& value) {
  // A line break would end the line in the file and start whatever the rest says.
  if (std::string problem = textProblem(value, 1024); !problem.empty()) {
    notices_.push_back(std::string(key) + " not saved: it is " + problem);
    return;
  }
  ctx_.ini.saveIniSetting(core::kSettingsSection, key, value, core::kSettingsFile);
}

std::string StatusPage::form(const char* key) const { return request_ ? request_->form(key) : std::string(); }
std::string StatusPage::formN(const char* key, int n) const {
  return request_ ? request_->form(key + std::to_string(n)) : std::string();
}

std::string StatusPage::statusPage(http::Request& request, http::Response*) {
  try {
    request_ = &request;
    notices_.clear();
    framework_.xStartMiscFunctionsAsp();
    framework_.xSecurityCheck(request);
    framework_.xStartHeaderAsp(request);
    std::string page = statusAsp();
    request_ = nullptr;
    return page;
  } catch (const std::exception& e) {
    request_ = nullptr;
    ctx_.log.logError("Quillon", "StatusPage: ", e.what());
    return "";
  }
}

std::string StatusPage::deviceEvent(const devices::W800Device& d) {
  today_ = ctx_.now().dateOnly();
  yesterday_ = util::DateTime::fromDaysSinceEpoch(today_.daysSinceEpoch() - 1);
  nlohmann::json data = {{"code", d.dc()},
                         {"status", statusCell(devices::statusPicture(d))},
                         {"changed", formatChanged(d.deviceLastChange())},
                         {"stale", d.stale()}};
  return "event: device\ndata: " + data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n\n";
}

http::PageBodyPtr StatusPage::page(http::Request& request) {
  const std::int64_t nowMs = ctx_.platform.clock().monotonicMs();
  const bool post = !request.form("clientinput").empty();
  if (!post && cached_ && nowMs - cachedAtMs_ < kPageMaxAgeMs && pageKey(request) == cachedKey_) return cached_;
  std::string text = statusPage(request, nullptr);
  auto body = std::make_shared<const http::PageBody>(text, http::contentTag(text));
  // The received xAP messages' section shows values no counter covers: it is drawn each time. The
  // page answering a post is its poster's alone (it may carry notices about the post).
  if (!post && !text.empty() && !ctx_.settings.showReceiveMessages) {
    cached_ = body;
    // Taken after the drawing, which may itself have read a settings file for the first time.
    cachedKey_ = pageKey(request);
    cachedAtMs_ = nowMs;
  } else {
    cached_.reset();
  }
  return body;
}

std::string StatusPage::pageKey(const http::Request& request) {
  framework_.xStartMiscFunctionsAsp();
  framework_.xSecurityCheck(request);
  framework_.xStartHeaderAsp(request);
  std::string key = std::to_string(registry_.revision()) + "|" + std::to_string(ctx_.ini.version()) + "|" +
                    std::to_string(lifecycle_ ? lifecycle_->revision() : 0) + "|" +
                    std::to_string(ctx_.now().dateOnly().daysSinceEpoch()) + "|" +
                    (framework_.touchScreen() ? "T|" : "|") + framework_.securityLevel() + "|" +
                    framework_.logoBar(&request) + "|";
  if (services_.linkSummary) key += services_.linkSummary();
  return key;
}

std::string StatusPage::statusAsp() {
  try {
    if (!form("clientinput").empty() && !clientRequest()) return "";
    today_ = ctx_.now().dateOnly();
    yesterday_ = util::DateTime::fromDaysSinceEpoch(today_.daysSinceEpoch() - 1);
    return formatScreen();
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "Status_ASP: ", e.what());
    return "";
  }
}

std::string StatusPage::formatChanged(const util::DateTime& d) const {
  if (d.toSerial() == 0 || d == util::DateTime{2000, 1, 1}) return "";
  if (d >= yesterday_) {
    const int h12 = d.hour % 12 == 0 ? 12 : d.hour % 12;
    auto two = [](int v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    return std::string(d >= today_ ? "Today " : "Yesterday ") + std::to_string(h12) + ":" + two(d.minute) + ":" +
           two(d.second) + (d.hour < 12 ? " AM" : " PM");
  }
  return util::formatGeneral(d);
}

std::string StatusPage::formatScreen() {
  util::FastString page;
  const core::Settings& s = ctx_.settings;
  auto step = [&](auto&& body) {
    try {
      body();
    } catch (const std::exception& e) {
      ctx_.log.logError("Quillon", "Status FormatScreen ", e.what());
    }
  };
  step([&] {
    page.add("<html><head><script LANGUAGE='JavaScript'>\r\n"
             "var myPopup = {startHelp: function(key) {}, clearHelp: function() {}};\r\n"
             "function ClearSubmit(button) { var f = document.forms['control']; f.clientvalue.value = button.value; "
             "f.clientinput.value = button.name; f.submit(); }\r\n"
             "function HiddenSubmit(button) { var f = window.frames['hiddenframe'].document.forms['hiddenform']; "
             "f.clientvalue.value = button.value; f.clientinput.value = button.name; f.submit(); }\r\n"
             "function CheckPort(text, button) { if (text.value == '') { alert('Comm port must be defined before "
             "sending commands'); } else { var f = document.forms['control']; f.clientinput.value = button.name; "
             "f.submit(); } }\r\n"
             // The live view: each device change comes as an event and its row's state and time
             // are put in; without JavaScript the page is the same, only not live ("#still" in
             // the address keeps it still, for screenshots and printing).
             "if (window.EventSource && location.hash != '#still') { var live = new EventSource('/events'); "
             "live.addEventListener('device', function (e) { var d = JSON.parse(e.data); "
             "var s = document.getElementById('st_' + d.code); if (s) s.innerHTML = d.status; "
             "var c = document.getElementById('ch_' + d.code); if (c) c.textContent = d.changed; "
             "var t = document.getElementById('sl_' + d.code); if (t) t.innerHTML = d.stale ? '<br>stale' : ''; }); }\r\n"
             "</script>");
  });
  step([&] {
    const std::string title = "RF Status&nbsp;&nbsp;<small><font size='1'></b> V" + versionText() + "</font></small>";
    page.add(framework_.customHeader({title, "", s.background, "x", s.styleSheet}));
    page.add("\r\n<div><center><small>");
  });
  step([&] {
    page.add("<form name='control' method='post'>").add(kTokenField).add(""
             "<input type='hidden' name='clientinput' value='yes'><input type='hidden' name='clientvalue' value='yes'>"
             "<input type='submit' name='UpdateButton' value='Save Changes'>"
             "<input type='submit' name='Refresh' value='Refresh'>");
    // The order this page shows, so that its sort buttons turn it round.
    page.add("<input type='hidden' name='sortkey' value='")
        .add(htmlEscape(setting("StatusSortKey")))
        .add("'><input type='hidden' name='sortdir' value='")
        .add(htmlEscape(setting("StatusSortDirection")))
        .add("'>");
    auto box = [&](const char* name, bool on, const char* label) {
      return cell(std::string("<input type='checkbox' name ='") + name + "' value='1'" + checked(on) + ">&nbsp;" +
                      label,
                  "", "", "TABLEROWEVEN");
    };
    page.add("<table><tr>")
        .add(cell("Browser Content Display Control", "", "2", "TABLEHEADER"))
        .add("</tr><tr>")
        .add(box("ShowSetup", s.showSetup, "Setup"))
        .add(box("ShowReceiveMessages", s.showReceiveMessages, "Receive xAP Messages"))
        .add("</tr><tr>")
        .add(box("ShowOnlyUsed", s.showOnlyUsed, "Only Used"))
        .add(box("ShowReceiveDetail", s.showReceiveDetail, "Receive xAP Detail"))
        .add("</tr><tr>")
        .add(box("HideRemoved", s.hideRemoved, "Hide Removed"))
        .add(cell("&nbsp;", "", "", "TABLEROWEVEN"))
        .add("</tr></table>");
  });
  step([&] {
    // The receiver link's state, so a silent or unplugged receiver shows on the page.
    const std::string summary = services_.linkSummary ? services_.linkSummary() : "";
    if (summary.empty()) return;
    std::string text = htmlEscape(summary);
    for (std::size_t at; (at = text.find("\xC2\xB7")) != std::string::npos;) text.replace(at, 2, "&middot;");
    const bool closed = summary.find(" closed") != std::string::npos;
    page.add("<div class='linkstate'>").add(closed ? "<b>" + text + "</b>" : text).add("</div>");
  });
  step([&] {
    for (const std::string& notice : notices_) page.add("<div class='notice'><b>").add(htmlEscape(notice)).add("</b></div>");
  });
  step([&] { addNewDevices(page); });
  step([&] { addDeviceTable(page); });
  step([&] {
    if (s.showSetup) {
      addSetup(page);
      addLifecycleLists(page);
      addLogin(page);
    }
    if (s.showReceiveMessages) addFilter(page);
  });
  step([&] {
    page.add("</form>");
    addScriptButton(page);
    page.add("<IFRAME frameborder=0 scrolling='no' name='hiddenframe' cols='0' rows='0' width='0' height='0' "
             "size='0'><form name='hiddenform' method = 'post'>")
        .add(kTokenField)
        .add("<input type='hidden' name='clientinput' value='x'>"
             "<input type='hidden' name='clientvalue' value='y'></form></IFRAME>");
    page.add("</small></center></div></body></html>");
  });
  return page.take();
}

void StatusPage::addDeviceTable(util::FastString& page) {
  static const char* const kButtons[][2] = {{"R", "R"},         {"Status", "Status"}, {"ID", "ID"},
                                            {"UID", "UID"},     {"Inv", "Inv"},       {"BSC", "BSC"},
                                            {"X10", "X10"},     {"Map", "Send"},      {"Off", "OFF"},
                                            {"Location", "Location"}, {"Type", "Type"}, {"Icon", "Icon"},
                                            {"Tag", "Tag"},     {"Ev", "Ev"},         {"Changed", "Changed"}};
  // Its own block, so that on a narrow screen the table scrolls sideways under a fixed page.
  page.add("<br><div class='devices'><table  border='5' frame='box'><tr>");
  for (const auto& b : kButtons)
    page.add(cell(std::string("<input type='submit' name='") + b[0] + "' value='" + b[1] + "'>", "Center", "1",
                  "TABLEHEADER"));
  page.add("</tr><tr>");

  const core::Settings& s = ctx_.settings;
  std::vector<StatusRow> rows;
  rows.reserve(registry_.devices().size());
  int index = 0;
  for (const auto& [code, d] : registry_.devices()) {
    const int n = index++;
    if (!d || (d->remove() && s.hideRemoved)) continue;
    StatusRow r = rowOf(*d);
    r.uidIndex = n;
    rows.push_back(std::move(r));
  }
  if (!rows.empty()) {
    const std::string key = setting("StatusSortKey");
    sortRows(rows, key + " " + setting("StatusSortDirection"));
  }
  drawnRows_.clear();
  bool even = true;
  std::string line, n;
  auto add = [&](std::string_view content, std::string_view cls) { framework_.appendCell(line, content, "Left", "1", cls); };
  auto box = [&](bool on, const char* name) {
    line += "<input type='checkbox' ";
    if (on) line += "checked";
    line += " name='";
    line += name;
    line += n;
    line += "'>";
  };
  auto text = [&](const char* size, const char* name, std::string_view value) {
    line += "<input type='text' size='";
    line += size;
    line += "' name='";
    line += name;
    line += n;
    line += "' value='";
    appendEscaped(line, value);
    line += "'>";
  };
  // Cells whose content is a control are written in place.
  auto control = [&](std::string_view cls, auto&& write) {
    framework_.openCell(line, "<", "Left", "1", cls);
    write();
    framework_.closeCell(line);
  };
  for (StatusRow& r : rows) {
    if (!r.used && s.showOnlyUsed) continue;
    const char* cls = even ? "TABLEROWEVEN" : "TABLEROWODD";
    even = !even;
    n = "_" + r.dc;
    const bool x10 = isX10Code(r.dc);
    line.clear();
    // The row as drawn, so that a post changes only what its user changed, and only while no
    // one else has changed the record meanwhile.
    control(cls, [&] {
      line += "<input type='hidden' name='row";
      line += n;
      line += "' value='";
      line += rowFingerprint(drawnFields(r));
      line += "'>";
      box(r.remove, "Remove");
    });
    // The state and its time carry ids, so that the live view can put in new ones.
    add("<span id='st_" + htmlEscape(r.dc) + "'>" + r.status + "</span>", cls);
    // The code opens the device's page with its history.
    add("<a href='/device?code=" + htmlEscape(r.dc) + "'>" + htmlEscape(util::upper(r.dc)) + "</a>", cls);
    add(htmlEscape(r.uid), cls);
    if (r.dc == "EE11") add("&nbsp;", cls);
    else control(cls, [&] { box(r.inv, "Inv"); });
    if (x10) {
      control(cls, [&] { box(r.bsc, "BSC"); });
      control(cls, [&] { box(r.x10, "X10"); });
    } else {
      add("&nbsp;", cls);
      add("&nbsp;", cls);
    }
    control(cls, [&] { text("3", "Map", r.map); });
    control(cls, [&] { text("3", "Off", std::to_string(r.off)); });
    control(cls, [&] { text("15", "Location", r.location); });
    control(cls, [&] { text("10", "Type", r.type); });
    control(cls, [&] { text("10", "Icon", r.icon); });
    control("tablecellmisc", [&] { text("15", "Tag", r.tag); });
    control(cls, [&] { box(r.ev, "Ev"); });
    // Stale rows say so after their time; the live view clears it when the device is heard.
    add("<span id='ch_" + htmlEscape(r.dc) + "'>" + formatChanged(r.changed) +
            "</span><b class='stale' style='color:#b00000' id='sl_" + htmlEscape(r.dc) + "'>" +
            (r.stale ? "<br>stale" : "") + "</b>",
        cls);
    line += "</tr><tr>";
    page.add(line);
    drawnRows_.push_back(std::move(r));
  }
  page.add("</tr></table></div>");
}

bool StatusPage::clientRequest() {
  try {
    if (lifecycle_ && lifecyclePost()) return true;
    if (form("UpdateButton").empty()) {
      if (!form("script").empty()) {
        if (services_.initScriptControl) services_.initScriptControl();
        return false;
      }
      if (!form("query").empty()) {
        if (services_.bscQuery) services_.bscQuery(">:>");
        return true;
      }
      std::string key;
      if (!form("ID").empty()) {
        key = "DCSort";
      } else {
        for (const char* f : {"Status", "ID", "Inv", "BSC", "R", "Icon", "UID", "Tag", "Type", "X10", "Map", "Off",
                              "Ev", "Location", "Used", "Changed"})
          key += form(f);
        if (key == "R") key = "Remove";
      }
      if (!key.empty()) {
        // The same column again turns the posting page's own order round; another starts ascending.
        std::string direction;
        if (util::iequals(key, form("sortkey"))) direction = form("sortdir").empty() ? "DESC" : "";
        saveSetting("StatusSortKey", "\"" + key + "\"");
        saveSetting("StatusSortDirection", "\"" + direction + "\"");
        ctx_.ini.flushIniCache();
      }
      return true;
    }
    saveDisplayOptions();
    saveSetting("ShowInputLinks", "False");
    saveSetting("ShowEPROM", "False");
    // A section's settings are saved only when it was on the page and its fields came with the
    // post: a post without them (another tab, a hand-made request) must not blank them.
    if (!form("SetupShown").empty() && request_->formCol().contains("ServerPort")) saveSetupAndLogin();
    saveDevices();
    if (!form("FiltersShown").empty() && request_->formCol().contains("Source0")) saveFilterSettings();
    registry_.buildTagDictionary();
    if (!ctx_.ini.flushIniCache()) ctx_.logEvent("Status ClientRequest: the settings file could not be written");
    return true;
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "Status ClientRequest ", e.what());
    return true;
  }
}

void StatusPage::saveDisplayOptions() {
  core::Settings& s = ctx_.settings;
  auto option = [&](const char* key, bool& value) {
    value = !form(key).empty();
    saveSetting(key, value ? "True" : "False");
  };
  option("ShowSetup", s.showSetup);
  option("ShowReceiveMessages", s.showReceiveMessages);
  option("ShowOnlyUsed", s.showOnlyUsed);
  option("ShowReceiveDetail", s.showReceiveDetail);
  option("HideRemoved", s.hideRemoved);
}

std::string textProblem(std::string_view text, std::size_t maxBytes) {
  if (text.size() > maxBytes) return "longer than " + std::to_string(maxBytes) + " bytes";
  for (unsigned char c : text)
    if (c < 32 || c == 127) return "it holds a line break or another control character";
  return "";
}

std::string StatusPage::rowProblem(const RowFields& f) {
  const std::pair<const char*, const std::string*> texts[] = {{"Map", &f.map},   {"Off", &f.off},   {"Location", &f.location},
                                                             {"Type", &f.type}, {"Icon", &f.icon}, {"Tag", &f.tag}};
  for (const auto& [name, text] : texts)
    if (std::string p = textProblem(*text, kMaxTextBytes); !p.empty()) return std::string(name) + " is " + p;
  return "";
}

StatusRow StatusPage::rowOf(const devices::W800Device& d) {
  StatusRow r;
  r.dc = d.dc();
  r.dcSort = dcSortKey(d.dc());
  r.uid = d.uid();
  r.bsc = d.bsc();
  r.x10 = d.x10();
  r.inv = d.invert();
  r.ev = d.eventNotification();
  r.remove = d.remove();
  r.used = d.inUse();
  r.map = d.map();
  r.off = d.offTime();
  r.location = d.location();
  r.type = d.deviceType();
  r.icon = d.icon();
  r.tag = d.tag();
  r.changed = d.deviceLastChange();
  r.status = statusCell(devices::statusPicture(d));
  r.stale = d.stale();
  return r;
}

RowFields StatusPage::drawnFields(const StatusRow& r) {
  const bool x10 = isX10Code(r.dc);
  return {r.remove, r.dc != "EE11" && r.inv, x10 && r.bsc, x10 && r.x10, r.ev, r.map, std::to_string(r.off),
          r.location, r.type, r.icon, r.tag};
}

RowFields StatusPage::postedFields(const std::string& n) const {
  auto text = [&](const char* key) { return form((key + n).c_str()); };
  auto box = [&](const char* key) { return !text(key).empty(); };
  return {box("Remove"), box("Inv"), box("BSC"), box("X10"), box("Ev"), text("Map"), text("Off"),
          text("Location"), text("Type"), text("Icon"), text("Tag")};
}

std::string rowFingerprint(const RowFields& f) {
  std::string all;
  for (bool b : {f.remove, f.inv, f.bsc, f.x10, f.ev}) all += b ? '1' : '0';
  for (const std::string* t : {&f.map, &f.off, &f.location, &f.type, &f.icon, &f.tag}) {
    all += '\x1F';
    all += *t;
  }
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : all) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char out[17];
  std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
  return out;
}

void StatusPage::saveDevices() {
  // "~" separates the fields of a stored record, so typed text never carries one.
  auto field = [&](const char* key, const std::string& n) { return util::replaceAll(form((key + n).c_str()), "~", "-"); };
  auto formN = [&](const char* key, const std::string& n) { return form((key + n).c_str()); };
  // Rows come by device code, each with the fingerprint of what its page showed.
  for (const auto& [key, pair] : request_->formCol()) {
    if (key.size() <= 4 || !util::iequals(key.substr(0, 4), "row_")) continue;
    const std::string code = key.substr(4), n = "_" + code;
    devices::DevicePtr d = registry_.devicePtr(code);
    if (!d) {
      notices_.push_back(code + ": not saved; the device is no longer known");
      continue;
    }
    const std::string posted = rowFingerprint(postedFields(n));
    if (posted == pair.value) continue;  // its user changed nothing in this row
    if (const std::string problem = rowProblem(postedFields(n)); !problem.empty()) {
      notices_.push_back(d->dc() + ": not saved; " + problem);
      continue;
    }
    if (rowFingerprint(drawnFields(rowOf(*d))) != pair.value) {
      notices_.push_back(d->dc() + ": not saved; it was changed elsewhere after this page was drawn. "
                         "Its row now shows the record as it is.");
      continue;
    }
    const devices::DeviceState before = d->state();
    const bool wasRemoved = d->remove();
    d->setInvert(!formN("Inv", n).empty());
    d->setTag(util::replaceAll(field("Tag", n), " ", "_"));
    d->setRemove(!formN("Remove", n).empty());
    d->setEventNotification(!formN("Ev", n).empty());
    const std::string location = field("Location", n);
    d->setInUse(!location.empty());
    d->setLocation(location);
    d->setBsc(!formN("bsc", n).empty() || d->dc().size() >= 4);
    d->setX10(!formN("x10", n).empty());
    d->setMap(field("Map", n));
    d->setIcon(field("Icon", n));
    const std::string type = field("Type", n);
    d->setDeviceType(type.empty() ? "Switch" : type);
    const std::string off = formN("Off", n);
    if (util::isNumeric(off) && d->timerIndex() < 1) registry_.allocateOffTimer(d);
    const double seconds = util::isNumeric(off) ? std::nearbyint(util::leadingNumber(off)) : 0;
    d->setOffTime(static_cast<std::int16_t>(std::clamp(seconds, 0.0, 32767.0)));
    d->setUid(d->bsc() ? devices::DeviceRegistry::deviceUidSuffix(d->dc()) : "");
    if (tags_ && !d->tag().empty() && !tags_->hasTag(d->tag())) {
      auto entry = std::make_shared<script::DeviceClass>();
      entry->tag = d->tag();
      entry->lastChange = d->deviceLastChange();
      tags_->add(d->tag(), std::move(entry));
    }
    // Written now, not only at shutdown, so an edit survives a crash.
    ctx_.ini.saveIniSetting(devices::kUnitsSection, d->dc(), d->properties(), core::kSettingsFile);
    registry_.edited(*d, before, d->remove() && !wasRemoved);
  }
}

}  // namespace quillon::web
