#include "sdr/rtl433_decoder.h"

#include "core/node_context.h"
#include "decode/families/family_common.h"
#include "decode/receive_processor.h"
#include "sdr/rtl433_generic.h"
#include "sdr/rtl433_packets.h"

namespace quillon::sdr {
namespace {

// Rejects deep nesting before parsing: rtl_433 objects are flat (a "rows" list at most).
bool shallow(std::string_view line, int limit) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (char c : line) {
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > limit) return false;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return true;
}

}  // namespace

Rtl433Decoder::Outcome Rtl433Decoder::decodeLine(std::string_view line, std::string& detail) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return Outcome::Repeat;  // blank lines carry nothing
  auto refuse = [&](const std::string& why) {
    ++malformed_;
    detail = "rtl_433 line refused: " + why;
    env_.ctx.logEvent("SDR line refused: " + why);
    return Outcome::Malformed;
  };
  if (line.size() > kMaxLine) return refuse("longer than " + std::to_string(kMaxLine) + " bytes");
  if (line[start] != '{') return refuse("not a JSON object (" + std::to_string(line.size()) + " bytes)");
  if (!shallow(line, kMaxNesting)) return refuse("nested too deep");
  nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
  if (j.is_discarded() || !j.is_object()) return refuse("not valid JSON (" + std::to_string(line.size()) + " bytes)");
  const auto model = j.find("model");
  if (model == j.end() || !model->is_string() || model->get_ref<const std::string&>().empty())
    return refuse("no model");

  std::string why;
  if (std::optional<NodePacket> p = nodePacket(j, why)) {
    detail = model->get<std::string>() + ": " + decode::hexDump(p->bytes);
    const std::optional<bool> taken = sink_(p->bits, p->bytes, detail);
    if (!taken) return Outcome::Busy;
    if (*taken) ++packets_;
    return Outcome::Packet;
  }
  if (!why.empty()) detail = model->get<std::string>() + " not rebuilt as a packet (" + why + "): generic records";
  return generic(j, detail);
}

Rtl433Decoder::Outcome Rtl433Decoder::generic(const nlohmann::json& j, std::string& detail) {
  const std::vector<GenericReading> readings = genericReadings(j, env_.ctx.settings.metric);
  std::string key = genericDeviceCode(j);
  for (const GenericReading& r : readings) key += "|" + r.text;
  // The same reading again within the debounce interval (a repeat of one transmission, or the
  // same packet from another receiver) counts once.
  const std::int64_t now = env_.ctx.platform.clock().monotonicMs();
  if (key == lastKey_ && now - lastAtMs_ < std::max(0, env_.ctx.settings.debounceInterval)) {
    lastAtMs_ = now;
    detail += (detail.empty() ? "" : " | ") + std::string("Debounce Discard of ") + genericDeviceCode(j);
    return Outcome::Repeat;
  }
  lastKey_ = std::move(key);
  lastAtMs_ = now;
  if (detail.empty()) detail = genericDeviceCode(j);
  for (const GenericReading& r : readings) {
    decode::detail::Reading reading{r.code, r.code, r.type, r.text, r.display, "rtl_433 " + r.code};
    decode::detail::sensorReport(env_, std::string_view{}, detail, reading);
  }
  ++packets_;
  return Outcome::Generic;
}

}  // namespace quillon::sdr
