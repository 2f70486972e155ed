#include "web/chart_library.h"

#include <fstream>
#include <sstream>

namespace quillon::web {

bool ChartLibrary::file(const std::string& path, std::string& body, std::string& contentType) {
  std::string name;
  if (path == "\\js\\dygraph.min.js") {
    name = "dygraph.min.js";
    contentType = "text/javascript; charset=utf-8";
  } else if (path == "\\js\\dygraph.min.css") {
    name = "dygraph.min.css";
    contentType = "text/css; charset=utf-8";
  } else {
    return false;
  }
  if (auto it = loaded_.find(name); it != loaded_.end()) {
    body = it->second;
    return true;
  }
  for (const std::filesystem::path& dir : {webRoot_ / "js", systemDir_}) {
    std::ifstream in(dir / name, std::ios::binary);
    if (!in.is_open()) continue;
    std::ostringstream text;
    text << in.rdbuf();
    body = loaded_[name] = text.str();
    return true;
  }
  body.clear();
  return true;
}

}  // namespace quillon::web
