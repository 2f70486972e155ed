#include "devices/device_registry.h"

#include <exception>

#include "util/text.h"

namespace quillon::devices {

namespace {

// A code as it can appear in a log line: control bytes shown as "?".
std::string printable(const std::string& s) {
  std::string out = s.substr(0, 64);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
}

const char* verdictText(DiscoveryGate::Verdict v) {
  switch (v) {
    case DiscoveryGate::Verdict::AwaitSecondSighting: return "waiting for a second sighting";
    case DiscoveryGate::Verdict::RateLimited: return "too many new devices this minute";
    case DiscoveryGate::Verdict::TableFull: return "the device table is full";
    default: return "";
  }
}

}  // namespace

DeviceRegistry::DeviceRegistry(core::NodeContext& ctx) : ctx_(ctx), flushTimer_(ctx.platform.loop()) {
  flushTimer_.setHandler([this] { flushNow(); });
}

void DeviceRegistry::scheduleFlush() {
  if (!flushTimer_.isActive() && ctx_.ini.hasDirty()) flushTimer_.start(platform::Millis(kFlushDelayMs), false);
}

void DeviceRegistry::flushNow() {
  flushTimer_.stop();
  try {
    // A failed write leaves the file's image dirty, so the next flush tries again.
    if (!ctx_.ini.flushIniCache()) ctx_.logEvent("AddW800Unit: the settings file could not be written");
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "AddW800Unit", e.what());
  }
}

std::string DeviceRegistry::codeProblem(const std::string& code) const {
  // The code becomes a key of the settings file; these would make the line unreadable or read
  // back under another key.
  if (code.empty()) return "the code is empty";
  if (code.size() > 100) return "the code is longer than 100 characters";
  if (util::trim(code) != code) return "the code has blanks at its ends";
  if (code.front() == '[' || code.front() == ';') return "the code starts with '[' or ';'";
  for (char c : code) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return "the code holds a control character";
    if (c == '=' || c == '~' || c == '"' || c == '\\') return std::string("the code holds '") + c + "'";
  }
  return "";
}

bool DeviceRegistry::addW800Unit(const std::string& code, FamilyChecks checks) {
  const bool debug = ctx_.settings.debugLog;
  bool result = false;
  try {
    if (debug) ctx_.logDebug("AddW800Unit at " + code);
    if (admission_ && !admission_(code)) {
      if (debug) ctx_.logDebug("AddW800Unit ignored " + code);
      return false;
    }
    if (DevicePtr* existing = devices_.find(code)) {
      result = true;
      if (heard_) heard_(**existing);
      if (debug) ctx_.logDebug("AddW800Unit Existing Device at " + code + " on DC " + (*existing)->dc());
    } else if (ctx_.settings.disableDiscovery) {
      result = false;
    } else if (std::string problem = codeProblem(code); !problem.empty()) {
      ctx_.logEvent("AddW800Unit rejected device code '" + printable(code) + "': " + problem);
    } else if (const auto verdict = gate_.check(code, checks == FamilyChecks::Weak, devices_.size(),
                                                ctx_.platform.clock().monotonicMs());
               verdict != DiscoveryGate::Verdict::Admit) {
      ++heldBack_;
      ctx_.logEvent("AddW800Unit: new device " + printable(code) + " not added, " + verdictText(verdict) + " (" +
                    std::to_string(heldBack_) + " held back so far)");
    } else {
      auto d = std::make_shared<W800Device>();
      d->setDc(code);
      d->setVersion("W800");
      d->setInUse(false);
      d->setLocation("");
      d->setEventNotification(false);
      d->setTag("");
      d->setDeviceLastChange(ctx_.now());
      if (code.size() < 4) {
        d->setUid("");
        d->setBsc(false);
      } else {
        d->setUid(deviceUidSuffix(code));
        d->setBsc(true);
      }
      ctx_.ini.saveIniSetting(kUnitsSection, code, d->properties(), core::kSettingsFile);
      devices_.insert(code, d);
      if (debug) ctx_.logDebug("AddW800Unit New Device at " + code);
      announce(DeviceChange::Kind::Added, *d, d->state());
      if (heard_) heard_(*d);
      result = true;
    }
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "AddW800Unit", e.what());
  }
  try {
    rebuildTagsIfStale();
    // Written within kFlushDelayMs together with whatever else changes meanwhile.
    scheduleFlush();
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "AddW800Unit", e.what());
  }
  return result;
}

