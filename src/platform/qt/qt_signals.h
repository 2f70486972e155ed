#pragma once
// SIGINT and SIGTERM delivered as an ordinary event of the Qt loop, so the handler may do real work.
#include <functional>

namespace quillon::platform {

// Installs the handlers once; fn runs on the loop for each signal received.
void watchTerminationSignals(std::function<void(int signal)> fn);

}  // namespace quillon::platform
