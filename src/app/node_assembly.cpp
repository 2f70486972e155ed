#include "app/node_assembly.h"

namespace quillon::app {

NodeAssembly::NodeAssembly(platform::Platform& platform, core::AppPaths paths, NodeOptions options)
    : options_(std::move(options)), ctx_(platform, std::move(paths)), node_(ctx_, {}) {
  node_.seams() = buildSeams();
}

NodeAssembly::~NodeAssembly() { node_.shutdown(); }

core::NodeSeams NodeAssembly::buildSeams() {
  core::NodeSeams s;
  return s;
}

}  // namespace quillon::app
