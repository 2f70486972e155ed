#pragma once
// The packet-family decoders: X10 RF, X10 security, PC remote, Visonic keyfob, door switch,
// Digimax thermostat, RFXMeter, RFXCOM sensors, Oregon Scientific sensors, Visonic PowerCode and
// CodeSecure, HomeEasy dim levels.
//
// Every entry point takes the packet's data bytes (count byte removed, byte 1 = data[0]) and the
// description line of the current receive event, to which it appends its remarks (each starting
// with " | "). A decoder checks its packet (length, complements, parity, checksums, decimal
// digits) before it touches any record; a packet that fails leaves one remark and no other trace.
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "core/node_context.h"
#include "decode/families/oregon_checks.h"
#include "devices/device_registry.h"
#include "devices/device_timers.h"
#include "decode/families/decode_reports.h"
#include "devices/onoff_reporter.h"

namespace quillon::decode {

// What every decoder may use, plus the little state the decoders keep between packets.
struct DecodeEnv {
  core::NodeContext& ctx;
  devices::DeviceRegistry& registry;
  devices::OnOffReporter& reporter;
  devices::DeviceTimers& timers;
  DecodeReports& reports;                                     // device events and IR signals
  std::function<void(const std::string& tag)> queueTagEvent;  // may be empty
  // Debounce for decoders called directly (tools, tests); the receive processor's own debounce,
  // given once, takes its place.
  std::function<bool()> restartDebounce;  // restarts the debounce timer; true when it was running
  std::string lastEventKey = {};          // key of the last accepted debounced event
  Debounce* debounce = nullptr;
  std::string lastX10Unit = {};           // unit of the last X10 on/off command (dim, bright)
  // Degrees Celsius the humidity of an RFXCOM analogue sensor is compensated with until the
  // sensor's own temperature probe has been heard.
  double rfxTemperature = 0;
  // The last temperature of each RFXCOM sensor, by base address (rfxBaseAddress).
  std::map<unsigned, double> rfxTemperatures = {};
};

// The decoders' context over the node's parts; the tag queue and a debounce of its own are added
// by the caller where it has them.
inline DecodeEnv makeDecodeContext(core::NodeContext& ctx, devices::DeviceRegistry& registry, devices::OnOffReporter& reporter,
                                   devices::DeviceTimers& timers, DecodeReports& reports,
                                   std::function<void(const std::string& tag)> queueTagEvent = {},
                                   std::function<bool()> restartDebounce = {}) {
  return DecodeEnv{ctx, registry, reporter, timers, reports, std::move(queueTagEvent), std::move(restartDebounce)};
}

// An RFXCOM sensor sends its temperature, analogue reading, supply voltage and status from four
// addresses that differ in the low two bits of both address bytes; the base address has them clear.
inline unsigned rfxBaseAddress(unsigned b1, unsigned b2) { return (b1 & 0xFC) << 8 | (b2 & 0xFC); }

// ---- 32-bit and other non-Oregon families -------------------------------------------------

// n = 32: X10 RF, PC remote, X10 security, Visonic form or RFXCOM sensor, told apart by bytes
// 1-4. True when recognised (the framing consumes the packet); false: not complements.
bool decode32Bit(DecodeEnv& env, std::string_view data, std::string& detail);
// n = 34: door switch. True when decoded (record accepted).
bool decodeDoorSwitch34(DecodeEnv& env, std::string_view data, std::string& detail);
// n = 41: X10 security with parity. True when accepted; false: drop one byte.
bool decodeSecurity41(DecodeEnv& env, std::string_view data, std::string& detail);
// n = 44: Digimax thermostat.
void decodeDigimax44(DecodeEnv& env, std::string_view data, std::string& detail);
// n = 48: an RFXMeter: the reading of its RFXPwr module, or one of its control packets (its
// identification, a new interval or address, a reset), which are noted and make no reading.
void decodeRfxPower48(DecodeEnv& env, std::string_view data, std::string& detail);
// n = 36: a Visonic PowerCode sensor: alert or restore, tamper and low battery reported on the
// sensor's status, tamper and battery records. True when the packet passed its check.
bool decodeVisonicPowerCode36(DecodeEnv& env, std::string_view data, std::string& detail);
// n = 66: a Visonic CodeSecure keyfob: the button pressed, reported like a remote key.
bool decodeVisonicCodeSecure66(DecodeEnv& env, std::string_view data, std::string& detail);
// n = 38: a HomeEasy remote's dim level for one unit (or its group), reported as a dimmer value.
bool decodeHomeEasyPreset38(DecodeEnv& env, std::string_view data, std::string& detail);

// ---- RFXCOM sensors (called by decode32Bit; exported for tests and tools) --------------------

// Temperature in degrees Celsius, or NaN when the packet was rejected.
double rfxTemperature(DecodeEnv& env, std::string_view data, std::string& detail);
void rfxSupplyVoltage(DecodeEnv& env, std::string_view data, std::string& detail);
void rfxAnalog(DecodeEnv& env, std::string_view data, double temperatureC, std::string& detail);
// n = 40: "SEN", the sensor number and the 1-wire family code it found. False for other packets.
bool decodeRfxSensorInfo40(DecodeEnv& env, std::string_view data, std::string& detail);

// ---- Oregon Scientific --------------------------------------------------------------------

// One value per row of the Oregon decoders-per-type table. The framing picks the row (bit count,
// type id, checksum check, all in oregon_checks.h); decodeOregon runs the row's decoders in order
// with the row's rolling code (byte 4, or (byte 4 / 2) AND 7 for 0A4D) and pressure offset, which
// this table alone defines.
enum class OregonType {
  Scale56,     // 56 bits: first scale
  CA48,        // >= 60 bits, id CA48 (check E)
  UV64,        // 64 bits, check A passes
  Scale64,     // 64 bits, check A fails, low half of byte 1 = 3: second scale
  EA4C,        // 68 or 80 bits, id EA4C (check E)
  Wind1A89,    // >= 80 bits, id 1A89/1A99 (check C)
  TempHum80,   // 80 bits, id ?ACC, CA2C, 1A2D, FA28 (check B)
  T0A4D,       // 80 bits, id 0A4D (check B)
  T1A3D,       // 80 bits, id 1A3D (check B)
  Rain2A1D,    // 84 bits (check D)
  Baro5A5D,    // 88 bits (check F)
  Wind3A0D,    // 88 bits (check C)
  Baro5A6D,    // 96 bits (check F)
  UV120,       // 120 bits, check A passes
  UVN800,      // 72 bits, id DA78
  PCR800,      // 92 bits, id 2A19
};

void decodeOregon(DecodeEnv& env, OregonType type, std::string_view data, std::string& detail);
// n = 104, id ?AEC: the date and time a radio-controlled clock sends, noted in the description
// line. False when its checksum or a digit is wrong.
bool decodeOregonClock104(DecodeEnv& env, std::string_view data, std::string& detail);

// The checksum checks are in oregon_checks.h.

// ---- shared helpers (exported for tests) ----------------------------------------------------

// x rounded to `digits` decimals, halves to even.
double roundHalfEven(double x, int digits);
// One decimal, always with a decimal part ("21.0").
std::string formatOneDecimal(double x);
// Two decimals, always with two decimal digits ("29.90").
std::string formatTwoDecimals(double x);
std::string windCompass(double degrees);
std::string compassText(int degrees);

}  // namespace quillon::decode
