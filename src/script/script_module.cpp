#include "script/script_module.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "util/text.h"

namespace fs = std::filesystem;

namespace quillon::script {

std::string findIgnoringCase(const std::string& path) {
  std::error_code ec;
  if (path.empty() || fs::exists(path, ec)) return path;
  fs::path p(path);
  fs::path out = p.root_path();
  for (const fs::path& part : p.relative_path()) {
    fs::path exact = out / part;
    if (!fs::exists(exact, ec)) {
      for (auto it = fs::directory_iterator(out.empty() ? fs::path(".") : out, ec);
           !ec && it != fs::directory_iterator(); it.increment(ec))
        if (util::iequals(it->path().filename().string(), part.string())) {
          exact = out / it->path().filename();
          break;
        }
    }
    out = exact;
  }
  return out.string();
}

std::string resolveScriptPath(const std::string& name, const ScriptFolders& folders) {
  std::string n = util::replaceAll(name, "\\", "/");
  const bool asGiven = name.find(':') != std::string::npos || name.find("\\\\") != std::string::npos ||
                       (!name.empty() && name[0] == '/');
  std::string path;
  if (asGiven) path = n;
  else if (!n.empty() && n[0] == '/') path = folders.appFolder + "/Scripts" + n;
  else path = folders.scriptsDir + "/" + n;
  return findIgnoringCase(path);
}

std::string errorPosition(const vbs::ErrorInfo& e) {
  return "@ Line " + std::to_string(e.line) + " col " + std::to_string(e.column) +
         (e.file.empty() ? std::string() : " in " + e.file);
}

void ScriptModule::add(const std::string& filename, const std::string& key) {
  module_ = key;
  file_ = filename;
  engine_.addModule(key);
  std::set<std::string> loading, loaded;
  accumulateReferences(filename, loading, loaded);
}

void ScriptModule::accumulateReferences(const std::string& file, std::set<std::string>& loading,
                                        std::set<std::string>& loaded) {
  const std::string path = resolveScriptPath(util::trim(file), folders_);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return;
  const std::string id = fs::weakly_canonical(path, ec).string();
  if (loading.count(id)) {
    log_("Script include of " + path + " inside itself skipped");
    return;
  }
  if (loaded.count(id)) return;  // a file included twice is loaded once
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string text = ss.str();
  loading.insert(id);
  std::size_t pos = 0;
  while ((pos = util::ifind(text, "#include", pos)) != std::string::npos) {
    std::size_t open = text.find('"', pos + 8);
    std::size_t eol = text.find('\n', pos);
    std::size_t close = open == std::string::npos ? std::string::npos : text.find('"', open + 1);
    if (close == std::string::npos || (eol != std::string::npos && close > eol)) {
      // No complete quoted name on the directive's line: drop the line's directive and go on.
      log_("Script #include without a quoted file name in " + path);
      text.erase(pos, (eol == std::string::npos ? text.size() : eol) - pos);
      continue;
    }
    accumulateReferences(util::trim(text.substr(open + 1, close - open - 1)), loading, loaded);
    text.erase(pos, close + 1 - pos);
  }
  loading.erase(id);
  loaded.insert(id);
  if (!engine_.addCode(text, module_, path)) {
    if (counters_) counters_->scriptErrors.add();
    const vbs::ErrorInfo& e = engine_.lastError();
    log_("Error in script syntax " + e.description + " / " + path + " " + e.description + errorPosition(e));
  }
}

vbs::Variant ScriptModule::run(const std::string& procedure, const vbs::Variant& parameter) {
  const vbs::ProcInfo* found = nullptr;
  std::vector<vbs::ProcInfo> procs = engine_.procedures(module_);
  for (const auto& p : procs)
    if (util::iequals(p.name, procedure)) {
      found = &p;
      break;
    }
  if (!found) return {};
  std::vector<vbs::Variant> args;
  if (found->argCount > 0) args.push_back(parameter);
  vbs::Variant result;
  if (counters_) counters_->scriptRuns.add();
  if (!engine_.runIn(module_, found->name, args, &result)) {
    if (counters_) counters_->scriptErrors.add();
    const vbs::ErrorInfo& e = engine_.lastError();
    log_("Script Run Error " + e.description + " / " + std::to_string(e.number) + " - " + e.description +
         errorPosition(e));
    return {};
  }
  return found->returnsValue ? result : vbs::Variant();
}

}  // namespace quillon::script
