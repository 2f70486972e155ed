#include "rflink/link_status.h"

#include <cstdio>

namespace quillon::rflink {
namespace {

std::string clockText(const util::DateTime& t, const util::DateTime& today) {
  char buf[32];
  if (t.year == today.year && t.month == today.month && t.day == today.day)
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

}  // namespace

std::string LinkStatus::summary(const util::DateTime& today) const {
  const bool sdr = role == "sdr";
  std::string who = role == "transmitter" ? "Transmitter" : sdr ? "SDR receiver" : "Receiver";
  if (!configured) return who + " not configured";
  std::string out = who + (open ? " open on " : " closed: ") + where;
  if (haveSince) out += " since " + clockText(since, today);
  out += " \xC2\xB7 " + std::to_string(bytes) + " bytes";
  if (sdr) out += ", " + std::to_string(lines) + " lines";
  if (role != "transmitter") {
    out += ", " + std::to_string(packets) + " packets";
    if (haveLastPacket) out += ", last packet " + clockText(lastPacket, today);
  }
  out += " \xC2\xB7 " + std::to_string(reconnects) +
         (sdr ? (reconnects == 1 ? " restart" : " restarts") : reconnects == 1 ? " reconnect" : " reconnects");
  return out;
}

}  // namespace quillon::rflink
