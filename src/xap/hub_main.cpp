// quillon-hub: the xAP hub as its own program. Usage: quillon-hub [--port N] [--quiet]
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/qt/qt_platform.h"
#include "xap/xap_hub.h"

int main(int argc, char** argv) {
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
      std::fprintf(stderr, "usage: quillon-hub [--port N] [--quiet]\n");
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
