// HomeEasy dim levels (38 bits). The receiver delivers the bits in the order they were sent, the
// first in the top bit of byte 1: the remote's 26-bit address, the group bit, the dim mark (where
// an on/off command has its command bit), the unit (4 bits, units 1-16 sent as 0-15), the level
// (4 bits, 0-15), then two bits the receiver adds. The on/off form of the same remote is the
// 34-bit door switch packet.
#include <cmath>
#include <cstdio>

#include "decode/families/family_common.h"
#include "util/text.h"

namespace quillon::decode {
using namespace detail;

namespace {

struct Field {
  unsigned byte, shift, mask;
  unsigned of(std::string_view d) const { return (byteAt(d, byte) >> shift) & mask; }
};
constexpr Field kGroup{4, 5, 1}, kUnit{4, 0, 15}, kLevel{5, 4, 15};
constexpr unsigned kLevels = 15;

}  // namespace

bool decodeHomeEasyPreset38(DecodeEnv& env, std::string_view data, std::string& detail) {
  if (!requireBytes(data, 5, "HomeEasy", detail)) return false;
  const std::string_view packet = data.substr(0, 5);
  const unsigned address = byteAt(data, 1) << 18 | byteAt(data, 2) << 10 | byteAt(data, 3) << 2 | byteAt(data, 4) >> 6;
  const unsigned level = kLevel.of(data);
  char code[16];
  std::snprintf(code, sizeof code, "%07X", address);
  const std::string unit = kGroup.of(data) ? "G" : std::to_string(kUnit.of(data) + 1);
  const std::string dc = std::string(code) + "_" + unit;
  const int percent = static_cast<int>(std::lround(level * 100.0 / kLevels));
  const std::string text = std::to_string(percent);
  if (!debounce(env, dc, "level " + std::to_string(level) + "/15", dc + text, detail)) return true;
  // The protocol has no check: a new remote needs a second sighting.
  if (!env.registry.addW800Unit(dc, devices::FamilyChecks::Weak)) return true;
  devices::W800Device* d = env.registry.device(dc);
  if (!d) return true;
  const auto status = level ? devices::kDeviceStatusOn : devices::kDeviceStatusOff;
  // Level 0 shows as off, in words and picture.
  env.registry.report(*d, {.status = status, .type = "Dimmer", .text = text, .shown = level ? text + "%" : "OFF", .stamp = true});
  if (d->inUse())
    sendBscEvent(env, *d, level ? "ON" : "OFF");
  else
    detail += ignoredText("HomeEasy", packet);
  queueTag(env, *d);
  return true;
}

}  // namespace quillon::decode
