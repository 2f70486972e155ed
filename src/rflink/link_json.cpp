#include "rflink/link_json.h"

#include "devices/device_json.h"

namespace quillon::rflink {

nlohmann::ordered_json linkJson(const LinkStatus& link) {
  nlohmann::ordered_json j;
  j["role"] = link.role;
  j["state"] = link.stateText();
  j["kind"] = !link.kind.empty() ? link.kind : link.tcp ? "tcp" : "serial";
  j["where"] = link.where;
  j["since"] = link.haveSince ? nlohmann::ordered_json(devices::isoDateTime(link.since)) : nlohmann::ordered_json();
  j["bytes"] = link.bytes;
  if (link.role == "sdr") j["lines"] = link.lines;
  if (link.role != "transmitter") {
    j["packets"] = link.packets;
    j["last_packet"] = link.haveLastPacket ? nlohmann::ordered_json(devices::isoDateTime(link.lastPacket)) : nlohmann::ordered_json();
    j["last_packet_at"] =
        link.haveLastPacket ? nlohmann::ordered_json(devices::isoDateTimeWithOffset(link.lastPacket)) : nlohmann::ordered_json();
  }
  j["reconnects"] = link.reconnects;
  return j;
}

}  // namespace quillon::rflink
