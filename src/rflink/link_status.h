#pragma once
// What a user needs to see of one RF link: whether it is open and since when, what came in, and
// how often it had to be reopened.
#include <cstdint>
#include <string>

#include "util/date_time.h"

namespace quillon::rflink {

struct LinkStatus {
  std::string role;        // "receiver", "transmitter" or "sdr" (the rtl_433 receiver)
  std::string kind;        // how it is reached when not "serial" or "tcp": "rtl_433", "file"
  bool configured = false;  // a port is set
  bool open = false;
  bool tcp = false;
  std::string where;       // "/dev/ttyUSB0" or "192.168.1.50:4001"
  bool haveSince = false;
  util::DateTime since;    // when it last opened or closed
  std::uint64_t bytes = 0;       // bytes received
  std::uint64_t lines = 0;       // JSON lines received (sdr)
  std::uint64_t packets = 0;     // packets decoded (receiver, sdr)
  bool haveLastPacket = false;
  util::DateTime lastPacket;
  std::uint64_t reconnects = 0;  // opens after a loss (sdr: restarts of rtl_433)

  // "open", "closed" or "not configured".
  std::string stateText() const { return !configured ? "not configured" : open ? "open" : "closed"; }
  // One line for the IO window and the status page, e.g. "Receiver open on /dev/ttyUSB0 since
  // 08:43:12 · 1234 bytes, 56 packets, last packet 08:50:01 · 0 reconnects" (times of another
  // day than `now` carry their date).
  std::string summary(const util::DateTime& now) const;
};

}  // namespace quillon::rflink
