#pragma once
// The application folder (Config, Data, Scripts, HTML) and the paths built from it.
#include <string>

namespace quillon::core {

struct AppPaths {
  std::string appFolder;  // no trailing "/"
  std::string exePath;    // the running executable

  std::string configDir() const { return appFolder + "/Config"; }
  std::string dataDir() const { return appFolder + "/Data"; }
  std::string scriptsDir() const { return appFolder + "/Scripts"; }
  std::string htmlDir() const { return appFolder + "/HTML"; }
  std::string logFile() const { return dataDir() + "/Quillon.txt"; }
};

// Creates the folder and every missing folder on its path; false when that fails.
bool createFolders(const std::string& folder);

// The per-user application folder ($XDG_DATA_HOME/quillon, else ~/.local/share/quillon).
std::string defaultAppFolder();

// Copies the template folder's files into appFolder where they are missing (first run), without
// touching anything that is already there. Returns false when the template cannot be read.
bool populateFromTemplate(const std::string& templateDir, const std::string& appFolder);

// The real path of the running executable.
std::string executablePath();

// The bundled template folder (Config, HTML, Scripts, replay): $QUILLON_SHARE_DIR when set, else
// ../share/quillon beside the installed program, else the source tree's share/ named by the file
// quillon-share.path beside a program in the build tree; empty when none is found.
std::string templateFolder(const std::string& exePath);

}  // namespace quillon::core
