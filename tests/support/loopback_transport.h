#pragma once
// Binds a node's xAP transport on loopback with the test node's identity and marks xAP ready.
#include <string>

#include "core/node_context.h"
#include "xap/xap_transport.h"

namespace quillon::test {

inline void initLoopbackTransport(xap::XapTransport& transport, core::NodeContext& ctx,
                                  const std::string& source = "ovk.W800.host") {
  transport.setXapSource(source);
  transport.setXapUid("FF.0052:00");
  transport.setBroadcastAddress("127.0.0.1");
  transport.setInterfaceAddress("127.0.0.1");
  transport.init();
  ctx.xapReady = true;
}

}  // namespace quillon::test
