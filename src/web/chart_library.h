#pragma once
// The charting library the device pages load (/js/dygraph.min.js and /js/dygraph.min.css): the
// web root's own copy in HTML/js when there is one, else the system's (Debian's libjs-dygraphs in
// /usr/share/javascript/dygraphs). Read once and kept.
#include <filesystem>
#include <map>
#include <string>

namespace quillon::web {

class ChartLibrary {
 public:
  explicit ChartLibrary(std::filesystem::path webRoot, std::filesystem::path systemDir = "/usr/share/javascript/dygraphs")
      : webRoot_(std::move(webRoot)), systemDir_(std::move(systemDir)) {}

  // True when the path ("\"-separated, lower case) is one of the library's files; then the body
  // and content type are set (an empty body: the file is missing).
  bool file(const std::string& path, std::string& body, std::string& contentType);

 private:
  std::filesystem::path webRoot_, systemDir_;
  std::map<std::string, std::string> loaded_;
};

}  // namespace quillon::web
