#pragma once
// An RF link's state as JSON, for the HTTP link API and the MQTT receiver state.
#include <nlohmann/json.hpp>

#include "rflink/link_status.h"

namespace quillon::rflink {

// {"role","state","kind","where","since","bytes","packets","last_packet","reconnects"} of an RF
// link: state "open", "closed" or "not configured"; times null when unknown; packets only for
// the receiver.
nlohmann::ordered_json linkJson(const LinkStatus& link);

}  // namespace quillon::rflink
