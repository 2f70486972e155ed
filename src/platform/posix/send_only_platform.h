#pragma once
// A platform for short-lived tools that only send: the real clock and machine name, UDP sockets
// that bind and send (nothing is received, no event loop runs), no serial port or TCP.
#include <memory>

#include "platform/platform.h"

namespace quillon::platform {

std::unique_ptr<Platform> createSendOnlyPlatform();

}  // namespace quillon::platform
