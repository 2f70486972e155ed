// quillon-vbs: runs a VBScript file or job file on the console, with the node's object model
// available as CreateObject("Lumaweave.Application").
#include <memory>

#include "vbscript/console_host.h"
#include "platform/posix/send_only_platform.h"
#include "script/standalone_application.h"

int main(int argc, char** argv) {
  std::unique_ptr<quillon::script::StandaloneApplication> app;  // made on first use
  return quillon::vbs::runConsoleHost(argc, argv, [&app](quillon::vbs::Engine& engine,
                                                         const quillon::vbs::ConsoleOptions& options) {
    const std::string folder = quillon::script::toolAppFolder(options.appDir);
    engine.registerProgId(quillon::script::kApplicationProgId, [&app, folder] {
      if (!app)
        app = std::make_unique<quillon::script::StandaloneApplication>(quillon::platform::createSendOnlyPlatform(), folder);
      return app->createObject();
    });
  });
}
