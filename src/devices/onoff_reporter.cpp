#include "devices/onoff_reporter.h"

#include <cctype>
#include <exception>

#include "util/text.h"

namespace quillon::devices {

namespace {

// Bit 0 of a sensor's command byte is its low battery; bit 7 is set for "normal" and clear for
// "alert", so a sensor record is on while it alerts.
enum class OnWhen { Bit0, Bit7Clear, Always, Never };

struct SecurityRow {
  std::vector<int> bytes;
  const char* suffix;
  OnWhen on;
  bool alwaysEvent;
};

// Command byte -> records updated, in table order. A byte may update two records.
const std::vector<SecurityRow>& securityTable() {
  static const std::vector<SecurityRow> rows = {
      {{0, 1, 4, 5, 65, 69, 128, 129, 132, 133, 193, 197}, "B", OnWhen::Bit0, false},
      {{0, 1, 128, 129}, "D", OnWhen::Bit7Clear, false},
      {{4, 5, 132, 133}, "", OnWhen::Bit7Clear, false},
      {{2, 6, 10, 14}, "A", OnWhen::Always, false},
      {{130, 134}, "A", OnWhen::Never, false},
      {{3, 34, 38}, "P", OnWhen::Always, true},
      {{12, 140}, "", OnWhen::Bit7Clear, false},
      {{28}, "T", OnWhen::Always, false},
      {{32, 240}, "K", OnWhen::Always, false},
      {{248}, "K", OnWhen::Never, false},
      {{43}, "H", OnWhen::Always, false},
      {{64, 65, 192, 193}, "E", OnWhen::Bit7Clear, false},
      {{66, 70}, "L", OnWhen::Always, false},
      {{194, 198}, "L", OnWhen::Never, false},
      {{68, 69, 76, 196, 197, 204}, "F", OnWhen::Bit7Clear, false},
      {{224}, "M", OnWhen::Always, true},
  };
  return rows;
}

bool onFor(OnWhen rule, int command) {
  switch (rule) {
    case OnWhen::Bit0: return (command & 1) != 0;
    case OnWhen::Bit7Clear: return (command & 0x80) == 0;
    case OnWhen::Always: return true;
    case OnWhen::Never: return false;
  }
  return false;
}

const char* kBscEvent = "xapbsc.event";
const char* kBscInfo = "xapbsc.info";

}  // namespace

bool isX10Address(const std::string& code) {
  if (code.size() < 2 || code.size() > 3) return false;
  char house = static_cast<char>(std::toupper(static_cast<unsigned char>(code[0])));
  if (house < 'A' || house > 'P') return false;
  for (std::size_t i = 1; i < code.size(); ++i)
    if (code[i] < '0' || code[i] > '9') return false;
  int unit = std::stoi(code.substr(1));
  return unit >= 1 && unit <= 16;
}

OnOffReporter::OnOffReporter(core::NodeContext& ctx, DeviceRegistry& registry, DeviceTimers& timers,
                             DevicePublisher& publisher)
    : ctx_(ctx), registry_(registry), timers_(timers), publisher_(publisher) {}

// The command byte tells a door contact (0x00/0x04 with the battery and normal bits) from a
// motion sensor (0x0C/0x8C), so a record without a type can still be announced as the right kind.
void OnOffReporter::noteFamily(const std::string& code, int command) {
  const int kind = command & 0x7E;
  const char* family = kind == 0x0C ? "motion" : (kind == 0x00 || kind == 0x04) ? "door" : nullptr;
  if (!family) return;
  for (const std::string& c : {code, code + "D"})
    if (W800Device* d = registry_.device(c); d && d->familyHint() != family) d->setFamilyHint(family);
}

bool OnOffReporter::securitySensor(const std::string& code, int command) {
  if (command < 0 || command > 248) return false;
  noteFamily(code, command);  // before the reports, so that their announcements carry it
  bool any = false, allIgnored = true;
  for (const SecurityRow& row : securityTable()) {
    bool listed = false;
    for (int b : row.bytes) listed = listed || b == command;
    if (!listed) continue;
    any = true;
    allIgnored = specialX10Sensor(code + row.suffix, onFor(row.on, command), row.alwaysEvent) && allIgnored;
  }
  noteFamily(code, command);  // records this packet created
  return any && allIgnored;
}

void OnOffReporter::publishX10(const W800Device& device, const std::string& code, const std::string& text) {
  if (device.x10() && isX10Address(code))
    publisher_.sendXap("xap-x10.event", "xap-x10.event", {{"event", text}, {"device", code}});
  if (!device.map().empty())
    publisher_.sendXap("xap-x10.request", "xap-x10.request", {{"command", text}, {"device", device.map()}});
  if (!device.tag().empty()) publisher_.queueTagEvent(device.tag());
}

bool OnOffReporter::specialX10Sensor(const std::string& code, bool on, bool alwaysEvent) {
  try {
    if (!registry_.addW800Unit(code)) return false;
    W800Device* d = registry_.device(code);
    if (!d) return false;
    const bool reportOn = d->invert() != on;
    const int status = reportOn ? kDeviceStatusOn : kDeviceStatusOff;
    const std::string text = reportOn ? "ON" : "OFF";
    const bool event = alwaysEvent || d->deviceStatus() != status;
    const bool counting = isCountingDevice(*d);
    // A counting device's picture is its count, which the water count draws.
    const auto newStatus = static_cast<std::int16_t>(status);
    registry_.report(*d, counting ? DeviceReading{.status = newStatus, .stamp = true}
                                  : DeviceReading{.status = newStatus, .shown = text, .picture = "Motion", .stamp = true});
    bool skipPublish = false;
    if (counting) {
      timers_.computeWaterCount(*d);
      skipPublish = !reportOn;
    }
    if (!d->inUse()) return true;
    if (!skipPublish) {
      if (d->bsc()) publisher_.sendXapBsc(code, event ? kBscEvent : kBscInfo);
      publishX10(*d, code, text);
    }
    return false;
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "SpecialX10Sensor", e.what());
    return false;
  }
}

