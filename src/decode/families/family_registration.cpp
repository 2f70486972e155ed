// Registers the family decoders with the receive processor: one adapter per packet family, which
// shares the processor's debounce state with the decoders and hands them the packet's data bytes
// and the event's description line.
#include <functional>
#include <memory>
#include <utility>

#include "decode/families/decoders.h"
#include "decode/family_decoder.h"

namespace quillon::decode {
namespace {

using Entry = std::function<bool(DecodeEnv&, std::string_view, std::string&)>;

class FamilyAdapter final : public FamilyDecoder {
 public:
  FamilyAdapter(DecodeEnv& env, Entry entry) : env_(env), entry_(std::move(entry)) {}

  bool decode(const Packet& packet, DecodeContext& ctx) override {
    // The debounce belongs to the processor, which is the same for every call: the decoders
    // get it once.
    env_.debounce = &ctx;
    return entry_(env_, packet.data, ctx.packetDetail());
  }

 private:
  DecodeEnv& env_;
  Entry entry_;
};

Entry always(void (*fn)(DecodeEnv&, std::string_view, std::string&)) {
  return [fn](DecodeEnv& env, std::string_view data, std::string& detail) {
    fn(env, data, detail);
    return true;
  };
}

Entry oregon(OregonType type) {
  return [type](DecodeEnv& env, std::string_view data, std::string& detail) {
    decodeOregon(env, type, data, detail);
    return true;
  };
}

}  // namespace

void registerFamilyDecoders(DecoderRegistry& registry, DecoderEnv& env) {
  if (!env.services) return;
  const std::pair<PacketFamily, Entry> table[] = {
      {PacketFamily::X10Rf32, decode32Bit},
      {PacketFamily::DoorSwitch34, decodeDoorSwitch34},
      {PacketFamily::X10Security41, decodeSecurity41},
      {PacketFamily::Digimax44, always(decodeDigimax44)},
      {PacketFamily::RfxPower48, always(decodeRfxPower48)},
      {PacketFamily::OregonScale56, oregon(OregonType::Scale56)},
      {PacketFamily::OregonCA48, oregon(OregonType::CA48)},
      {PacketFamily::OregonUV64, oregon(OregonType::UV64)},
      {PacketFamily::OregonScale64, oregon(OregonType::Scale64)},
      {PacketFamily::OregonEA4C, oregon(OregonType::EA4C)},
      {PacketFamily::OregonWind, oregon(OregonType::Wind1A89)},
      {PacketFamily::OregonTempHum80, oregon(OregonType::TempHum80)},
      {PacketFamily::Oregon0A4D, oregon(OregonType::T0A4D)},
      {PacketFamily::Oregon1A3D, oregon(OregonType::T1A3D)},
      {PacketFamily::Oregon2A1D, oregon(OregonType::Rain2A1D)},
      {PacketFamily::Oregon5A5D, oregon(OregonType::Baro5A5D)},
      {PacketFamily::Oregon3A0D, oregon(OregonType::Wind3A0D)},
      {PacketFamily::Oregon5A6D, oregon(OregonType::Baro5A6D)},
      {PacketFamily::OregonUV120, oregon(OregonType::UV120)},
      {PacketFamily::RfxSensorInfo40, decodeRfxSensorInfo40},
      {PacketFamily::OregonClock104, decodeOregonClock104},
      {PacketFamily::OregonUVN800, oregon(OregonType::UVN800)},
      {PacketFamily::OregonPCR800, oregon(OregonType::PCR800)},
      {PacketFamily::VisonicPowerCode36, decodeVisonicPowerCode36},
      {PacketFamily::VisonicCodeSecure66, decodeVisonicCodeSecure66},
      {PacketFamily::HomeEasyPreset38, decodeHomeEasyPreset38},
  };
  for (const auto& [family, entry] : table)
    registry.add(family, std::make_shared<FamilyAdapter>(*env.services, entry));
}

}  // namespace quillon::decode
