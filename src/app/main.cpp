// quillon: the gateway node.
#include <QCoreApplication>
#ifdef QUILLON_HAVE_UI
#include <QApplication>

#include "app/desktop_wiring.h"
#endif
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/config_check.h"
#include "app/node_assembly.h"
#include "core/app_paths.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_signals.h"

namespace {

const char* kUsage =
    "Usage: quillon [options]\n"
    "Home-automation gateway: RF receiver packets to xAP, web status page, scripts.\n\n"
    "  --app-dir DIR        application folder (Config, Data, Scripts, HTML);\n"
    "                       default: the per-user folder, created from the bundled template\n"
    "  --replay FILE        read receiver packets from a recorded text file instead of the receiver\n"
    "  --replay-speed N     replay N times faster than recorded (0 = as fast as possible)\n"
    "  --headless           no tray icon (the default when no display is available)\n"
    "  -v, --verbose        copy log lines to standard error\n"
    "  --check-config       check the application folder's settings as the node would read them,\n"
    "                       print every problem and exit (0: the node would start cleanly, 1: not)\n"
    "  --version            print the version and exit\n"
    "  -h, --help           print this help and exit\n";

std::string templateDir(const std::string& exePath) { return quillon::core::templateFolder(exePath); }

// The job runner for Spawn: beside this program (installed or in the build tree), else PATH.
std::string vbsProgram(const std::string& exePath) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path sibling = fs::path(exePath).parent_path() / "quillon-vbs";
  if (fs::exists(sibling, ec)) return sibling.string();
  return "quillon-vbs";
}

int checkConfig(const std::string& appFolder, const std::string& templateDir) {
  const quillon::app::ConfigProbe probe = quillon::app::systemProbe();
  std::printf("Checking %s as user %s\n", appFolder.c_str(), probe.userName.c_str());
  const quillon::app::ConfigReport report = quillon::app::checkConfig(appFolder, templateDir, probe);
  for (const auto& n : report.notes) std::printf("  %s\n", n.c_str());
  for (const auto& p : report.problems) std::printf("  problem: %s\n", p.c_str());
  if (report.clean()) {
    std::printf("No problems: the node would start cleanly.\n");
    return 0;
  }
  std::printf("%zu problem%s: fix %s before starting the node.\n", report.problems.size(),
              report.problems.size() == 1 ? "" : "s", report.problems.size() == 1 ? "it" : "them");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  quillon::app::NodeOptions options;
  options.headless = std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr;
  std::string appDir;
  bool verbose = false;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "quillon: %s needs a value\n%s", a.c_str(), kUsage);
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--version") {
      std::printf("quillon %s\n", QUILLON_VERSION);
      return 0;
    } else if (a == "--app-dir") {
      appDir = next();
    } else if (a == "--replay") {
      options.replayFile = next();
    } else if (a == "--replay-speed") {
      std::string v = next();
      char* end = nullptr;
      options.replaySpeed = std::strtod(v.c_str(), &end);
      if (end == v.c_str() || *end || options.replaySpeed < 0) {
        std::fprintf(stderr, "quillon: bad --replay-speed '%s'\n", v.c_str());
        return 2;
      }
    } else if (a == "--headless") {
      options.headless = true;
    } else if (a == "--check-config") {
      check = true;
    } else if (a == "-v" || a == "--verbose") {
      verbose = true;
    } else {
      std::fprintf(stderr, "quillon: unknown option '%s'\n%s", a.c_str(), kUsage);
      return 2;
    }
  }

  quillon::core::AppPaths paths;
  paths.exePath = quillon::core::executablePath();
  if (appDir.empty()) appDir = quillon::core::defaultAppFolder();
  if (check) return checkConfig(appDir, templateDir(paths.exePath));

#ifdef QUILLON_HAVE_UI
  std::unique_ptr<QCoreApplication> qapp = options.headless ? std::make_unique<QCoreApplication>(argc, argv)
                                                            : std::make_unique<QApplication>(argc, argv);
#else
  auto qapp = std::make_unique<QCoreApplication>(argc, argv);
  options.headless = true;
#endif
  // A folder without settings (first run, or the service's empty state folder) gets the template.
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::path(appDir) / "Config", ec) &&
      !quillon::core::populateFromTemplate(templateDir(paths.exePath), appDir))
    std::fprintf(stderr, "quillon: cannot create the application folder %s from the template\n", appDir.c_str());
  paths.appFolder = std::filesystem::absolute(appDir).lexically_normal().string();
  while (paths.appFolder.size() > 1 && paths.appFolder.back() == '/') paths.appFolder.pop_back();

  options.vbsProgram = vbsProgram(paths.exePath);
  if (verbose) options.echo = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
  quillon::core::createFolders(paths.dataDir());
  auto platform = quillon::platform::createQtPlatform();
  quillon::app::NodeAssembly node(*platform, paths, options);
  node.context().log.setEchoToStderr(verbose);
  node.context().log.setBuffered(true);  // flushed every second by the node, and at exit
  node.context().log.writeLogLine("Quillon", std::string("Quillon ") + QUILLON_VERSION + " starting in " + paths.appFolder);
#ifdef QUILLON_HAVE_UI
  // On a desktop the node lives in the notification area; without one it runs as headless.
  std::unique_ptr<quillon::ui::Desktop> desktop;
  if (!options.headless) {
    if (quillon::ui::Desktop::trayAvailable()) {
      desktop = quillon::app::attachDesktop(node, quillon::app::nodeIcon(templateDir(paths.exePath)), options.echo);
    } else {
      node.context().log.writeLogLine("Quillon", "No notification area on this desktop: running without the tray icon");
    }
  }
#endif

  quillon::platform::watchTerminationSignals([&](int sig) {
    node.context().log.writeLogLine("Quillon", "Signal " + std::to_string(sig) + ": shutting down");
    node.shutdown();
    QCoreApplication::quit();
  });

  quillon::platform::watchReloadSignal([&] {
    node.context().log.writeLogLine("Quillon", "Signal 1: re-reading the settings and the scripts");
    node.node().reload();
  });

  node.start();
  node.context().log.writeLogLine("Quillon", "Started");
  int rc = qapp->exec();
  node.shutdown();
  node.context().log.writeLogLine("Quillon", "Stopped");
  return rc;
}
