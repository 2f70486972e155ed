// Visonic PowerCode sensors (36 bits) and CodeSecure keyfobs (66 bits). The receiver delivers the
// bits in the order they were sent, the first in the top bit of byte 1.
//
// PowerCode: a 24-bit sensor id (bytes 1-3), a flags byte (byte 4) and a check nibble (high half
// of byte 5) that is the XOR of the eight nibbles before it.
//
// CodeSecure (a KeeLoq code word, each field sent low bit first): a 32-bit rolling code (bits
// 1-32), the fob's 28-bit serial number (bits 33-60), its buttons S3, S0, S1, S2 (bits 61-64),
// the low-battery bit (65) and the repeat bit (66). The rolling code is encrypted; the serial
// number names the fob.
#include <cstdio>
#include <string>

#include "decode/families/family_common.h"
#include "util/text.h"

namespace quillon::decode {
using namespace detail;

namespace {

constexpr const char* kDigits[] = {"0", "1", "2", "3", "4", "5", "6", "7",
                                   "8", "9", "A", "B", "C", "D", "E", "F"};

struct Flag {
  unsigned bit;
  const char* word;  // in the description line
};
constexpr unsigned kTamper = 0x80, kAlert = 0x40, kLowBattery = 0x20;
// The flags the description line names after "alert" or "restore" (bit 6); bits 4, 3 and 1 are
// left unnamed.
constexpr Flag kPowerCodeFlags[] = {
    {kTamper, "tamper"}, {kLowBattery, "low battery"}, {0x04, "supervision"}, {0x01, "repeater"}};

// Bit k of the packet (1-based, in the order sent).
unsigned bitAt(std::string_view d, unsigned k) {
  return (byteAt(d, (k - 1) / 8 + 1) >> (7 - (k - 1) % 8)) & 1u;
}
// `count` bits from bit `first` on, the first the lowest.
unsigned lowBitFirst(std::string_view d, unsigned first, unsigned count) {
  unsigned v = 0;
  for (unsigned i = 0; i < count; ++i) v |= bitAt(d, first + i) << i;
  return v;
}

// The buttons S0 to S3 (bits 62, 63, 64 and 61 of the code word) are buttons 1 to 4.
struct Button {
  unsigned bit;
  const char* name;
};
constexpr Button kButtons[] = {{62, "Button 1"}, {63, "Button 2"}, {64, "Button 3"}, {61, "Button 4"}};

}  // namespace

bool decodeVisonicPowerCode36(DecodeEnv& env, std::string_view data, std::string& detail) {
  if (!requireBytes(data, 5, "Visonic PowerCode", detail)) return false;
  const std::string_view packet = data.substr(0, 5);
  unsigned check = 0;
  for (std::size_t k = 1; k <= 4; ++k) check ^= hi(byteAt(data, k)) ^ lo(byteAt(data, k));
  if (check != hi(byteAt(data, 5))) {
    detail += " | Visonic PowerCode " + util::hexString(packet) + " ignored because its check nibble is " +
              kDigits[hi(byteAt(data, 5))] + ", not " + kDigits[check];
    return false;
  }
  const std::string dc = hex(byteAt(data, 1)) + hex(byteAt(data, 2)) + hex(byteAt(data, 3));
  if (dc == "000000") {  // passes the check, but no sensor has this id
    detail += " | Visonic PowerCode " + util::hexString(packet) + " ignored because its id is 000000";
    return false;
  }
  const unsigned flags = byteAt(data, 4);
  std::string event = (flags & kAlert) ? "alert" : "restore";
  for (const Flag& f : kPowerCodeFlags)
    if (flags & f.bit) event += std::string(", ") + f.word;
  if (!debounce(env, dc, event, dc + hex(flags), detail)) return true;
  auto onOff = [&](unsigned bit) { return std::string((flags & bit) ? "ON" : "OFF"); };
  env.reporter.visonic(dc, "", onOff(kAlert), onOff(kLowBattery), onOff(kTamper), "Security");
  const devices::W800Device* d = env.registry.device(dc + "S");
  if (d && !d->inUse()) detail += ignoredText("Visonic PowerCode", packet);
  return true;
}

bool decodeVisonicCodeSecure66(DecodeEnv& env, std::string_view data, std::string& detail) {
  if (!requireBytes(data, 9, "Visonic CodeSecure", detail)) return false;
  const std::string_view packet = data.substr(0, 9);
  std::string key;
  for (const Button& b : kButtons)
    if (bitAt(data, b.bit)) key += (key.empty() ? "" : "+") + std::string(b.name);
  if (key.empty()) {  // a code word is sent only while a button is held
    detail += " | Visonic CodeSecure " + util::hexString(packet) + " ignored because no button is pressed";
    return false;
  }
  char serial[16];
  std::snprintf(serial, sizeof serial, "%07X", lowBitFirst(data, 33, 28));
  const std::string dc = std::string(serial) + "KF";
  const bool lowBattery = bitAt(data, 65) != 0;
  if (!debounce(env, dc, key + (lowBattery ? " (battery low)" : ""), dc + key, detail)) return true;
  // Nothing but the check above keeps random frames out: a new fob needs a second sighting.
  if (!env.registry.addW800Unit(dc, devices::FamilyChecks::Weak)) return true;
  devices::W800Device* d = env.registry.device(dc);
  if (!d) return true;
  env.registry.report(*d, {.type = "Keyfob", .text = key, .shown = key, .stamp = true});
  if (d->inUse())
    sendBscEvent(env, *d, "ON");
  else
    detail += ignoredText("Visonic CodeSecure", packet);
  queueTag(env, *d);
  return true;
}

}  // namespace quillon::decode