bool DeviceRegistry::report(W800Device& d, const DeviceReading& r) {
  const DeviceState before = d.state();
  ++revision_;
  if (r.status) d.setDeviceStatus(*r.status);
  if (r.type) d.setDeviceType(*r.type);
  if (r.text) d.setText(*r.text);
  if (r.shown) d.setShown(*r.shown, r.picture ? *r.picture : d.deviceType());
  if (r.shownAsIs) d.setShownAsIs(*r.shownAsIs);
  if (r.stamp) d.setDeviceLastChange(ctx_.now());
  if (d.state() == before) {
    // Heard again with the same state: a remote's second press, a sensor's repeated value (which
    // the history keeps as a reading).
    if (r.stamp || r.text || r.status) announce(DeviceChange::Kind::Repeated, d, before);
    return false;
  }
  announce(DeviceChange::Kind::Changed, d, before);
  return true;
}

void DeviceRegistry::edited(const W800Device& d, const DeviceState& before, bool removed) {
  announce(removed ? DeviceChange::Kind::Removed : DeviceChange::Kind::Edited, d, before);
}

bool DeviceRegistry::forget(const std::string& code) {
  DevicePtr d = devicePtr(code);
  if (!d) return false;
  announce(DeviceChange::Kind::Forgotten, *d, d->state());
  devices_.erase(code);
  for (DevicePtr& timer : offTimerDevices_)
    if (timer == d) timer.reset();  // the slot stays: timer indexes are positions in this list
  ctx_.ini.removeIniSetting(kUnitsSection, d->dc(), core::kSettingsFile);
  ctx_.ini.removeIniSetting(kValuesSection, d->dc(), core::kSettingsFile);
  buildTagDictionary();
  scheduleFlush();
  return true;
}

void DeviceRegistry::availabilityChanged(const W800Device& d) {
  announce(DeviceChange::Kind::Availability, d, d.state());
}

int DeviceRegistry::subscribe(ChangeListener listener) {
  listeners_.emplace_back(nextListenerId_, std::move(listener));
  return nextListenerId_++;
}

void DeviceRegistry::unsubscribe(int id) {
  std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void DeviceRegistry::announce(DeviceChange::Kind kind, const W800Device& d, const DeviceState& before) {
  ++revision_;
  const DeviceChange change{kind, ++version_, d, before, d.state()};
  // A listener may subscribe or unsubscribe while it is told: walk a copy.
  const auto listeners = listeners_;
  for (const auto& [id, listener] : listeners) {
    try {
      listener(change);
    } catch (const std::exception& e) {
      ctx_.log.logError("Quillon", "DeviceChange " + d.dc(), e.what());
    }
  }
}

W800Device* DeviceRegistry::device(const std::string& code) {
  DevicePtr* p = devices_.find(code);
  return p ? p->get() : nullptr;
}

DevicePtr DeviceRegistry::devicePtr(const std::string& code) {
  DevicePtr* p = devices_.find(code);
  return p ? *p : nullptr;
}

void DeviceRegistry::buildTagDictionary() {
  try {
    tags_.clear();
    sharedTags_.clear();
    for (const auto& [code, d] : devices_) {
      if (!d || d->tag().empty()) continue;
      if (tags_.contains(d->tag())) {
        ctx_.logEvent("BuildTagDictionary Tag " + d->tag() + " is used more than once");
        sharedTags_.insertOrAssign(d->tag(), false);
      } else {
        tags_.insert(d->tag(), d);
      }
    }
    builtTagEpoch_ = W800Device::tagEpoch();
    builtTableSize_ = devices_.size();
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "BuildTagDictionary", e.what());
  }
}

void DeviceRegistry::rebuildTagsIfStale() {
  // Tags change only through W800Device::setTag (which bumps the epoch) and records are only
  // added, so an unchanged epoch and size mean the index is still what a rebuild would give.
  if (builtTagEpoch_ != W800Device::tagEpoch() || builtTableSize_ != devices_.size()) buildTagDictionary();
}

W800Device* DeviceRegistry::findByTag(const std::string& tag) {
  rebuildTagsIfStale();
  DevicePtr* p = tags_.find(tag);
  if (!p) return nullptr;
  if (bool* reported = sharedTags_.find(tag); reported && !*reported) {
    *reported = true;
    ctx_.logEvent("Tag " + tag + " is used by more than one device; using DC " + (*p)->dc());
  }
  return p->get();
}

bool DeviceRegistry::tagIsShared(const std::string& tag) const { return sharedTags_.contains(tag); }

std::string unescapeStored(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"' || text[i + 1] == '[')) {
      out += text[++i];
    } else if (c != '"') {
      out += c;
    }
  }
  return out;
}

