#include "script/application.h"

#include <cmath>
#include <exception>
#include <stdexcept>

#include "core/ini_cache.h"
#include "devices/device_registry.h"
#include "devices/status_picture.h"
#include "convert.h"
#include "errors.h"
#include "script/script_host.h"
#include "script/script_objects.h"
#include "script/tag_store.h"
#include "util/text.h"
#include "xap/xap_transport.h"

namespace quillon::script {

namespace {

using vbs::Args;
using vbs::Variant;

std::string text(Args a, int i) { return i < a.n ? vbs::asString(a[i]) : std::string(); }
double number(Args a, int i) { return i < a.n ? vbs::asNumber(a[i]) : 0.0; }

std::int16_t clamp16(double v) {
  if (!(v == v)) return 0;
  return static_cast<std::int16_t>(std::lround(std::fmin(32767.0, std::fmax(-32768.0, v))));
}

// A date argument: a date or number is a date serial, a text is read as the node reads dates.
std::optional<util::DateTime> dateArg(Args a, int i) {
  if (i >= a.n) return std::nullopt;
  if (a[i].isString()) return util::parseDateTime(vbs::asString(a[i]));
  if (a[i].isNumeric() || a[i].type() == vbs::VT::Date) return util::DateTime::fromSerial(vbs::asNumber(a[i]));
  return std::nullopt;
}

// What the member callbacks share; owned by them, so the object lives as long as scripts hold it.
struct State {
  ApplicationServices s;

