#pragma once
// One loaded script module (the object model's Script): loads a file with its "#include"s into a
// module of the engine and runs its procedures, logging syntax and run-time errors.
#include <functional>
#include <set>
#include <string>

#include "core/counters.h"
#include "engine.h"

namespace quillon::script {

struct ScriptFolders {
  std::string appFolder;   // base folder
  std::string scriptsDir;  // appFolder + "/Scripts"
};

// The path a script name stands for: names without ":" or "\\" are relative to the scripts folder
// (a leading "\" or "/" names a path below it); others are used as given. Backslashes become "/"
// and each part of the path is matched on disk without regard to letter case.
std::string resolveScriptPath(const std::string& name, const ScriptFolders& folders);
// An existing file whose path equals `path` ignoring letter case (the path itself when none).
std::string findIgnoringCase(const std::string& path);

class ScriptModule {
 public:
  using Log = std::function<void(const std::string&)>;
  // counters, when given, count each procedure run and each syntax or run-time error.
  ScriptModule(vbs::Engine& engine, const ScriptFolders& folders, Log log, core::Counters* counters = nullptr)
      : engine_(engine), folders_(folders), log_(std::move(log)), counters_(counters) {}

  // Creates the module strKey in the engine and loads the file into it.
  void add(const std::string& filename, const std::string& key);
  // Runs the module's procedure of that name (any letter case); empty when there is none.
  vbs::Variant run(const std::string& procedure, const vbs::Variant& parameter);

  const std::string& moduleName() const { return module_; }
  const std::string& fileName() const { return file_; }

 private:
  void accumulateReferences(const std::string& file, std::set<std::string>& loading, std::set<std::string>& loaded);

  vbs::Engine& engine_;
  ScriptFolders folders_;
  Log log_;
  core::Counters* counters_;
  std::string module_, file_;
};

// "@ Line <l> col <c>" with the file the failing code came from, as both error lines end.
std::string errorPosition(const vbs::ErrorInfo& e);

}  // namespace quillon::script
