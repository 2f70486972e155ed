#include "devices/device_lifecycle.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "devices/onoff_reporter.h"
#include "util/text.h"

namespace quillon::devices {

namespace {

char fold(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string key(const std::string& code) { return util::upper(code); }

// "45 s", "12 min", "3 h 5 min".
std::string duration(std::int64_t seconds) {
  if (seconds < 120) return std::to_string(seconds) + " s";
  if (seconds < 7200) return std::to_string(seconds / 60) + " min";
  return std::to_string(seconds / 3600) + " h " + std::to_string(seconds % 3600 / 60) + " min";
}

std::string patternProblem(const std::string& p) {
  if (p.empty()) return "it is empty";
  if (p.size() > 100) return "it is longer than 100 characters";
  if (p.front() == '[' || p.front() == ';') return "it starts with '[' or ';'";
  for (unsigned char c : p)
    if (c < 0x20 || c == 0x7F || c == '=' || c == '"' || c == '\\') return "it holds a character codes cannot hold";
  return "";
}

}  // namespace

bool codeMatches(std::string_view pattern, std::string_view code) {
  // Iterative glob: remember the last "*" and how much of the code it has taken.
  std::size_t p = 0, c = 0, star = std::string_view::npos, taken = 0;
  while (c < code.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(code[c]))) {
      ++p, ++c;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++, taken = c;
    } else if (star != std::string_view::npos) {
      p = star + 1, c = ++taken;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

int usualInterval(const std::vector<int>& gaps) {
  if (gaps.size() < 3) return 0;
  std::vector<int> sorted = gaps;
  std::sort(sorted.begin(), sorted.end());
  const int median = sorted[sorted.size() / 2];
  const auto regular = std::count_if(gaps.begin(), gaps.end(), [&](int g) { return g * 2 >= median && g * 2 <= median * 5; });
  if (regular * 3 < static_cast<long>(gaps.size()) * 2) return 0;
  return median <= DeviceLifecycle::kMaxIntervalS ? median : 0;
}

DeviceLifecycle::DeviceLifecycle(core::NodeContext& ctx, DeviceRegistry& registry)
    : ctx_(ctx), registry_(registry), checkTimer_(ctx.platform.loop()) {
  checkTimer_.setHandler([this] { checkStale(); });
  registry_.setAdmissionHook([this](const std::string& code) { return admit(code); });
  registry_.setHeardHook([this](W800Device& d) { heard(d); });
}

DeviceLifecycle::~DeviceLifecycle() {
  registry_.setAdmissionHook({});
  registry_.setHeardHook({});
}

std::int64_t DeviceLifecycle::nowMono() const { return ctx_.platform.clock().monotonicMs(); }

void DeviceLifecycle::start() {
  try {
    loadLists();
    loadSeen();
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "DeviceLifecycle", e.what());
  }
  checkTimer_.start(platform::Millis(kCheckMs));
}

void DeviceLifecycle::loadLists() {
  ignore_.clear();
  for (const std::string& pattern : ctx_.ini.sectionKeys(kIgnoreSection, core::kSettingsFile))
    if (patternProblem(pattern).empty()) ignore_.push_back(pattern);
  staleMinutes_.clear();
  for (const std::string& code : ctx_.ini.sectionKeys(kStaleSection, core::kSettingsFile)) {
    const double minutes = util::leadingNumber(ctx_.ini.getIniSetting(kStaleSection, code, "0", core::kSettingsFile));
    if (minutes >= 1) staleMinutes_[key(code)] = static_cast<int>(std::min(minutes, 525600.0));
  }
  identity_.clear();
  for (const std::string& code : ctx_.ini.sectionKeys(kIdentitySection, core::kSettingsFile)) {
    std::string carried = util::trim(ctx_.ini.getIniSetting(kIdentitySection, code, "", core::kSettingsFile));
    if (!carried.empty()) identity_[key(code)] = key(carried);
  }
}

void DeviceLifecycle::loadSeen() {
  const util::DateTime now = ctx_.now();
  const std::int64_t mono = nowMono();
  for (const std::string& code : ctx_.ini.sectionKeys(kSeenSection, core::kSettingsFile)) {
    W800Device* d = registry_.device(code);
    if (!d) continue;
    const auto f = util::split(ctx_.ini.getIniSetting(kSeenSection, code, "", core::kSettingsFile), "~");
    if (f.size() < 4) continue;
    Sighting s;
    const auto first = util::parseDateTime(f[0]);
    const auto last = util::parseDateTime(f[1]);
    if (!first || !last) continue;
    s.firstSeen = *first;
    s.lastSeen = *last;
    // A time in the future (the clock was set back) counts as now.
    s.lastMonoMs = mono - std::max<std::int64_t>(0, now.toEpochMs() - last->toEpochMs());
    s.count = static_cast<std::uint64_t>(std::max(0.0, util::leadingNumber(f[2])));
    const int interval = static_cast<int>(util::leadingNumber(f[3]));
    if (interval >= kMinGapS && interval <= kMaxIntervalS) {
      s.gaps.assign(3, interval);
      s.intervalS = interval;
    }
    if (f.size() >= 5 && d->familyHint().empty()) d->setFamilyHint(util::trim(f[4]));
    seen_[key(code)] = std::move(s);
  }
}

void DeviceLifecycle::save() {
  for (const auto& [code, s] : seen_) {
    const W800Device* d = registry_.device(code);
    if (!d) continue;
    try {
      ctx_.ini.saveIniSetting(kSeenSection, d->dc(),
                              util::formatFull(s.firstSeen) + "~" + util::formatFull(s.lastSeen) + "~" +
                                  std::to_string(s.count) + "~" + std::to_string(s.intervalS) + "~" + d->familyHint(),
                              core::kSettingsFile);
    } catch (const std::exception& e) {
      ctx_.log.logError("Quillon", "DeviceLifecycle " + code, e.what());
    }
  }
}

bool DeviceLifecycle::admit(const std::string& code) {
  for (const std::string& pattern : ignore_)
    if (codeMatches(pattern, code)) {
      ++ignoredCounts_[pattern];
      return false;
    }
  return true;
}

void DeviceLifecycle::heard(W800Device& d) {
  const std::int64_t mono = nowMono();
  Sighting& s = seen_[key(d.dc())];
  if (s.count == 0) {
    s.firstSeen = ctx_.now();
  } else {
    const std::int64_t gap = (mono - s.lastMonoMs) / 1000;
    if (gap < kMinGapS) {
      ++s.count;
      return;  // a repeat of the same transmission: neither a new time nor a gap
    }
    s.gaps.push_back(static_cast<int>(std::min<std::int64_t>(gap, 1'000'000'000)));
    if (s.gaps.size() > kGapsKept) s.gaps.erase(s.gaps.begin());
    s.intervalS = usualInterval(s.gaps);
  }
  ++s.count;
  s.lastSeen = ctx_.now();
  s.lastMonoMs = mono;
  if (d.stale()) {
    d.setStale(false);
    ++revision_;
    const std::string name = d.location().empty() ? d.dc() : d.dc() + " (" + d.location() + ")";
    ctx_.logEvent("Device " + name + " heard again");
    registry_.availabilityChanged(d);
    if (scriptEvent_) scriptEvent_("Heard:" + (d.tag().empty() ? d.dc() : d.tag()));
  }
}

const Sighting* DeviceLifecycle::sighting(const std::string& code) const {
  auto it = seen_.find(key(code));
  return it == seen_.end() ? nullptr : &it->second;
}

int DeviceLifecycle::staleMinutes(const std::string& code) const {
  auto it = staleMinutes_.find(key(code));
  return it == staleMinutes_.end() ? 0 : it->second;
}

void DeviceLifecycle::setStaleMinutes(const std::string& code, int minutes) {
  W800Device* d = registry_.device(code);
  if (!d) return;
  if (minutes >= 1) {
    staleMinutes_[key(code)] = minutes;
    ctx_.ini.saveIniSetting(kStaleSection, d->dc(), std::to_string(minutes), core::kSettingsFile);
  } else {
    staleMinutes_.erase(key(code));
    ctx_.ini.removeIniSetting(kStaleSection, d->dc(), core::kSettingsFile);
  }
  ++revision_;
}

int DeviceLifecycle::staleAfterSeconds(const W800Device& d) const {
  if (const int minutes = staleMinutes(d.dc()); minutes > 0) return minutes * 60;
  // X10 unit codes come from remotes and wall switches: they are heard when used, not on a rhythm.
  if (isX10Address(d.dc())) return 0;
  const Sighting* s = sighting(d.dc());
  return s && s->intervalS > 0 ? s->intervalS * kStaleIntervals : 0;
}

void DeviceLifecycle::checkStale() {
  const std::int64_t mono = nowMono();
  // Walk a copy: a subscriber may touch the table while it is told.
  std::vector<DevicePtr> all;
  all.reserve(registry_.devices().size());
  for (const auto& [code, d] : registry_.devices())
    if (d) all.push_back(d);
  for (const DevicePtr& d : all) {
    const Sighting* s = sighting(d->dc());
    const int after = d->inUse() && !d->remove() ? staleAfterSeconds(*d) : 0;
    const std::int64_t silent = s ? (mono - s->lastMonoMs) / 1000 : 0;
    const bool stale = after > 0 && s && silent > after;
    if (stale == d->stale()) continue;
    d->setStale(stale);
    ++revision_;
    const std::string name = d->location().empty() ? d->dc() : d->dc() + " (" + d->location() + ")";
    if (stale)
      ctx_.logEvent("Device " + name + " not heard for " + duration(silent) +
                    (staleMinutes(d->dc()) > 0 ? "" : ", usually every " + duration(s->intervalS)) + ": stale");
    registry_.availabilityChanged(*d);
    if (stale && scriptEvent_) scriptEvent_("Stale:" + (d->tag().empty() ? d->dc() : d->tag()));
  }
}

bool DeviceLifecycle::isIgnored(const std::string& code) const {
  return std::any_of(ignore_.begin(), ignore_.end(), [&](const std::string& p) { return codeMatches(p, code); });
}

std::uint64_t DeviceLifecycle::ignoredPackets(const std::string& pattern) const {
  auto it = ignoredCounts_.find(pattern);
  return it == ignoredCounts_.end() ? 0 : it->second;
}

std::vector<std::string> DeviceLifecycle::setIgnorePatterns(const std::vector<std::string>& patterns) {
  std::vector<std::string> notices, kept;
  for (const std::string& raw : patterns) {
    const std::string p = util::trim(raw);
    if (p.empty()) continue;
    if (const std::string problem = patternProblem(p); !problem.empty()) {
      notices.push_back("Ignore pattern \"" + p.substr(0, 40) + "\" not kept: " + problem);
      continue;
    }
    if (std::none_of(kept.begin(), kept.end(), [&](const std::string& k) { return util::iequals(k, p); }))
      kept.push_back(p);
  }
  const util::DateTime now = ctx_.now();
  std::map<std::string, std::string> added;
  for (const std::string& p : ignore_) added[p] = ctx_.ini.getIniSetting(kIgnoreSection, p, "", core::kSettingsFile);
  ctx_.ini.clearIniSection(kIgnoreSection, core::kSettingsFile);
  for (const std::string& p : kept)
    ctx_.ini.saveIniSetting(kIgnoreSection, p, added.contains(p) ? added[p] : util::formatFull(now), core::kSettingsFile);
  if (kept != ignore_) ctx_.logEvent("Ignored device codes: " + (kept.empty() ? std::string("none") : util::join(kept, ", ")));
  ignore_ = std::move(kept);
  ++revision_;
  // Records the list now covers go, unless the user has given them a place.
  std::vector<std::string> gone;
  for (const auto& [code, d] : registry_.devices()) {
    if (!d || !isIgnored(d->dc())) continue;
    if (d->inUse())
      notices.push_back(d->dc() + " matches an ignore pattern but is in use (" + d->location() +
                        "): it is kept and gets no more readings until the pattern is removed");
    else
      gone.push_back(d->dc());
  }
  for (const std::string& code : gone) {
    registry_.forget(code);
    seen_.erase(key(code));
    ctx_.ini.removeIniSetting(kSeenSection, code, core::kSettingsFile);
  }
  return notices;
}

std::string DeviceLifecycle::ignore(const std::string& code) {
  W800Device* d = registry_.device(code);
  if (!d) return code + " is not a known device";
  if (d->inUse()) return d->dc() + " is in use (" + d->location() + "): clear its location first";
  std::vector<std::string> patterns = ignore_;
  patterns.push_back(d->dc());
  const auto notices = setIgnorePatterns(patterns);
  return notices.empty() ? "" : notices.front();
}

std::string DeviceLifecycle::identityOf(const std::string& code) const {
  auto it = identity_.find(key(code));
  return it == identity_.end() ? key(code) : it->second;
}

bool DeviceLifecycle::identityMoved(const std::string& code) const {
  const std::string k = key(code);
  for (const auto& [newCode, carried] : identity_)
    if (carried == k && newCode != k) return true;
  return false;
}

std::string DeviceLifecycle::replace(const std::string& oldCode, const std::string& newCode) {
  DevicePtr from = registry_.devicePtr(oldCode), to = registry_.devicePtr(newCode);
  if (!from) return oldCode + " is not a known device";
  if (!to) return newCode + " is not a known device";
  if (from == to) return "a device cannot replace itself";
  if (to->inUse()) return to->dc() + " is already in use (" + to->location() + ")";
  const DeviceState before = to->state();
  // The user's name and options move; what the new sensor reports stays its own.
  to->setLocation(from->location());
  to->setInUse(from->inUse());
  to->setEventNotification(from->eventNotification());
  to->setIcon(from->icon());
  to->setColor(from->color());
  to->setInvert(from->invert());
  to->setX10(from->x10());
  to->setMap(from->map());
  to->setSubaddress(from->subaddress());
  if (!from->deviceType().empty()) to->setDeviceType(from->deviceType());
  if (to->familyHint().empty()) to->setFamilyHint(from->familyHint());
  const std::string tag = from->tag();
  from->setTag("");
  to->setTag(tag);
  to->setOffTime(from->offTime());
  if (to->offTime() >= 1 && to->timerIndex() < 1) registry_.allocateOffTimer(to);
  if (const int minutes = staleMinutes(from->dc()); minutes > 0) setStaleMinutes(to->dc(), minutes);
  setStaleMinutes(from->dc(), 0);
  // Same model, same rhythm: the new code starts with what the old one taught.
  Sighting& s = seen_[key(to->dc())];
  if (const Sighting* old = sighting(from->dc()); old && s.intervalS == 0) {
    s.gaps = old->gaps;
    s.intervalS = old->intervalS;
  }
  const std::string carried = identityOf(from->dc());
  identity_.erase(key(from->dc()));
  ctx_.ini.removeIniSetting(kIdentitySection, from->dc(), core::kSettingsFile);
  identity_[key(to->dc())] = carried;
  ctx_.ini.saveIniSetting(kIdentitySection, to->dc(), carried, core::kSettingsFile);
  ctx_.ini.saveIniSetting(kUnitsSection, to->dc(), to->properties(), core::kSettingsFile);
  ctx_.logEvent("Device " + to->dc() + " replaces " + from->dc() + " (" + to->location() +
                "): its name, options and identity moved to the new code");
  const std::string gone = from->dc();
  if (replaced_) replaced_(gone, to->dc());
  registry_.forget(gone);
  seen_.erase(key(gone));
  ctx_.ini.removeIniSetting(kSeenSection, gone, core::kSettingsFile);
  registry_.edited(*to, before);
  ++revision_;
  return "";
}

}  // namespace quillon::devices
