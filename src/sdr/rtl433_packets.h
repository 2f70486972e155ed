#pragma once
// rtl_433 readings of device families the serial receiver also hears, rebuilt as the packet that
// receiver would have delivered (data bytes in its order, checksums included), so the same family
// decoder makes the same records, codes and xAP messages of them.
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace quillon::sdr {

struct NodePacket {
  int bits = 0;       // the packet's bit count, as the serial receiver's count byte gives it
  std::string bytes;  // its data bytes, byte 1 first
};

// The packet for one rtl_433 JSON object; nothing when its model is not one of these families or
// a field the packet needs is missing or out of range (then `why` says which).
std::optional<NodePacket> nodePacket(const nlohmann::json& reading, std::string& why);

struct MappedModel {
  const char* model;   // rtl_433's "model"
  const char* family;  // what the node makes of it
};
// Every model rebuilt as a packet, for the documentation and the tests.
const std::vector<MappedModel>& mappedModels();

}  // namespace quillon::sdr
