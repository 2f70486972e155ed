#pragma once
// Helpers shared by the family decoders: byte access, the sensor report and its BSC event.
#include <string>
#include <string_view>

#include "decode/families/decoders.h"

namespace quillon::decode::detail {

inline unsigned byteAt(std::string_view d, std::size_t k) {  // k from 1
  return static_cast<unsigned char>(d[k - 1]);
}
inline unsigned hi(unsigned b) { return (b >> 4) & 15; }
inline unsigned lo(unsigned b) { return b & 15; }
std::string hex(unsigned b);

// True when the packet has at least `need` bytes; otherwise appends the rejection remark.
bool requireBytes(std::string_view data, std::size_t need, const char* name, std::string& detail);

// The debounce rule: true when the event is accepted (remark and LastEventKey updated).
bool debounce(DecodeEnv& env, const std::string& dc, const std::string& eventText, const std::string& key,
              std::string& detail);

// "xapbsc.event", section "input.state": State, DisplayText (the record's DeviceString), Text.
void sendBscEvent(DecodeEnv& env, const devices::W800Device& d, const std::string& state);
void queueTag(DecodeEnv& env, const devices::W800Device& d);

std::string ignoredText(const std::string& name, std::string_view data);

struct Reading {
  std::string code;         // record code
  std::string addressCode;  // code shown in the description line
  std::string type;         // DeviceType
  std::string text;         // new Text
  std::string display;      // display text for the status image
  std::string reportName;   // name in the "Ignored" remark
  std::string extra = {};   // appended to the " | code = text" remark
};

// The RFXCOM sensor report: status image always refreshed, event only on a change.
void sensorReport(DecodeEnv& env, std::string_view data, std::string& detail, const Reading& r,
                  bool tagOnlyWhenInUse = false);
// The Oregon report: status image refreshed only with a published change. `state` is the event's
// State item; battery members note an unchanged value in the description line.
void oregonReport(DecodeEnv& env, std::string_view data, std::string& detail, const Reading& r,
                  const std::string& state = "ON", bool battery = false);

}  // namespace quillon::decode::detail
