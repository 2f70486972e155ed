// The console script host behind quillon-vbs: "[//T:seconds] [--app-dir DIR] FILE [ARGS...]".
// FILE is a script or a job file (.wsf): its <script language="VBScript"> elements run in order,
// a src attribute naming a file relative to the job file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine.h"

namespace quillon::vbs {

struct ConsoleOptions {
  std::string path;
  std::vector<std::string> args;
  long timeoutMs = 0;
  std::string appDir;  // --app-dir, for hosts that add an application's objects
};

// Called once the engine has WScript and before any code runs: a host adds its ProgIDs here.
using ConsoleExtension = std::function<void(Engine&, const ConsoleOptions&)>;

int runConsoleHost(int argc, char** argv, const ConsoleExtension& extend = {});

}  // namespace quillon::vbs
