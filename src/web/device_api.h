#pragma once
// The JSON device interface of the node's HTTP server: GET /api/devices lists every device,
// GET /api/devices/<code> gives one, GET /api/links the state of the receiver and transmitter
// links; other paths under /api/ and unknown codes get 404 with a JSON error.
#include <functional>
#include <string>
#include <vector>

#include "devices/device_registry.h"
#include "http/http_server.h"
#include "devices/device_json.h"
#include "rflink/link_json.h"

namespace quillon::web {

// True when the path belongs to the interface (the reply is then filled in).
using LinkStatusFn = std::function<std::vector<rflink::LinkStatus>()>;
bool deviceApi(const std::string& path, const devices::DeviceRegistry& registry, const devices::DeviceView& view,
               http::ApiReply& reply, const LinkStatusFn& links = {});

}  // namespace quillon::web