void DeviceRegistry::loadDevices() {
  initIniSection(kUnitsSection, core::kSettingsFile);
  try {
    for (const std::string& code : ctx_.ini.sectionKeys(kValuesSection, core::kSettingsFile))
      if (W800Device* d = device(code); d && d->text().empty())
        d->setText(ctx_.ini.getIniSetting(kValuesSection, code, "", core::kSettingsFile));
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "LoadValues", e.what());
  }
  buildTagDictionary();
}

void DeviceRegistry::initIniSection(const std::string& section, const std::string& file) {
  std::string text;
  try {
    text = ctx_.ini.getIniSection(section, file);
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "InitIniSection", e.what());
    return;
  }
  text = unescapeStored(text);
  if (text.empty()) return;
  int n = 0;
  for (const std::string& piece : util::split(text, std::string_view("\0", 1))) {
    const std::size_t eq = piece.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = util::trim(piece.substr(0, eq));
    if (key.empty()) continue;
    setIniSectionValue(section, std::to_string(n), key, piece.substr(eq + 1));
    ++n;
  }
}

void DeviceRegistry::setIniSectionValue(const std::string&, const std::string&, const std::string& key,
                                        const std::string& value) {
  try {
    DevicePtr d = devicePtr(key);
    if (!d) {
      d = std::make_shared<W800Device>();
      devices_.insert(key, d);
    }
    const PropertiesReport report = d->setProperties(value, ctx_.now());
    // Logged once per record, with the stored text, so nothing the file held is lost unseen.
    if (!report.ok()) ctx_.logEvent("SetIniSectionValue " + key + ": " + report.text() + " (stored as " + value + ")");
    const bool needsTimer = d->offTime() >= 1 && d->timerIndex() <= 0;
    d->setDc(key);
    d->setVersion("W800");
    if (!d->tag().empty()) {
      tags_.erase(d->tag());
      tags_.insert(d->tag(), d);
      builtTagEpoch_ = ~std::uint64_t{0};  // the index now differs from a rebuild
    }
    if (needsTimer) allocateOffTimer(d);
    devices_.erase(key);
    devices_.insert(key, d);
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "SetIniSectionValue", e.what());
  }
}

void DeviceRegistry::saveLastChange() {
  for (const auto& [code, d] : devices_) {
    try {
      if (d) ctx_.ini.saveIniSetting(kUnitsSection, code, d->properties(), core::kSettingsFile);
      if (d && !d->text().empty()) {
        std::string value = d->text();
        for (char& c : value)
          if (c == '\0' || c == '\r' || c == '\n') c = ' ';
        ctx_.ini.saveIniSetting(kValuesSection, code, value, core::kSettingsFile);
      }
    } catch (const std::exception& e) {
      ctx_.log.logError("Quillon", "SaveLastChange " + code, e.what());
    }
  }
}

W800Device* DeviceRegistry::offTimerDevice(int index) {
  if (index < 1 || static_cast<std::size_t>(index) > offTimerDevices_.size()) return nullptr;
  return offTimerDevices_[static_cast<std::size_t>(index) - 1].get();
}

int DeviceRegistry::allocateOffTimer(const DevicePtr& device) {
  if (!device) return 0;
  if (offTimerCount_ == INT16_MAX) {
    ctx_.logEvent("No auto-off timer left for device " + device->dc());
    return 0;
  }
  ++offTimerCount_;
  device->setTimerIndex(offTimerCount_);
  offTimerDevices_.push_back(device);
  if (offTimerHook_) offTimerHook_(offTimerCount_, *device);
  return offTimerCount_;
}

std::string DeviceRegistry::deviceUidSuffix(const std::string& code) {
  if (code.size() == 4) return code;
  if (code.size() > 4) {
    std::string out = code.substr(0, 4);
    const std::string stripped = util::removeChar(code, '_');
    for (std::size_t i = 4; i < stripped.size(); ++i) out += util::toHex(static_cast<unsigned char>(stripped[i]));
    return out;
  }
  if (code.empty()) return "";
  const std::string rest = "00" + code.substr(1);
  return util::toHex(static_cast<unsigned char>(code[0])) + rest.substr(rest.size() - 2);
}

std::string DeviceRegistry::deviceXapUid(const W800Device& device) const {
  const std::string& node = ctx_.nodeUid;
  const std::string base = node.size() >= 2 ? node.substr(0, node.size() - 2) : node;
  return base + (device.uid().empty() ? "00" : device.uid());
}

}  // namespace quillon::devices
