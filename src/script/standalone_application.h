#pragma once
// The object model for scripts that run outside the node (quillon-vbs, jobs started by Spawn):
// CreateObject("Lumaweave.Application") gives the same members; those that need the node's
// memory raise an error naming themselves. xAP messages go out as the node would send them,
// from the application folder's settings; INI members work on its Config folder.
#include <memory>
#include <string>

#include "core/node_context.h"
#include "engine.h"
#include "script/application.h"
#include "xap/xap_transport.h"

namespace quillon::script {

inline constexpr const char* kApplicationProgId = "Lumaweave.Application";

class StandaloneApplication {
 public:
  StandaloneApplication(std::unique_ptr<platform::Platform> platform, const std::string& appFolder);
  // Writes back what the scripts changed in the INI files.
  ~StandaloneApplication();

  std::shared_ptr<vbs::HostObject> createObject() { return makeApplicationObject(services_); }
  core::NodeContext& context() { return ctx_; }

 private:
  std::unique_ptr<platform::Platform> platform_;
  core::NodeContext ctx_;
  xap::XapTransport transport_;
  ApplicationServices services_;
};

// The application folder for a tool: the option, else $QUILLON_APP_DIR, else the user's folder.
std::string toolAppFolder(const std::string& option);

}  // namespace quillon::script
