#include "web/page_helpers.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/settings.h"
#include "http/request.h"
#include "util/date_time.h"
#include "util/text.h"

namespace quillon::web {
namespace {

constexpr const char* kFrameworkSection = "Settings";
constexpr const char* kNoFile = "No File";

struct TouchColours {
  const char* cls;
  const char* background;
  const char* font;
};
constexpr TouchColours kTouchColours[] = {{"TABLECOLUMN", "#31639C", "#FFFFFF"},
                                          {"TABLEHEADER", "#63639C", "#FFFFFF"},
                                          {"TABLEROWODD", "#C0C0C0", "#000000"},
                                          {"TABLEROWEVEN", "#949494", "#000000"}};

void attribute(std::string& out, std::string_view name, std::string_view value) {
  out += name;
  out += "=\"";
  appendEscaped(out, value);
  out += "\" ";
}

bool looksLikePicture(const std::string& background) {
  const std::string l = util::lower(background);
  for (const char* ext : {".gif", ".jpg", ".jpeg", ".png", ".bmp"})
    if (l.size() > std::string_view(ext).size() && l.ends_with(ext)) return true;
  return false;
}

}  // namespace

void appendEscaped(std::string& out, std::string_view text) {
  std::size_t from = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* entity = nullptr;
    switch (text[i]) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      case '"': entity = "&quot;"; break;
      case '\'': entity = "&#39;"; break;
      default: continue;
    }
    out.append(text, from, i - from);
    out += entity;
    from = i + 1;
  }
  out.append(text, from, std::string_view::npos);
}

std::string htmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  appendEscaped(out, text);
  return out;
}

std::string stripHtml(std::string_view text) {
  std::string noSpaces(text);
  // "&nbsp;" first, then a bare "&nbsp", both in any letter case.
  for (std::string_view entity : {std::string_view("&nbsp;"), std::string_view("&nbsp")}) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t p = util::ifind(noSpaces, entity); p != std::string::npos; p = util::ifind(noSpaces, entity, from)) {
      out.append(noSpaces, from, p - from);
      from = p + entity.size();
    }
    out.append(noSpaces, from, std::string::npos);
    noSpaces = std::move(out);
  }
  std::string out;
  for (std::size_t i = 0; i < noSpaces.size();) {
    if (noSpaces[i] != '<') {
      out += noSpaces[i++];
      continue;
    }
    const std::size_t close = noSpaces.find('>', i);
    if (close == std::string::npos) break;  // an unclosed tag runs to the end
    i = close + 1;
  }
  return out;
}

std::string PageFramework::setting(const char* key, const char* def) {
  return util::removeChar(ctx_.ini.getIniSetting(kFrameworkSection, key, def, core::kSettingsFile), '"');
}

void PageFramework::xStartMiscFunctionsAsp() {
  try {
    useSecurity_ = setting("usesecurity", "None");
    touchScreenIps_ = setting("touchscreenips");
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", " XStartMiscFunctionsASP: ", e.what());
  }
}

bool PageFramework::xStartHeaderAsp(const http::Request& request) {
  touchScreen_ = false;
  try {
    // The client's own address: the Host header the request parser calls REMOTE_ADDR names the
    // server, not the client.
    const std::string client = request.remoteIp();
    bool listed = false;
    for (const std::string& ip : util::split(touchScreenIps_, ","))
      if (!client.empty() && util::trim(ip) == client) listed = true;
    const std::string agent = request.serverVariables("http_user_agent");
    if (listed || agent.find("Audrey") != std::string::npos || agent.find("QNX") != std::string::npos) {
      touchScreen_ = true;
    }
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "xStartHeaderASP ", e.what());
  }
  return touchScreen_;
}

void PageFramework::xSecurityCheck(const http::Request& request) {
  request_ = &request;
  try {
    const std::string mode = util::upper(useSecurity_);
    if (mode == "ENHANCED") {
      // The user table lives in a menu database this node does not have.
      securityLevel_ = "None";
      if (!enhancedLogged_) {
        enhancedLogged_ = true;
        ctx_.logEvent("XSecurityCheck: usesecurity is ENHANCED but there is no menu database; security level None");
      }
    } else if (mode == "BASIC") {
      std::string user;
      const std::string auth = request.serverVariables("Authorization");
      if (const std::size_t sp = auth.find(' '); sp != std::string::npos) {
        const std::string plain = http::base64Decode(auth.substr(sp + 1));
        user = plain.substr(0, plain.find(':'));
      }
      if (!user.empty()) {
        securityLevel_ = user;
      } else {
        const std::string& ip = request.remoteIp();
        const bool local = ip.starts_with("127.") || ip.starts_with("10.") || ip.starts_with("192.168.");
        securityLevel_ = local ? "LOCAL" : "GUEST";
      }
    }
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "XSecurityCheck: ", e.what());
  }
}

std::string PageFramework::formatCell(std::string_view content, std::string_view align, std::string_view colspan,
                                      std::string_view cls) const {
  std::string out;
  out.reserve(content.size() + 64);
  appendCell(out, content, align, colspan, cls);
  return out;
}

void PageFramework::appendCell(std::string& out, std::string_view content, std::string_view align,
                               std::string_view colspan, std::string_view cls) const {
  openCell(out, content, align, colspan, cls);
  out += content;
  closeCell(out);
}

