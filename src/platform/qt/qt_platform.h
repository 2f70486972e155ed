#pragma once
// The Qt 6 implementation of the platform layer. Needs a QCoreApplication (or QApplication).
#include <memory>

#include "platform/platform.h"

namespace quillon::platform {

std::unique_ptr<Platform> createQtPlatform();

}  // namespace quillon::platform
