#pragma once
// An assembled node on fake sockets and virtual time, in a fresh application folder whose main
// script records every Main call; helpers to read the log and call the script's functions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/node_assembly.h"
#include "convert.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace quillon::test {

// Main appends "[text]" to seen; Seen() reads it back.
inline const char* kRecordingScript =
    "Dim acc\n"
    "Sub Main(t)\n"
    "  acc = acc & \"[\" & t & \"]\"\n"
    "End Sub\n"
    "Function Seen()\n"
    "  Seen = acc\n"
    "End Function\n";

class ScriptNodeTest : public ::testing::Test {
 protected:
  ScriptNodeTest() {
    dir = freshTestFolder("quillon-script");
    std::filesystem::create_directories(dir / "Scripts");
    std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n";
  }
  ~ScriptNodeTest() override {
    node.reset();
    std::filesystem::remove_all(dir);
  }

  void write(const std::string& relative, const std::string& text) {
    std::ofstream(dir / relative, std::ios::binary) << text;
  }
  std::string read(const std::string& relative) const {
    std::ifstream in(dir / relative, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void start(const std::string& quillonIni = "[W800]\nMode=1\n") {
    write("Config/Quillon.ini", quillonIni);
    app::NodeOptions options;
    options.vbsProgram = "/opt/quillon/bin/quillon-vbs";
    node = std::make_unique<app::NodeAssembly>(platform, core::AppPaths{dir.string(), ""}, options);
    ASSERT_TRUE(node->start());
    platform.time().runPending();  // what start-up handed to the loop (a link's open) runs
  }
  // Calls a function of the main script and gives its result as text.
  std::string call(const std::string& function) {
    vbs::Variant v;
    std::vector<vbs::Variant> args;
    if (!node->scripts().engine().runIn(script::kMainModule, function, args, &v)) return "<error>";
    return vbs::asString(v);
  }
  std::string log() const { return read("Data/Quillon.txt"); }
  static std::size_t count(const std::string& hay, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
    return n;
  }

  FakePlatform platform;
  std::filesystem::path dir;
  std::unique_ptr<app::NodeAssembly> node;
};

}  // namespace quillon::test