  devices::W800Device* device(const std::string& code) {
    // Device codes are looked up exactly as given (they are stored in upper case).
    devices::W800Device* d = s.registry ? s.registry->device(code) : nullptr;
    return d && d->dc() == code ? d : nullptr;
  }
  void sendItems(const std::string& cls, const std::string& section,
                 const std::vector<std::pair<std::string, std::string>>& items) {
    if (s.sendXap) s.sendXap("", cls, section, xap::makeSendBody(items), "", "", "");
  }
  util::DateTime now() const { return s.now ? s.now() : util::DateTime{}; }
  void log(const std::string& t) const {
    if (s.log) s.log(t);
  }
};
using StateP = std::shared_ptr<State>;

// A member whose failure is caught: the script gets the default and runs on.
template <class F>
void safe(vbs::HostObject& o, const StateP& st, const char* name, Variant dflt, F body) {
  o.method(name, [st, name, dflt, body](Args a) -> Variant {
    try {
      return body(a);
    } catch (const std::exception& e) {
      st->log(std::string("Application.") + name + ": " + e.what());
    } catch (const vbs::ScriptError& e) {
      if (e.number == 445) throw;  // a member this program does not offer: the script is told
      st->log(std::string("Application.") + name + ": " + e.description);
    }
    return dflt;
  });
}

// A member that needs the running node.
template <class F>
void nodeOnly(vbs::HostObject& o, const StateP& st, const char* name, Variant dflt, F body) {
  safe(o, st, name, dflt, [st, name, body](Args a) -> Variant {
    if (!st->s.host)
      throw vbs::ScriptError{445, std::string("xap.") + name + " needs the running Quillon node", {}, 0, 0, {}, {}, {}, {}, 0};
    return body(a);
  });
}

std::shared_ptr<vbs::HostObject> build(const StateP& st) {
  auto obj = vbs::makeHostObject("Application");
  vbs::HostObject& o = *obj;
  const Variant none;
  safe(o, st, "SendUDPMessage", none, [st](Args a) {
    if (st->s.sendUdp) st->s.sendUdp(text(a, 0));
    return Variant();
  });
  safe(o, st, "SendXapMessage", none, [st](Args a) {
    if (st->s.sendXap) st->s.sendXap(text(a, 0), text(a, 1), text(a, 2), text(a, 3), text(a, 4), text(a, 5), text(a, 6));
    return Variant();
  });
  nodeOnly(o, st, "SelectXapMessage", none, [st](Args a) {
    st->s.host->selectXapMessage(text(a, 0), text(a, 1), text(a, 2), text(a, 3), text(a, 4));
    return Variant();
  });
  nodeOnly(o, st, "GetXapMessage", Variant::object(nullptr), [st](Args a) {
    return st->s.host->getXapMessage(text(a, 0));
  });
  nodeOnly(o, st, "DeSelectXapMessage", none, [st](Args a) {
    st->s.host->deselectXapMessage(text(a, 0), text(a, 1), text(a, 2), text(a, 3), text(a, 4));
    return Variant();
  });
  nodeOnly(o, st, "InitScriptControl", none, [st](Args) {
    st->s.host->requestInitScriptControl();
    return Variant();
  });
  nodeOnly(o, st, "ReadScript", none, [st](Args) {
    st->s.host->readScript();
    return Variant();
  });
  safe(o, st, "WriteLog", none, [st](Args a) {
    st->sendItems("Homeseer.Event", "Event.Log", {{"Time", util::formatGeneral(st->now())}, {"Type", text(a, 0)}, {"Data", text(a, 1)}});
    return Variant();
  });
  safe(o, st, "FlushIniCache", none, [st](Args) {
    if (st->s.ini) st->s.ini->flushIniCache();
    return Variant();
  });
  safe(o, st, "ClearINISection", none, [st](Args a) {
    if (st->s.ini) st->s.ini->clearIniSection(text(a, 0), text(a, 1));
    return Variant();
  });
  safe(o, st, "GetINISection", Variant::str(""), [st](Args a) {
    return Variant::str(st->s.ini ? st->s.ini->getIniSection(text(a, 0), text(a, 1)) : "");
  });
  safe(o, st, "GetIniSetting", Variant::str(""), [st](Args a) {
    return Variant::str(st->s.ini ? st->s.ini->getIniSetting(text(a, 0), text(a, 1), text(a, 2), text(a, 3)) : text(a, 2));
  });
  safe(o, st, "SaveIniSetting", none, [st](Args a) {
    if (st->s.ini) st->s.ini->saveIniSetting(text(a, 0), text(a, 1), text(a, 2), text(a, 3));
    return Variant();
  });
  safe(o, st, "GetAppPath", Variant::str(""), [st](Args) { return Variant::str(st->s.appPath); });
  nodeOnly(o, st, "Spawn", Variant::object(nullptr), [st](Args a) { return st->s.host->spawn(text(a, 0), text(a, 1), text(a, 2)); });
  nodeOnly(o, st, "Run", none, [st](Args a) {
    st->s.host->run(text(a, 0));
    return Variant();
  });
  nodeOnly(o, st, "RunEx", none, [st](Args a) { return st->s.host->runEx(text(a, 0), text(a, 1), a.n > 2 ? a[2] : Variant()); });
  nodeOnly(o, st, "TagList", Variant::object(nullptr), [st](Args a) -> Variant {
    DeviceClass* rec = st->s.tags ? st->s.tags->find(text(a, 0)) : nullptr;
    if (!rec) return Variant::object(nullptr);
    std::vector<std::pair<std::string, std::string>> keys;
    for (const std::string& k : rec->messageKeyList) keys.emplace_back(k, k);
    return vbs::makeObject(makeCollection(std::move(keys)));
  });
  nodeOnly(o, st, "Request", Variant::object(nullptr), [st](Args a) -> Variant {
    const std::string tag = text(a, 0);
    if (devices::W800Device* d = st->s.registry ? st->s.registry->findByTag(tag) : nullptr)
      return vbs::makeObject(makeCollection({{"value", d->deviceStatus() == devices::kDeviceStatusOn ? "ON" : "OFF"},
                                             {"lastchange", util::formatGeneral(d->deviceLastChange())}}));
    if (DeviceClass* rec = st->s.tags ? st->s.tags->find(tag) : nullptr) return vbs::makeObject(makeCollection(rec->messageList));
    return Variant::object(nullptr);
  });
  nodeOnly(o, st, "LastChange", none, [st](Args a) {
    DeviceClass* rec = st->s.tags ? st->s.tags->find(text(a, 0)) : nullptr;
    return Variant::date((rec ? rec->reportedLastChange() : st->now()).toSerial());
  });
  nodeOnly(o, st, "Sequence", Variant::lng(-1), [st](Args a) {
    DeviceClass* rec = st->s.tags ? st->s.tags->find(text(a, 0)) : nullptr;
    return Variant::lng(rec ? rec->reportedSequence() : -1);
  });
  nodeOnly(o, st, "Sunrise", Variant::str(""), [st](Args) { return Variant::str(st->s.sunrise ? st->s.sunrise() : ""); });
  nodeOnly(o, st, "Sunset", Variant::str(""), [st](Args) { return Variant::str(st->s.sunset ? st->s.sunset() : ""); });
  safe(o, st, "X10", none, [st](Args a) {
    st->sendItems("xap-x10.request", "xap-x10.request", {{"device", text(a, 0)}, {"command", text(a, 1)}, {"count", text(a, 2)}});
    return Variant();
  });
  safe(o, st, "Response", none, [st](Args a) {
    if (st->s.log) st->s.log("Tag " + text(a, 0) + " no response function supported");
    return Variant();
  });
  nodeOnly(o, st, "NightTime", Variant::boolean(true), [st](Args a) {
    return Variant::boolean(nightTime(st->now(), st->s.sunrise ? st->s.sunrise() : "", st->s.sunset ? st->s.sunset() : "", number(a, 0)));
  });
  // History(code, fromTime, toTime[, step]): a 2-D array, a(i, 0) the time and a(i, 1) the value
  // (the state's text where there is no number) of row i, oldest first; no rows: UBound(a) = -1.
  nodeOnly(o, st, "History", Variant(), [st](Args a) -> Variant {
    if (!st->s.history) throw std::runtime_error("history is not kept by this node");
    if (a.n < 2) throw std::runtime_error("History needs a device code and a start time");
    const util::DateTime from = util::DateTime::fromSerial(vbs::toDate(a[1]));
    const util::DateTime to = util::DateTime::fromSerial(a.n > 2 ? vbs::toDate(a[2]) : st->now().toSerial());
    std::vector<HistoryRow> rows;
    std::string error;
    if (!st->s.history(text(a, 0), from, to, a.n > 3 ? text(a, 3) : "raw", rows, error)) throw std::runtime_error(error);
    auto* arr = new vbs::ArrayData();
    const auto n = static_cast<std::int32_t>(rows.size());
    arr->bounds = {{0, n}, {0, 2}};
    arr->data.resize(static_cast<std::size_t>(n) * 2);
    for (std::int32_t i = 0; i < n; ++i) {
      arr->data[i] = Variant::date(rows[i].time.toSerial());
      arr->data[i + n] = rows[i].value ? Variant::dbl(*rows[i].value) : Variant::str(rows[i].state);
    }
    return Variant::array(arr);
  });
  nodeOnly(o, st, "DeviceValue", Variant::lng(0), [st](Args a) {
    devices::W800Device* d = st->device(text(a, 0));
    return Variant::lng(d ? d->status() : 0);
  });
  nodeOnly(o, st, "SetDeviceValue", none, [st](Args a) {
    if (devices::W800Device* d = st->device(text(a, 0)))
      st->s.registry->report(*d, {.status = clamp16(number(a, 1))});
    return Variant();
  });
  nodeOnly(o, st, "DeviceString", Variant::str(""), [st](Args a) {
    devices::W800Device* d = st->device(text(a, 0));
    return Variant::str(d ? devices::statusPicture(*d) : "");
  });
  nodeOnly(o, st, "SetDeviceString", none, [st](Args a) {
    if (devices::W800Device* d = st->device(text(a, 0))) st->s.registry->report(*d, {.shownAsIs = text(a, 1)});
    return Variant();
  });
  nodeOnly(o, st, "SetDeviceStatus", none, [st](Args a) {
    if (devices::W800Device* d = st->device(text(a, 0)))
      st->s.registry->report(*d, {.status = clamp16(number(a, 1))});
    return Variant();
  });
  nodeOnly(o, st, "IsOn", Variant::boolean(false), [st](Args a) {
    devices::W800Device* d = st->device(text(a, 0));
    return Variant::boolean(d && d->deviceStatus() == devices::kDeviceStatusOn);
  });
  nodeOnly(o, st, "IsOff", Variant::boolean(false), [st](Args a) {
    devices::W800Device* d = st->device(text(a, 0));
    return Variant::boolean(d && d->deviceStatus() == devices::kDeviceStatusOff);
  });
  nodeOnly(o, st, "DeviceStatus", Variant::integer(17), [st](Args a) {
    devices::W800Device* d = st->device(text(a, 0));
    return Variant::integer(d ? d->deviceStatus() : 17);
  });
  nodeOnly(o, st, "DeviceLastChange", none, [st](Args a) {
    devices::W800Device* d = st->device(text(a, 0));
    return Variant::date((d ? d->deviceLastChange() : st->now()).toSerial());
  });
  nodeOnly(o, st, "SetDeviceLastChange", none, [st](Args a) {
    devices::W800Device* d = st->device(text(a, 0));
    if (auto when = dateArg(a, 1); d && when) d->setDeviceLastChange(*when);
    return Variant();
  });
  safe(o, st, "WebLoggedInUser", Variant::str(""), [](Args) { return Variant::str(""); });
  safe(o, st, "Version", Variant::str(kObjectModelVersion), [](Args) { return Variant::str(kObjectModelVersion); });
  safe(o, st, "SystemUpTime", Variant::str(""), [](Args) { return Variant::str(""); });
  return obj;
}

}  // namespace

std::shared_ptr<vbs::HostObject> makeApplicationObject(const ApplicationServices& services) {
  return build(std::make_shared<State>(State{services}));
}

std::optional<double> parseTimeOfDay(const std::string& textIn) {
  std::string t = util::trim(textIn);
  if (std::size_t sp = t.find(' '); sp != std::string::npos && t.find('/') < sp) t = util::trim(t.substr(sp + 1));
  if (std::size_t tpos = t.find('T'); tpos != std::string::npos && tpos == 10) t = t.substr(11);
  int h = 0, m = 0, s = 0, used = 0;
  if (std::sscanf(t.c_str(), "%d:%d%n", &h, &m, &used) < 2) return std::nullopt;
  std::string rest = t.substr(static_cast<std::size_t>(used));
  if (!rest.empty() && rest[0] == ':') {
    int more = 0;
    if (std::sscanf(rest.c_str(), ":%d%n", &s, &more) < 1) return std::nullopt;
    rest = rest.substr(static_cast<std::size_t>(more));
  }
  rest = util::lower(util::trim(rest));
  if (rest == "pm" && h < 12) h += 12;
  else if (rest == "am" && h == 12) h = 0;
  else if (!rest.empty() && rest != "am" && rest != "pm") return std::nullopt;
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return std::nullopt;
  return h * 3600.0 + m * 60.0 + s;
}

bool nightTime(const util::DateTime& now, const std::string& sunrise, const std::string& sunset, double offsetMinutes) {
  std::optional<double> rise = parseTimeOfDay(sunrise), set = parseTimeOfDay(sunset);
  if (!rise || !set) return true;
  const double t = now.secondsSinceMidnight();
  return t <= *rise - offsetMinutes * 60.0 || t >= *set + offsetMinutes * 60.0;
}

}  // namespace quillon::script
