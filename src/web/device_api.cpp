#include "web/device_api.h"

#include "util/text.h"

namespace quillon::web {

namespace {

std::string errorBody(const std::string& error, const std::string& code = "") {
  nlohmann::ordered_json j;
  j["error"] = error;
  if (!code.empty()) j["code"] = code;
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

bool deviceApi(const std::string& path, const devices::DeviceRegistry& registry, const devices::DeviceView& view,
               http::ApiReply& reply, const LinkStatusFn& links) {
  static const std::string kApi = "/api/", kDevices = "/api/devices";
  if (!util::istartsWith(path, kApi) && !util::iequals(path, "/api")) return false;
  // Text that is not valid UTF-8 (a device code from a bad packet) is replaced, never thrown on.
  constexpr auto kReplace = nlohmann::json::error_handler_t::replace;
  if (links && (util::iequals(path, "/api/links") || util::iequals(path, "/api/links/"))) {
    nlohmann::ordered_json j;
    for (const rflink::LinkStatus& link : links()) j[link.role] = rflink::linkJson(link);
    reply = {200, j.dump(-1, ' ', false, kReplace)};
    return true;
  }
  std::string rest = util::istartsWith(path, kDevices) ? path.substr(kDevices.size()) : "?";
  if (rest.empty() || rest == "/") {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& [code, device] : registry.devices())
      if (device) list.push_back(devices::deviceJson(*device, view, true));
    reply = {200, list.dump(-1, ' ', false, kReplace)};
    return true;
  }
  if (rest[0] == '/' && rest.find('/', 1) == std::string::npos) {
    const std::string code = rest.substr(1);
    const devices::DevicePtr* d = registry.devices().find(code);
    if (d && *d) {
      reply = {200, devices::deviceJson(**d, view, true).dump(-1, ' ', false, kReplace)};
    } else {
      nlohmann::ordered_json j{{"error", "unknown device"}, {"code", code}};
      reply = {404, j.dump(-1, ' ', false, kReplace)};
    }
    return true;
  }
  reply = {404, errorBody("not found")};
  return true;
}

}  // namespace quillon::web