void PageFramework::openCell(std::string& out, std::string_view content, std::string_view align,
                             std::string_view colspan, std::string_view cls) const {
  const std::size_t start = out.size();
  try {
    out += "<td ";
    if (util::iequals(cls, "TABLEHEADER") && !content.starts_with("<")) {
      std::string key;
      for (char c : content)
        if (c != ' ' && c != '\'' && c != '-') key += c;
      key = util::lower(key).substr(0, std::min<std::size_t>(15, key.size()));
      out += " onMouseOver=\"myPopup.startHelp('";
      appendEscaped(out, key);
      out += "')\" onMouseOut=\"myPopup.clearHelp()\" ";
    }
    const TouchColours* colours = nullptr;
    if (touchScreen_)
      for (const TouchColours& t : kTouchColours)
        if (util::iequals(cls, t.cls)) colours = &t;
    if (colours) attribute(out, "bgcolor", colours->background);
    else if (!(touchScreen_ && util::iequals(cls, "TABLECELLCUSTOM"))) attribute(out, "class", cls);
    if (!colspan.empty()) attribute(out, "colspan", colspan);
    if (!align.empty()) attribute(out, "align", align);
    out += '>';
    if (touchScreen_) {
      out += "<font face=\"Verdana, Arial, sans-serif\" size=\"2\"";
      if (colours) out += std::string(" color=\"") + colours->font + "\"";
      out += '>';
    }
  } catch (const std::exception& e) {
    out.resize(start);
    ctx_.log.logError("Quillon", " FormatCell: ", e.what());
  }
}

std::string PageFramework::fileContents(const std::string& relative) const {
  try {
    std::ifstream in(std::filesystem::path(ctx_.paths.htmlDir()) / relative, std::ios::binary);
    if (!in.is_open()) return kNoFile;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "FileContents: ", e.what());
    return kNoFile;
  }
}

// A row of class logobar with the cells the logo switches ask for.
std::string PageFramework::logoBar(const http::Request* request) {
  const util::DateTime now = ctx_.now();
  auto two = [](int v) { return (v < 10 ? "0" : "") + std::to_string(v); };
  std::string cells;
  auto cell = [&](const char* key, const std::string& text) {
    if (util::toBool(setting(key, "false"))) cells += "<td class=\"logobar\">" + htmlEscape(text) + "</td>";
  };
  cell("logoShowDate", two(now.day) + "/" + two(now.month) + "/" + std::to_string(now.year));
  cell("logoShowTime", two(now.hour) + ":" + two(now.minute));
  cell("logoShowClock", two(now.hour) + ":" + two(now.minute) + ":" + two(now.second));
  if (request) cell("logoShowUsername", securityLevel_.empty() ? request->remoteIp() : securityLevel_);
  if (cells.empty()) return "";
  return "<table width=\"100%\"><tr class=\"logobar\">" + cells + "</tr></table>";
}

std::string PageFramework::customHeader(const std::vector<std::string>& options) {
  std::string out;
  try {
    auto option = [&](std::size_t i) { return i < options.size() ? options[i] : std::string(); };
    const std::string iniFile = "includes.ini";
    auto pageOption = [&](const char* key) {
      return util::removeChar(ctx_.ini.getIniSetting("header.asp", key, "", iniFile), '"');
    };
    const bool oldStyle = util::iequals(pageOption("strShowLinks"), "OldStyle");
    const std::string siteTitle = setting("gWebPageTitle", "Quillon");
    std::string styleSheet = option(4);
    if (styleSheet.empty()) styleSheet = "styleNoBody.css";
    if (!oldStyle) out += "<html><head>";
    out += "<title>" + htmlEscape(siteTitle) + " - " + htmlEscape(stripHtml(option(0))) + "</title>";
    out += "<link rel=\"stylesheet\" type=\"text/css\" href=\"/" + htmlEscape(styleSheet) + "\">";
    out += "<meta HTTP-EQUIV=\"EXPIRES\" CONTENT=\"0\"><meta HTTP-EQUIV=\"Pragma\" CONTENT=\"no-cache\">";
    // Phones lay the page out at their own width instead of a zoomed-out desktop width.
    out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";
    std::string refresh = setting("auto_refresh");
    if (!util::isNumeric(refresh)) refresh = pageOption("strRefresh");
    if (util::isNumeric(refresh))
      out += "<meta HTTP-EQUIV=\"refresh\" CONTENT=\"" + htmlEscape(util::trim(refresh)) + "\">";
    const std::string suffix = touchScreen_ ? "_touchscreen" : "";
    if (std::string meta = fileContents("meta" + suffix + ".htm"); meta != kNoFile) out += meta;
    out += "</head>\r\n";
    const std::string background = option(2);
    const std::string onload = setting("BODY_OnLoad");
    out += "<body";
    if (!background.empty()) {
      if (looksLikePicture(background)) out += " background=\"/" + htmlEscape(background) + "\"";
      else out += " bgcolor=\"" + htmlEscape(background) + "\"";
    }
    if (!onload.empty()) out += " onload=\"" + htmlEscape(onload) + "\"";
    out += ">";
    if (std::filesystem::exists(std::filesystem::path(ctx_.paths.appFolder) / "images" / "blank.gif"))
      out += "<a href=\"#content\"><img src=\"/images/blank.gif\" alt=\"Jump to page content.\" width=\"1\" height=\"1\" "
             "border=\"0\"></a>";
    if (std::string head = fileContents("head" + suffix + ".htm"); head != kNoFile) out += head;
    if (!setting("linkslocation").empty()) {
      std::string links = fileContents("links" + suffix + ".htm");
      if (links == kNoFile) links = fileContents("Quillon/Quillon_links.htm");
      if (links != kNoFile) out += links;
    }
    if (util::iequals(pageOption("strLogoYN"), "Yes")) out += logoBar(request_);
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", " CustomHeader: ", e.what());
  }
  return out;
}

}  // namespace quillon::web
