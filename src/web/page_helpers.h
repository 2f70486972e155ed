#pragma once
// The small framework every generated page shares: the header builder, the table-cell writer and
// the per-page checks (touch-screen client, security level) with the options they read from
// section Settings of "Quillon.ini" and section "header.asp" of "includes.ini".
#include <string>
#include <string_view>
#include <vector>

#include "core/node_context.h"
#include "http/request.h"
#include "http/sessions.h"

namespace quillon::web {

// The hidden field every form that posts carries: the session's token, put in place when the
// shared page goes to its client.
inline const std::string kTokenField =
    "<input type='hidden' name='csrf' value='" + std::string(http::kTokenMark) + "'>";

// Text for HTML: & < > " and ' as entities, so it is safe in text and in either kind of quoted
// attribute.
std::string htmlEscape(std::string_view text);
void appendEscaped(std::string& out, std::string_view text);
// Removes "&nbsp;" and "&nbsp" (any case) and every tag, from "<" to the next ">".
std::string stripHtml(std::string_view text);

class PageFramework {
 public:
  explicit PageFramework(core::NodeContext& ctx) : ctx_(ctx) {}

  // The three checks that run before a page is built, in this order.
  void xStartMiscFunctionsAsp();
  void xSecurityCheck(const http::Request& request);
  bool xStartHeaderAsp(const http::Request& request);

  // One table cell; in touch-screen mode the known classes become inline colours.
  std::string formatCell(std::string_view content, std::string_view align, std::string_view colspan,
                         std::string_view cls) const;
  // The same, appended to out (the page builder's fast path).
  void appendCell(std::string& out, std::string_view content, std::string_view align, std::string_view colspan,
                  std::string_view cls) const;
  // A cell in two halves, for content written in place; the help hook is decided on `content`.
  void openCell(std::string& out, std::string_view content, std::string_view align, std::string_view colspan,
                std::string_view cls) const;
  void closeCell(std::string& out) const { out += touchScreen_ ? "</font></td>" : "</td>"; }
  // The HTML head and the top of the body. options: [0] page title, [2] background, [4] style sheet.
  std::string customHeader(const std::vector<std::string>& options);

  bool touchScreen() const { return touchScreen_; }
  void setTouchScreen(bool on) { touchScreen_ = on; }
  const std::string& securityLevel() const { return securityLevel_; }
  // The logo bar's row for the request (date, time, user as the settings ask), or "".
  std::string logoBar(const http::Request* request);

 private:
  std::string setting(const char* key, const char* def = "");
  // The text of a file under the web root, or "No File".
  std::string fileContents(const std::string& relative) const;

  core::NodeContext& ctx_;
  bool touchScreen_ = false;
  std::string securityLevel_;
  std::string useSecurity_, touchScreenIps_;
  bool enhancedLogged_ = false;
  const http::Request* request_ = nullptr;
};

}  // namespace quillon::web
