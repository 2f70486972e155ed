// 32-bit packets (X10 RF, PC remote, X10 security, Visonic form, RFXCOM sensors), the 34-bit door
// switch and the 41-bit X10 security form with parity.
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>

#include "decode/families/family_common.h"
#include "util/text.h"

namespace quillon::decode {
using namespace detail;

namespace {

// Index = high nibble of byte 1.
constexpr std::array<const char*, 16> kHouse = {"M", "N", "O", "P", "C", "D", "A", "B",
                                                "E", "F", "G", "H", "K", "L", "I", "J"};
// Index = ((byte 1 AND 0x04) OR (byte 3 AND 0x58)) / 4; indices 8-15 do not occur.
constexpr std::array<const char*, 24> kUnit = {"1", "9", "3", "11", "2", "10", "4", "12", "0",  "0",  "0",  "0",
                                               "0", "0", "0", "0",  "5", "13", "7", "15", "6", "14", "8", "16"};

const std::map<unsigned, const char*>& remoteKeys() {
  static const std::map<unsigned, const char*> keys = {
      {0xD0, "PC"},    {0x02, "0"},     {0x82, "1"},    {0x42, "2"},     {0xC2, "3"},     {0x22, "4"},
      {0xA2, "5"},     {0x62, "6"},     {0xE2, "7"},    {0x12, "8"},     {0x92, "9"},     {0xC0, "CH-"},
      {0x40, "CH+"},   {0xE0, "VOL-"},  {0x60, "VOL+"}, {0xA0, "MUTE"},  {0x3A, "INFO"},  {0xC9, "EXIT"},
      {0x38, "REW"},   {0xB8, "FF"},    {0xB0, "PLAY"}, {0x72, "PAUSE"}, {0x70, "STOP"},  {0xB6, "MENU"},
      {0xFF, "REC"},   {0xD8, "TEXT"},  {0xD9, "TEXT"}, {0xF2, "TELETEXT"}, {0xBA, "A+B"}, {0x52, "ENT"},
      {0xD1, "MP3"},   {0xD2, "DVD"},   {0xD3, "CD"},   {0xD4, "4"},     {0xD5, "5"},     {0xD7, "TELETEXT"},
      {0xD6, "ENT"}};
  return keys;
}

struct VisonicCode {
  const char* kind;
  const char* state;
  const char* flagL;
  const char* flagT;
};
const std::map<unsigned, VisonicCode>& visonicCodes() {
  static const std::map<unsigned, VisonicCode> codes = {
      {0x02, {"KF", "Arm Away", "", ""}}, {0x04, {"S1", "On", "", ""}},     {0x05, {"S1", "On", "On", ""}},
      {0x0C, {"S0", "On", "", ""}},       {0x0D, {"S0", "On", "On", ""}},   {0x0E, {"KF", "Arm Home", "", ""}},
      {0x26, {"KF", "Panic", "", ""}},    {0x42, {"KF", "Lights On", "", ""}}, {0x44, {"S1", "On", "", "On"}},
      {0x4C, {"S0", "On", "", "On"}},     {0x82, {"KF", "Disarm", "", ""}}, {0x84, {"S1", "Off", "", ""}},
      {0x85, {"S1", "Off", "On", ""}},    {0x8C, {"S0", "Off", "", ""}},    {0x8D, {"S0", "Off", "On", ""}},
      {0xC4, {"S1", "Off", "", "On"}},    {0xCC, {"S0", "Off", "", "On"}}};
  return codes;
}

struct X10Command {
  unsigned code;
  const char* text;
  int status;
};
// Commands that act on the last unit heard rather than on the packet's unit.
constexpr std::array<X10Command, 4> kUnitlessCommands = {
    {{0x88, "BRIGHT", 5}, {0x98, "DIM", 4}, {0x90, "All Lights On", 0}, {0x80, "All Lights Off", 1}}};

bool isRfxcomSensor(unsigned b1, unsigned b2, unsigned b3, unsigned b4) {
  const unsigned s = hi(b1) + lo(b1) + hi(b2) + lo(b2) + hi(b3) + lo(b3) + hi(b4);
  return ((s ^ b4) & 0x0F) == 0x0F && ((b1 ^ b2) & 0xF0) == 0xF0;
}

// Status codes of an RFXCOM sensor (flag bit 4 of byte 4), as far as their meaning is known.
const char* rfxcomStatusText(unsigned code) {
  switch (code) {
    case 0x02: return " (battery low)";
    case 0x83: return " (1-wire device is not a DS18B20 or DS2438)";
  }
  return "";
}

// An RFXCOM sensor packet: status (flag bit 4, from any of the sensor's addresses), temperature,
// analogue reading or supply voltage by the low two bits of byte 2. False when not recognised.
bool decodeRfxcomSensor(DecodeEnv& env, std::string_view data, std::string& detail) {
  const unsigned b1 = byteAt(data, 1), b2 = byteAt(data, 2), b3 = byteAt(data, 3), b4 = byteAt(data, 4);
  const unsigned type = b2 & 3;
  if (b4 & 0x10) {
    env.ctx.logEvent("RFXCOM Sensor " + hex(b1) + hex(b2) + " Error Status " + hex(b3) + rfxcomStatusText(b3));
    return true;
  }
  if (type == 3) {
    detail += "Discarded RFXCOM Sensor because address end with 11";
    return false;
  }
  if (type == 0) {
    const double t = rfxTemperature(env, data, detail);
    if (!std::isnan(t)) env.rfxTemperatures[rfxBaseAddress(b1, b2)] = t;
  } else if (type == 1) {
    // Compensated with the last temperature of the same sensor's own probe.
    const auto it = env.rfxTemperatures.find(rfxBaseAddress(b1, b2));
    rfxAnalog(env, data, it != env.rfxTemperatures.end() ? it->second : env.rfxTemperature, detail);
  } else {
    rfxSupplyVoltage(env, data, detail);
  }
  return true;
}

// "RF", the sensor type digit and the firmware version (bit 7: slow transmit mode), which an RFXCOM
// sensor sends once when it starts. False for any other packet.
bool decodeRfxcomSensorStart(DecodeEnv& env, std::string_view data) {
  const unsigned b3 = byteAt(data, 3), b4 = byteAt(data, 4);
  if (byteAt(data, 1) != 'R' || byteAt(data, 2) != 'F' || b3 < '0' || b3 > '9') return false;
  env.ctx.logEvent("RFXCOM Sensor started: type " + std::string(1, static_cast<char>(b3)) + ", version " +
                   hex(b4 & 0x7F) + ", " + ((b4 & 0x80) ? "slow" : "fast") + " transmit mode");
  return true;
}

void decodeX10(DecodeEnv& env, unsigned b1, unsigned b3, std::string& detail) {
  const std::string house = kHouse[b1 >> 4];
  const std::string unit = kUnit[((b1 & 0x04) | (b3 & 0x58)) / 4];
  std::string command;
  int status = 0;
  std::string dcUnit;
  bool unitless = false;
  for (const auto& c : kUnitlessCommands)
    if (c.code == b3) {
      command = c.text;
      status = c.status;
      unitless = true;
    }
  if (unitless) {
    if (env.lastX10Unit.empty()) {
      // No on/off command has named a unit yet: there is no device to dim or brighten.
      detail += " | X10 " + house + " " + command + " ignored because no unit heard yet";
      return;
    }
    dcUnit = env.lastX10Unit;
  } else {
    const bool off = (b3 & 0x20) != 0;
    command = off ? "OFF" : "ON";
    status = off ? devices::kDeviceStatusOff : devices::kDeviceStatusOn;
    env.lastX10Unit = unit;
    dcUnit = unit;
  }
  const std::string dc = house + dcUnit;
  if (!debounce(env, dc, command, dc + command, detail)) return;
  if (!env.registry.addW800Unit(dc)) return;
  devices::W800Device* d = env.registry.device(dc);
  if (!d) return;
  if (d->invert() && (status == devices::kDeviceStatusOn || status == devices::kDeviceStatusOff)) {
    status = status == devices::kDeviceStatusOn ? devices::kDeviceStatusOff : devices::kDeviceStatusOn;
    command = status == devices::kDeviceStatusOn ? "ON" : "OFF";
  }
  if (d->offTime() > 0) {
    if (status != devices::kDeviceStatusOn) return;  // an auto-off device reports only its ON
    env.timers.startOffTimer(*d);
  }
  if (env.reporter.informEvent(*d, status, command)) detail += " | Ignored because location not defined for sensor";
}

void decodePcRemote(DecodeEnv& env, std::string_view data, std::string& detail) {
  const unsigned b1 = byteAt(data, 1), b2 = byteAt(data, 2), b3 = byteAt(data, 3);
  const auto it = remoteKeys().find(b3);
  if (it == remoteKeys().end()) {
    detail += "PC Remote not recognized, discarding " + hex(b1);
    return;
  }
  const std::string dc = hex(b1) + hex(b2);
  if (!env.registry.addW800Unit(dc)) return;
  devices::W800Device* d = env.registry.device(dc);
  if (!d) return;
  const std::string key = it->second;
  const double nowSec = env.ctx.now().secondsSinceMidnight();
  // SystemTimer is a time of day: a time before it means midnight has passed since.
  const double elapsed = nowSec >= d->systemTimer() ? nowSec - d->systemTimer() : 86400.0;
  if (key == d->text() && elapsed <= env.ctx.settings.debounceInterval * 0.0005) return;
  d->setSystemTimer(static_cast<float>(nowSec));
  env.registry.report(*d, {.text = key});
  detail += " | " + dc + " = " + key;
  if (!d->inUse()) {
    detail += ignoredText("PC Remote", data.substr(0, 4));
  } else if (env.ctx.settings.irSchema) {
    env.reports.irSignal(*d, key);
  } else {
    sendBscEvent(env, *d, "ON");
  }
}

void decodeSecurity32(DecodeEnv& env, std::string_view data, std::string& detail) {
  const unsigned b3 = byteAt(data, 3);
  const std::string dc = hex(byteAt(data, 1)) + hex(byteAt(data, 2));
  const std::string state = (b3 & 0x80) ? "OFF" : "ON";
  if (!debounce(env, dc, state, dc + state, detail)) return;
  if (env.reporter.securitySensor(dc, static_cast<int>(b3))) detail += ignoredText("Security", data.substr(0, 4));
}

void decodeVisonic(DecodeEnv& env, std::string_view data, std::string& detail) {
  const auto it = visonicCodes().find(byteAt(data, 3));
  if (it == visonicCodes().end()) return;
  const VisonicCode& v = it->second;
  const std::string dc = hex(byteAt(data, 1)) + hex(byteAt(data, 2));
  const std::string kind = v.kind, state = v.state, flagL = v.flagL, flagT = v.flagT;
  const std::string eventText = kind + " " + state;
  if (!debounce(env, dc, eventText, dc + kind + state + flagL + flagT, detail)) return;
  if (kind != "KF") return;  // sensor kinds are only noted in the description line
  const std::string fob = dc + "KF";
  if (!env.registry.addW800Unit(fob)) return;
  if (!env.registry.device(fob + util::removeChar(state, ' '))) {
    env.reporter.visonic(dc, kind, state, flagL, flagT);
    return;
  }
  devices::W800Device* d = env.registry.device(fob);
  if (!d) return;
  env.registry.report(
      *d, {.status = devices::kDeviceStatusOn, .type = "Status", .text = state, .shown = state, .stamp = true});
  if (d->inUse())
    sendBscEvent(env, *d, "ON");
  else
    detail += ignoredText("Visonic KF", data.substr(0, 4));
  queueTag(env, *d);
}

}  // namespace

bool decode32Bit(DecodeEnv& env, std::string_view data, std::string& detail) {
  if (!requireBytes(data, 4, "32 bit packet", detail)) return false;
  const unsigned b1 = byteAt(data, 1), b2 = byteAt(data, 2), b3 = byteAt(data, 3), b4 = byteAt(data, 4);
  if ((b3 ^ b4) != 0xFF) {
    if (isRfxcomSensor(b1, b2, b3, b4)) return decodeRfxcomSensor(env, data, detail);
    return decodeRfxcomSensorStart(env, data);
  }
  if ((b1 ^ b2) == 0xFF) {
    if (b1 == 0xEE)
      decodePcRemote(env, data, detail);
    else
      decodeX10(env, b1, b3, detail);
  } else if ((b1 ^ b2) == 0x0F) {
    decodeSecurity32(env, data, detail);
  } else if (isRfxcomSensor(b1, b2, b3, b4) && lo(b1) == lo(b2)) {
    // A sensor reading whose bytes 3 and 4 happen to be complements (with the sensor's address
    // form: high nibbles complemented, low nibbles equal).
    return decodeRfxcomSensor(env, data, detail);
  } else if (env.ctx.settings.acceptVisonic) {
    decodeVisonic(env, data, detail);
  }
  return true;
}

bool decodeDoorSwitch34(DecodeEnv& env, std::string_view data, std::string& detail) {
  if (!requireBytes(data, 4, "DoorSwitch", detail)) return false;
  const unsigned b4 = byteAt(data, 4);
  const std::string dc = hex(byteAt(data, 1)) + hex(byteAt(data, 2)) + "_0" + hex(byteAt(data, 3)) + "_S";
  // The packet carries no check at all: every random 34-bit frame decodes.
  if (!env.registry.addW800Unit(dc, devices::FamilyChecks::Weak)) return false;
  devices::W800Device* d = env.registry.device(dc);
  if (!d) return false;
  const bool on = (b4 & 0x10) != 0;
  const std::string text = on ? "1" : "0";
  const bool changed = d->text() != text;
  const auto status = on ? devices::kDeviceStatusOn : devices::kDeviceStatusOff;
  env.registry.report(*d, changed ? devices::DeviceReading{.status = status, .type = "Switch", .text = text,
                                                           .shown = text, .stamp = true}
                                  : devices::DeviceReading{.type = "Switch", .text = text});
  detail += " | " + dc + " = " + d->text();
  const std::string hexPacket = data.size() >= 5 ? std::string(data.substr(0, 5)) : std::string(data);
  if (changed) {
    if (d->inUse())
      sendBscEvent(env, *d, on ? "ON" : "OFF");
    else
      detail += ignoredText("DoorSwitch", hexPacket);
  } else {
    detail += " | DoorSwitch " + util::hexString(hexPacket) + " Not reported because no change";
  }
  queueTag(env, *d);
  return true;
}

bool decodeSecurity41(DecodeEnv& env, std::string_view data, std::string& detail) {
  if (!requireBytes(data, 6, "Security", detail)) return false;
  const unsigned b1 = byteAt(data, 1), b2 = byteAt(data, 2), b3 = byteAt(data, 3), b4 = byteAt(data, 4);
  const int parity = std::popcount(byteAt(data, 5)) + ((byteAt(data, 6) >> 7) & 1);
  const bool goodParity = parity % 2 == 0;
  const bool addr = (b1 ^ b2) == 0x0F, cmd = (b3 ^ b4) == 0xFF;
  if (!(addr && cmd && goodParity)) {
    auto tf = [](bool v) { return v ? std::string("True") : std::string("False"); };
    detail += "Discarded 48 bit mode Security because packet criteria not satisified goodParity=" + tf(goodParity) +
              ",Parity=" + std::to_string(parity) + ",b0=" + tf(addr) + ",b1=" + tf(cmd);
    return false;
  }
  const std::string dc = hex(b1) + hex(b2);
  const std::string eventText = std::to_string(b3);
  if (debounce(env, dc, eventText, dc + eventText, detail) && env.reporter.securitySensor(dc, static_cast<int>(b3)))
    detail += ignoredText("Security", data.substr(0, 6));
  return true;
}

}  // namespace quillon::decode
