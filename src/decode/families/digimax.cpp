// The 44-bit Digimax thermostat.
#include <array>

#include "decode/families/family_common.h"
#include "util/text.h"

namespace quillon::decode {
using namespace detail;

namespace {

constexpr std::array<const char*, 8> kDigimaxStatus = {
    "Heating without setpoint", "Heating on", "Heating off", "Heating initializing",
    "Cooling without setpoint", "Cooling on", "Cooling off", "Cooling initializing"};

// Updates one Digimax record and sends its event; false when the registry refused the code.
void digimaxRecord(DecodeEnv& env, std::string_view packet, std::string& detail, const std::string& dc,
                   const std::string& suffix, const std::string& type, const std::string& text,
                   const std::string& state) {
  const std::string code = dc + suffix;
  // Its check is a 4-bit sum: one random packet in sixteen passes it.
  if (!env.registry.addW800Unit(code, devices::FamilyChecks::Weak)) return;
  devices::W800Device* d = env.registry.device(code);
  if (!d) return;
  env.registry.report(*d, {.type = type, .text = text, .shown = text});
  detail += " | " + code + " = " + text;
  if (d->inUse())
    sendBscEvent(env, *d, state);
  else
    detail += " | Digimax " + util::hexString(packet) + " Ignored because location not defined for sensor " + code;
  queueTag(env, *d);
}

}  // namespace

void decodeDigimax44(DecodeEnv& env, std::string_view data, std::string& detail) {
  if (!requireBytes(data, 6, "Digimax", detail)) return;
  const std::string_view packet = data.substr(0, 6);
  const unsigned b1 = byteAt(data, 1), b2 = byteAt(data, 2), b3 = byteAt(data, 3);
  const unsigned b4 = byteAt(data, 4), b5 = byteAt(data, 5), b6 = byteAt(data, 6);
  // The address nibbles and the state nibble (high half of byte 3) sum to 0xF modulo 16.
  if (((hi(b1) + lo(b1) + hi(b2) + lo(b2) + hi(b3) + lo(b3)) & 0x0F) != 0x0F) {
    detail += " | Digimax " + util::hexString(packet) + " Ignored because address parity mismatch ";
    return;
  }
  const std::string dc = hex(b1) + hex(b2);
  const unsigned status = ((b5 & 0x40) / 16) | ((b3 >> 4) & 3);
  const std::string state = (b3 & 0x30) == 0x10 ? "ON" : "OFF";
  digimaxRecord(env, packet, detail, dc, "_M", "Status", kDigimaxStatus[status], state);
  if ((((hi(b4) + lo(b4) + hi(b5) + lo(b5)) & 0x0F) ^ (b6 >> 4)) != 0x0F) {
    detail += " | Digimax " + util::hexString(packet) + " Ignored because temperature parity mismatch ";
    return;
  }
  // The thermostat counts whole degrees Celsius; like every other temperature record its value
  // follows the Metric setting (a Fahrenheit node showed and announced Celsius as Fahrenheit).
  auto temperature = [&](unsigned celsius) {
    return env.ctx.settings.metric ? std::to_string(celsius) : formatOneDecimal(celsius * 1.8 + 32);
  };
  digimaxRecord(env, packet, detail, dc, "_S", "Temperature", temperature(b5 & 0x3F), "ON");
  digimaxRecord(env, packet, detail, dc, "", "Temperature", temperature(b4), "ON");
}

}  // namespace quillon::decode
