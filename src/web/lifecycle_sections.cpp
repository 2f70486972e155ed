// The status page's device lifecycle: the list of new devices with Ignore and Replace, and the
// editable ignore and stale lists of the setup section.
#include <algorithm>

#include "util/text.h"
#include "web/status_page.h"

namespace quillon::web {

namespace {

constexpr std::size_t kNewShown = 50;  // the newest this many; the table below lists every device

std::string when(const util::DateTime& t) { return t.year > 1900 ? util::formatFull(t) : std::string(); }

// Lines of a text area, trimmed, blank ones dropped.
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  for (std::string line : util::split(util::replaceAll(text, "\r", ""), "\n"))
    if (!(line = util::trim(line)).empty()) out.push_back(line);
  return out;
}

}  // namespace

void StatusPage::addNewDevices(util::FastString& page) {
  if (!lifecycle_) return;
  std::vector<std::pair<const devices::W800Device*, const devices::Sighting*>> fresh;
  std::vector<const devices::W800Device*> used;
  for (const auto& [code, d] : registry_.devices()) {
    if (!d || d->remove()) continue;
    if (d->inUse()) used.push_back(d.get());
    else fresh.emplace_back(d.get(), lifecycle_->sighting(d->dc()));
  }
  if (fresh.empty()) return;
  // Newest first; records never heard in this run or a saved one (no sighting) last.
  std::stable_sort(fresh.begin(), fresh.end(), [](const auto& a, const auto& b) {
    const util::DateTime none{};
    return (a.second ? a.second->firstSeen : none) > (b.second ? b.second->firstSeen : none);
  });
  // The devices a new one can take over, stale ones (most likely replaced) first.
  std::stable_sort(used.begin(), used.end(), [](const auto* a, const auto* b) {
    if (a->stale() != b->stale()) return a->stale();
    return util::lower(a->location()) < util::lower(b->location());
  });
  page.add("<br><div class='devices'><table class='newdevices' border='1'><tr>")
      .add(cell("New devices (heard, no location yet)", "", "8", "TABLEHEADER"))
      .add("</tr><tr>");
  for (const char* h : {"ID", "Type", "First seen", "Last seen", "Packets", "Last value", "Ignore", "Replaces"})
    page.add(cell(h, "Center", "1", "TABLEHEADER"));
  page.add("</tr>");
  std::size_t shown = 0;
  for (const auto& [d, s] : fresh) {
    if (shown++ == kNewShown) break;
    const std::string code = htmlEscape(d->dc());
    const char* cls = shown % 2 ? "TABLEROWEVEN" : "TABLEROWODD";
    std::string choices = "<select name='ReplaceFor_" + code + "'><option value=''>&mdash;</option>";
    for (const devices::W800Device* u : used) {
      // Only a device of the same kind can be what this one replaces.
      if (!d->deviceType().empty() && !u->deviceType().empty() && u->deviceType() != d->deviceType()) continue;
      choices += "<option value='" + htmlEscape(u->dc()) + "'>" + htmlEscape(u->location() + " " + u->deviceType()) +
                 " (" + htmlEscape(u->dc()) + (u->stale() ? ", stale" : "") + ")</option>";
    }
    choices += "</select>&nbsp;<input type='submit' name='Replace_" + code + "' value='Replace'>";
    page.add("<tr id='new_" + code + "'>")
        .add(cell(code, "Left", "1", cls))
        .add(cell(htmlEscape(d->deviceType()), "Left", "1", cls))
        .add(cell(s ? when(s->firstSeen) : "", "Left", "1", cls))
        .add(cell(s ? when(s->lastSeen) : "", "Left", "1", cls))
        .add(cell(s ? std::to_string(s->count) : "", "Right", "1", cls))
        .add(cell(htmlEscape(d->text()), "Left", "1", cls))
        .add(cell("<input type='submit' name='Ignore_" + code + "' value='Ignore'>", "Center", "1", cls))
        .add(cell(choices, "Left", "1", cls))
        .add("</tr>");
  }
  if (fresh.size() > kNewShown)
    page.add("<tr>").add(cell(std::to_string(fresh.size() - kNewShown) + " older ones in the table below", "", "8", "TABLEROWODD")).add("</tr>");
  page.add("</table></div>");
}

