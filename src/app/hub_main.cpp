// quillon-hub: the xAP hub as its own program. Usage: quillon-hub [--port N] [--quiet]
// SIGINT and SIGTERM end it at once: it keeps no state worth saving.
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/qt/qt_platform.h"
#include "xap/xap_hub.h"

namespace {

const char* kUsage =
    "Usage: quillon-hub [--port N] [--quiet]\n"
    "xAP hub: receives the xAP broadcasts on UDP port 3639 and forwards each one to the xAP\n"
    "programs of this machine that announce their own port in their heartbeats.\n\n"
    "  --port N      listen on port N instead of 3639\n"
    "  --quiet       do not report clients coming and going on standard error\n"
    "  --version     print the version and exit\n"
    "  -h, --help    print this help and exit\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("quillon-hub %s\n", QUILLON_VERSION);
      return 0;
    }
  }
  QCoreApplication app(argc, argv);
  int port = 3639;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--port" && i + 1 < argc) {
      port = std::atoi(argv[++i]);
    } else if (a == "--quiet") {
      quiet = true;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (port <= 0 || port > 65535) {
    std::fprintf(stderr, "quillon-hub: bad port %d\n", port);
    return 2;
  }
  auto platform = quillon::platform::createQtPlatform();
  quillon::xap::XapHub hub(*platform, [quiet](const std::string& line) {
    if (!quiet) std::fprintf(stderr, "%s\n", line.c_str());
  });
  if (!hub.start(static_cast<std::uint16_t>(port))) return 1;
  return app.exec();
}
