#include "decode/family_decoder.h"

namespace quillon::decode {

#define QUILLON_DECODER(fn) void fn(DecoderRegistry&, DecoderEnv&);
#include "decode/decoder_list.h"
#undef QUILLON_DECODER

void registerAllDecoders([[maybe_unused]] DecoderRegistry& registry, [[maybe_unused]] DecoderEnv& env) {
#define QUILLON_DECODER(fn) fn(registry, env);
#include "decode/decoder_list.h"
#undef QUILLON_DECODER
}

const char* familyName(PacketFamily f) {
  switch (f) {
    case PacketFamily::X10Rf32: return "X10 RF";
    case PacketFamily::DoorSwitch34: return "door switch";
    case PacketFamily::X10Security41: return "X10 security 41 bit";
    case PacketFamily::Digimax44: return "Digimax";
    case PacketFamily::RfxPower48: return "RFXPower";
    case PacketFamily::OregonScale56: return "OS scale 56 bit";
    case PacketFamily::OregonCA48: return "OS CA48";
    case PacketFamily::OregonUV64: return "OS UV 64 bit";
    case PacketFamily::OregonScale64: return "OS scale 64 bit";
    case PacketFamily::OregonEA4C: return "OS EA4C";
    case PacketFamily::OregonWind: return "OS wind";
    case PacketFamily::OregonTempHum80: return "OS temperature/humidity";
    case PacketFamily::Oregon0A4D: return "OS 0A4D";
    case PacketFamily::Oregon1A3D: return "OS 1A3D";
    case PacketFamily::Oregon2A1D: return "OS 2A1D";
    case PacketFamily::Oregon5A5D: return "OS 5A5D";
    case PacketFamily::Oregon3A0D: return "OS 3A0D";
    case PacketFamily::Oregon5A6D: return "OS 5A6D";
    case PacketFamily::OregonUV120: return "OS UV 120 bit";
    case PacketFamily::RfxSensorInfo40: return "RFXCOM sensor info";
    case PacketFamily::OregonClock104: return "OS clock";
    case PacketFamily::OregonUVN800: return "OS UVN800";
    case PacketFamily::OregonPCR800: return "OS PCR800";
    case PacketFamily::VisonicPowerCode36: return "Visonic PowerCode";
    case PacketFamily::VisonicCodeSecure66: return "Visonic CodeSecure";
    case PacketFamily::HomeEasyPreset38: return "HomeEasy preset";
  }
  return "unknown";
}

}  // namespace quillon::decode
