#pragma once
// The status page: every known device with its state picture and its editable options, the
// display options, sorting, and (on request) the setup, login and receive-filter sections. The
// page posts its own form back; ClientRequest applies the post before the page is drawn again.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/node_context.h"
#include "core/settings.h"
#include "core/settings_table.h"
#include "devices/device_lifecycle.h"
#include "devices/device_registry.h"
#include "http/request.h"
#include "http/response.h"
#include "script/tag_store.h"
#include "util/date_time.h"
#include "util/fast_string.h"
#include "web/page_helpers.h"

namespace quillon::web {

// What the page asks of the rest of the node.
struct WebServices {
  std::function<void()> initScriptControl;                      // the "Read Script" button
  std::function<void(const std::string&)> bscQuery;             // the "BSC Query" button
  // The setup section was saved into the running settings: every subsystem applies what changed.
  std::function<void(const core::Settings& before)> settingsSaved;
  // One line on the receiver link ("Receiver open on … · … bytes …", UTF-8); empty: no line.
  std::function<std::string()> linkSummary;
};

// The editable fields of one device row, as drawn or as posted (boxes ticked or not, texts).
struct RowFields {
  bool remove = false, inv = false, bsc = false, x10 = false, ev = false;
  std::string map, off, location, type, icon, tag;
};
// A short fingerprint of a row's fields: a post whose row still has its page's fingerprint
// changed nothing there; a record whose fingerprint moved was changed by someone else.
std::string rowFingerprint(const RowFields& f);
// Why typed text cannot be stored ("" when it can): too long, or a control character.
std::string textProblem(std::string_view text, std::size_t maxBytes);

// One listed device, built from its record before sorting.
struct StatusRow {
  int uidIndex = 0;
  std::string dc, dcSort, uid;
  bool bsc = false, x10 = false, inv = false, ev = false, remove = false, used = false;
  std::string map;
  int off = 0;
  std::string location, type, icon, tag;
  util::DateTime changed;
  std::string status;
  bool stale = false;
};

// The sort key of a device code: A2 -> A02, so that it sorts before A10.
std::string dcSortKey(const std::string& code);
// A house code A-P followed by a unit 1-16.
bool isX10Code(const std::string& code);
std::string checked(bool flag);
// Sorts rows by "Field" or "Field DESC"; a key that names no field leaves the order as it is.
void sortRows(std::vector<StatusRow>& rows, const std::string& sortText);

class StatusPage {
 public:
  StatusPage(core::NodeContext& ctx, devices::DeviceRegistry& registry, script::TagStore* tags, WebServices services);

  static constexpr std::size_t kMaxTextBytes = 255;  // the longest text a device field takes
  // A page is drawn again at least this often, for what it shows that no counter covers.
  static constexpr std::int64_t kPageMaxAgeMs = 2000;

  // Entry from the HTTP server for every path beginning "/stat": the page drawn for an earlier
  // request while nothing it shows has changed (devices, settings, the day, the receiver line,
  // the logo bar), shared by every client; a post is applied and the page drawn at once.
  http::PageBodyPtr page(http::Request& request);
  // A device's new state and time as one Server-Sent Event for the live view.
  std::string deviceEvent(const devices::W800Device& d);
  // Applies a post and draws the page.
  std::string statusPage(http::Request& request, http::Response* response);
  std::string statusAsp();

  // "Today 3:05:09 PM", "Yesterday ...", the general date, or "" for a change that never happened.
  std::string formatChanged(const util::DateTime& d) const;

  const std::vector<StatusRow>& drawnRows() const { return drawnRows_; }
  // Staleness, the new-devices list, ignore and replace; without it the page has none of them.
  void setLifecycle(devices::DeviceLifecycle* lifecycle) { lifecycle_ = lifecycle; }
  PageFramework& framework() { return framework_; }

 private:
  std::string formatScreen();
  // A record as its row shows it.
  static StatusRow rowOf(const devices::W800Device& d);
  static RowFields drawnFields(const StatusRow& r);
  RowFields postedFields(const std::string& suffix) const;
  static std::string rowProblem(const RowFields& f);
  // What the drawn page depends on beyond its request, as one text.
  std::string pageKey(const http::Request& request);
  bool clientRequest();
  std::string form(const char* key) const;
  std::string formN(const char* key, int n) const;
  void saveDisplayOptions();
  void saveDevices();
  void addDeviceTable(util::FastString& page);
  std::string cell(std::string_view content, std::string_view align, std::string_view colspan,
                   std::string_view cls) const {
    return framework_.formatCell(content, align, colspan, cls);
  }
  // A key of [W800] without its quotes; the settings table's default when absent or empty.
  std::string setting(const char* key);
  void saveSetting(const char* key, const std::string& value);

  // Setup, login, filter and command-button sections.
  void addSetup(util::FastString& page);
  void addLogin(util::FastString& page);
  void addFilter(util::FastString& page);
  void addScriptButton(util::FastString& page);
  void saveSetupAndLogin();
  // The new devices (heard, no location yet), newest first, each with Ignore and Replace.
  void addNewDevices(util::FastString& page);
  // The ignore patterns and stale minutes as editable lists (with the setup section).
  void addLifecycleLists(util::FastString& page);
  // An Ignore, Replace or list-saving post; false when the post was none of these.
  bool lifecyclePost();
  void saveFilterSettings();

  core::NodeContext& ctx_;
  devices::DeviceRegistry& registry_;
  devices::DeviceLifecycle* lifecycle_ = nullptr;
  script::TagStore* tags_;
  WebServices services_;
  PageFramework framework_;
  http::Request* request_ = nullptr;
  util::DateTime today_, yesterday_;
  std::vector<StatusRow> drawnRows_;  // the rows of the last drawn page, in page order
  std::vector<std::string> notices_;  // what the page answering a post tells its poster
  http::PageBodyPtr cached_;
  std::string cachedKey_;
  std::int64_t cachedAtMs_ = 0;
};

}  // namespace quillon::web
