// The 48-bit RFXMeter packets: the counter of its RFXPwr module, reported as power, and the
// meter's control packets (identification, new interval or address, reset, set-up modes).
//
// Bytes 1 and 2 are the address (high nibbles complemented, low nibbles equal); bytes 3, 4 and 5
// the counter (bits 15-8, 7-0, 23-16); byte 6 the packet type (high half) and the parity (low
// half), the complement of the sum of the eleven nibbles before it.
#include <cstdio>
#include <cstdlib>

#include "decode/families/family_common.h"
#include "util/text.h"

namespace quillon::decode {
using namespace detail;

namespace {

constexpr unsigned kReading = 0x0, kIntervalSet = 0x1, kIdentification = 0xF;

struct ControlPacket {
  unsigned type;
  const char* text;
};
constexpr ControlPacket kControlPackets[] = {
    {kIntervalSet, "new interval time set"},
    {0x2, "calibration value"},
    {0x3, "new address set"},
    {0x4, "counter reset to zero"},
    {0xB, "counter value set"},
    {0xC, "set interval mode within 5 seconds"},
    {0xD, "calibration mode within 5 seconds"},
    {0xE, "set address mode within 5 seconds"},
    {kIdentification, "identification"},
};

struct Interval {
  unsigned code;
  const char* text;
};
// An RFXPower module counts the 6 and 12 minute codes as 5 and 10 minutes.
constexpr Interval kIntervals[] = {{0x01, "30 s"},   {0x02, "1 min"},  {0x04, "6 min"},  {0x08, "12 min"},
                                   {0x10, "15 min"}, {0x20, "30 min"}, {0x40, "45 min"}, {0x80, "60 min"}};

std::string intervalText(unsigned code) {
  for (const Interval& i : kIntervals)
    if (i.code == code) return i.text;
  return "code " + hex(code);
}

// The firmware version of an identification packet tells which module the meter carries.
std::string moduleOf(unsigned version) {
  if (version <= 0x3F) return "RFXPower";
  if (version >= 0xC0) return "RFXMeter";
  return "unknown module";
}

// A control packet: noted in the description line (the identification also in the log); no
// record is touched. False for a packet type without a meaning.
bool controlPacket(DecodeEnv& env, const std::string& dc, unsigned type, unsigned b3, unsigned b4, unsigned counter,
                   std::string& detail) {
  for (const ControlPacket& c : kControlPackets) {
    if (c.type != type) continue;
    std::string text = "RFXMeter " + dc + " " + c.text;
    if (type == kIdentification) {
      text += ": " + moduleOf(b3) + ", firmware version " + hex(b3) + ", interval " + intervalText(b4);
      env.ctx.logEvent(text);
    } else if (type == kIntervalSet) {
      text += ": " + intervalText(b3);
    } else if (type == 0x2 || type == 0xB) {
      text += ": " + std::to_string(counter);
    }
    detail += " | " + text;
    return true;
  }
  return false;
}

}  // namespace

void decodeRfxPower48(DecodeEnv& env, std::string_view data, std::string& detail) {
  if (!requireBytes(data, 6, "RFXPower", detail)) return;
  const std::string_view packet = data.substr(0, 6);
  const unsigned b1 = byteAt(data, 1), b2 = byteAt(data, 2), b3 = byteAt(data, 3);
  const unsigned b4 = byteAt(data, 4), b5 = byteAt(data, 5), b6 = byteAt(data, 6);
  if (lo(b1) != lo(b2) || ((b1 ^ b2) & 0xF0) != 0xF0) {
    detail += "Discarded Power because upper nibble of address bytes not complemented";
    return;
  }
  // The packet type takes part in the parity: for a reading (type 0) it adds nothing.
  unsigned sum = hi(b6);
  for (std::size_t k = 1; k <= 5; ++k) sum += hi(byteAt(data, k)) + lo(byteAt(data, k));
  if (((sum & 0x0F) ^ lo(b6)) != 0x0F) {
    detail += "Discarded Power because parity invalid";
    return;
  }
  const std::string dc = hex(b1) + hex(b2);
  const unsigned counter = b5 * 65536u + b3 * 256u + b4;
  if (hi(b6) != kReading) {
    if (!controlPacket(env, dc, hi(b6), b3, b4, counter, detail))
      detail += " | RFXPower type " + std::to_string(hi(b6)) + " not decoded";
    return;
  }
  if (!env.registry.addW800Unit(dc)) return;
  devices::W800Device* d = env.registry.device(dc);
  if (!d) return;
  const float cal = env.ctx.settings.sensorCal == 0.0f ? 1.0f : env.ctx.settings.sensorCal;
  const float power = static_cast<float>(counter) * cal;
  // A single-precision reading shows its 7 significant digits, not the float's binary tail
  // (1234 x 1.1 is 1357.4, not 1357.40002441406).
  char digits[32];
  std::snprintf(digits, sizeof digits, "%.7g", static_cast<double>(power));
  const std::string text = util::formatNumber(std::strtod(digits, nullptr));
  env.registry.report(*d, {.type = "Watt", .text = text, .shown = text + "&nbsp;Watts"});
  detail += " | RFXPower " + d->text();
  if (d->inUse())
    sendBscEvent(env, *d, "ON");
  else
    detail += ignoredText("RFXPower", packet);
  queueTag(env, *d);
}

}  // namespace quillon::decode