bool OnOffReporter::informEvent(W800Device& device, int status, const std::string& text) {
  try {
    const std::string code = util::upper(device.dc());
    const bool event = device.deviceStatus() != status;
    registry_.report(device,
                     {.status = static_cast<std::int16_t>(status), .shown = text, .picture = "Motion", .stamp = true});
    if (!device.inUse()) return true;
    if (device.bsc()) publisher_.sendXapBsc(code, event ? kBscEvent : kBscInfo);
    publishX10(device, code, text);
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "InformEvent", e.what());
  }
  return false;
}

void OnOffReporter::visonic(const std::string& code, const std::string& unit, const std::string& status,
                            const std::string& battery, const std::string& tamper, const std::string& statusType) {
  try {
    if (!battery.empty()) visonicUnit(code + unit + "B", "Battery", battery);
    if (!tamper.empty()) visonicUnit(code + unit + "T", "Tamper", tamper);
    visonicUnit(code + unit + "S", statusType, status);
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "Visonic", e.what());
  }
}

void OnOffReporter::visonicUnit(const std::string& code, const std::string& type, const std::string& text) {
  try {
    if (!registry_.addW800Unit(code)) return;
    W800Device* d = registry_.device(code);
    if (!d) return;
    bool on = util::upper(text) == "ON";
    if (d->invert()) on = !on;
    const int status = on ? kDeviceStatusOn : kDeviceStatusOff;
    const bool event = d->deviceStatus() != status;
    DeviceReading r{.status = static_cast<std::int16_t>(status), .shown = text, .picture = type, .stamp = true};
    if (d->deviceType().empty()) r.type = type;
    registry_.report(*d, r);
    if (!d->inUse()) return;
    publisher_.sendXapBscAs(*d, event ? kBscEvent : kBscInfo, type, text);
    if (!d->tag().empty()) publisher_.queueTagEvent(d->tag());
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "VisonicUnit", e.what());
  }
}

}  // namespace quillon::devices
