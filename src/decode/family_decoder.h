#pragma once
// The packet families the receive processor tells apart, the packet a decoder gets, and the
// decoder interface with its registry. Each decoder file provides one registration function and
// adds one line to decoder_list.h.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "decode/families/decode_reports.h"

namespace quillon::core {
struct NodeContext;
}

namespace quillon::decode {

// One value per row of the dispatch by bit count (and, for Oregon packets, by type id).
enum class PacketFamily {
  X10Rf32,          // 32 bits: X10 RF, X10 security, PC remote, Visonic keyfob, RFXCOM sensors
  DoorSwitch34,     // 34 bits
  X10Security41,    // 41 bits, with parity
  Digimax44,        // 44 bits
  RfxPower48,       // 48 bits
  OregonScale56,    // 56 bits: first scale form, scale id = high half of byte 2
  OregonCA48,       // >= 60 bits, id CA48: temperature, battery status
  OregonUV64,       // 64 bits, check A passes: UV, battery status
  OregonScale64,    // 64 bits, check A fails, low half of byte 1 = 3: second scale form
  OregonEA4C,       // 68 or 80 bits, id EA4C: temperature, battery status
  OregonWind,       // >= 80 bits, id 1A89/1A99: wind direction, gust, speed, battery status
  OregonTempHum80,  // 80 bits, id ?ACC, CA2C, 1A2D or FA28: temperature, humidity, battery status
  Oregon0A4D,       // 80 bits: temperature, battery status, rc = (byte 4 / 2) & 7
  Oregon1A3D,       // 80 bits, id 1A3D or FAB8: temperature, humidity, battery level
  Oregon2A1D,       // 84 bits: rain
  Oregon5A5D,       // 88 bits: temperature, humidity, barometer (offset 795), battery status
  Oregon3A0D,       // 88 bits: three-digit wind, battery level
  Oregon5A6D,       // 96 bits: temperature, humidity, barometer (offset 856), battery level
  OregonUV120,      // 120 bits, check A passes: UV, battery status
  RfxSensorInfo40,  // 40 bits: an RFXCOM sensor names the 1-wire chip it found
  OregonClock104,   // 104 bits, id ?AEC: date and time of a radio-controlled clock
  OregonUVN800,     // 72 bits, id DA78: UV, battery status
  OregonPCR800,     // 92 bits, id 2A19: rain rate and total, battery status
  VisonicPowerCode36,   // 36 bits: Visonic PowerCode security sensor
  VisonicCodeSecure66,  // 66 bits: Visonic CodeSecure keyfob
  HomeEasyPreset38,     // 38 bits: HomeEasy dim level
};

const char* familyName(PacketFamily f);

// One framed packet. Bytes are numbered from 1 like the packet layouts; the count byte of 48-bit
// mode is not part of data.
struct Packet {
  std::string_view data;  // exactly the packet's data bytes
  int bits = 32;          // bit count n (32 in 32-bit mode)
  int countByte = -1;     // the count byte in 48-bit mode, -1 in 32-bit mode
  bool mode48 = false;

  unsigned byte(std::size_t k) const {
    return k >= 1 && k <= data.size() ? static_cast<unsigned char>(data[k - 1]) : 0u;
  }
  unsigned id16() const { return byte(1) * 256 + byte(2); }
  unsigned id12() const { return id16() & 0xFFF; }
};

// What a decoder may use of the processor while it decodes.
// The receive event a decoder works in: its description line and the debounce.
class DecodeContext : public Debounce {
 public:
  // The description line of the current receive event; remarks start with " | ".
  virtual std::string& packetDetail() = 0;
};

class FamilyDecoder {
 public:
  virtual ~FamilyDecoder() = default;
  // True when the packet was recognised and decoded: the processor then consumes it.
  virtual bool decode(const Packet& packet, DecodeContext& ctx) = 0;
};

struct DecodeEnv;  // the device, reporting and xAP services the family decoders work with

// What decoders are built from. Without services (a tool that only frames) no family decoder
// registers, and every packet is reported as of an unknown family.
struct DecoderEnv {
  core::NodeContext& ctx;
  DecodeEnv* services = nullptr;
};

class DecoderRegistry {
 public:
  void add(PacketFamily family, std::shared_ptr<FamilyDecoder> decoder) { decoders_[family] = std::move(decoder); }
  FamilyDecoder* find(PacketFamily family) const {
    auto it = decoders_.find(family);
    return it == decoders_.end() ? nullptr : it->second.get();
  }
  bool empty() const { return decoders_.empty(); }

 private:
  std::map<PacketFamily, std::shared_ptr<FamilyDecoder>> decoders_;
};

// Runs every registration function listed in decoder_list.h.
void registerAllDecoders(DecoderRegistry& registry, DecoderEnv& env);

}  // namespace quillon::decode