void StatusPage::addLifecycleLists(util::FastString& page) {
  if (!lifecycle_) return;
  std::string ignored, counts;
  for (const std::string& p : lifecycle_->ignorePatterns()) {
    ignored += htmlEscape(p) + "\n";
    counts += htmlEscape(p) + ": " + std::to_string(lifecycle_->ignoredPackets(p)) + " packets since the start<br>";
  }
  std::string stale;
  for (const auto& [code, d] : registry_.devices())
    if (d && lifecycle_->staleMinutes(d->dc()) > 0)
      stale += htmlEscape(d->dc()) + "=" + std::to_string(lifecycle_->staleMinutes(d->dc())) + "\n";
  page.add("<br><table class='setup'><tr>")
      .add(cell("Device lifecycle", "", "2", "TABLEHEADER"))
      .add("</tr><tr>")
      .add(cell("Ignored codes (one a line; * and ? match any characters)", "Right", "", "TABLEROWEVEN"))
      .add(cell("<textarea name='IgnoreList' rows='4' cols='30'>" + ignored + "</textarea><br>" + counts, "Left", "",
                "TABLEROWEVEN"))
      .add("</tr><tr>")
      .add(cell("Stale after (CODE=minutes a line; others: 3 of their usual intervals)", "Right", "", "TABLEROWODD"))
      .add(cell("<textarea name='StaleList' rows='4' cols='30'>" + stale + "</textarea>", "Left", "", "TABLEROWODD"))
      .add("</tr><tr>")
      .add(cell("<input type='submit' name='SaveLifecycleLists' value='Save Lists'>", "Center", "2", "TABLEROWEVEN"))
      .add("</tr></table>");
}

bool StatusPage::lifecyclePost() {
  const auto& posted = request_->formCol();
  for (const auto& [key, pair] : posted) {
    if (util::istartsWith(key, "Ignore_")) {
      const std::string code = key.substr(7);
      const std::string problem = lifecycle_->ignore(code);
      notices_.push_back(problem.empty() ? code + " is ignored from now on (its packets are counted, nothing else)"
                                        : code + " not ignored: " + problem);
      ctx_.ini.flushIniCache();
      return true;
    }
    if (util::istartsWith(key, "Replace_")) {
      const std::string code = key.substr(8);
      const std::string old = request_->form("ReplaceFor_" + code);
      if (old.empty()) {
        notices_.push_back(code + ": choose the device it replaces first");
        return true;
      }
      const std::string problem = lifecycle_->replace(old, code);
      notices_.push_back(problem.empty() ? code + " replaces " + old + " from now on"
                                         : code + " does not replace " + old + ": " + problem);
      ctx_.ini.flushIniCache();
      return true;
    }
  }
  if (form("SaveLifecycleLists").empty() || !posted.contains("IgnoreList")) return false;
  for (const std::string& notice : lifecycle_->setIgnorePatterns(lines(form("IgnoreList")))) notices_.push_back(notice);
  // Stale minutes: the listed codes get theirs, codes no longer listed lose theirs.
  std::vector<std::string> listed;
  for (const std::string& line : lines(form("StaleList"))) {
    const std::size_t eq = line.find('=');
    const std::string code = util::trim(line.substr(0, eq));
    const double minutes = eq == std::string::npos ? 0 : util::leadingNumber(line.substr(eq + 1));
    if (!registry_.device(code)) {
      notices_.push_back("Stale after: " + code.substr(0, 40) + " is not a known device");
      continue;
    }
    if (minutes < 1 || minutes > 525600) {
      notices_.push_back("Stale after: " + code + " needs minutes from 1 to 525600");
      continue;
    }
    lifecycle_->setStaleMinutes(code, static_cast<int>(minutes));
    listed.push_back(util::upper(code));
  }
  for (const auto& [code, d] : registry_.devices())
    if (d && lifecycle_->staleMinutes(d->dc()) > 0 &&
        std::find(listed.begin(), listed.end(), util::upper(d->dc())) == listed.end())
      lifecycle_->setStaleMinutes(d->dc(), 0);
  lifecycle_->checkStale();
  if (!ctx_.ini.flushIniCache()) notices_.push_back("The settings file could not be written");
  return true;
}

}  // namespace quillon::web
