// The real node binary: SIGTERM leads to an orderly shutdown with every settings file complete.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/ini_cache.h"
#include "support/node_process.h"

namespace fs = std::filesystem;

namespace {

using quillon::test::readWholeFile;

TEST(NodeProcess, SigtermShutsDownCleanlyAndKeepsSettingsComplete) {
  fs::path dir = fs::temp_directory_path() / ("quillon-proc-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "Config");
  fs::copy(QUILLON_SHARE, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  // Keep the test off the usual ports so it can run next to a running node.
  std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\r\nHTTPPort=18017\r\nDebugLog=1\r\n";

  pid_t pid = quillon::test::startNodeProcess(QUILLON_BINARY, dir);
  ASSERT_GE(pid, 0);
  const fs::path log = dir / "Data" / "Quillon.txt";
  ASSERT_TRUE(quillon::test::waitForText(log, "| Quillon Started")) << readWholeFile(log);
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(readWholeFile(log).find("Signal 15: shutting down"), std::string::npos);

  // Every settings file reads back completely, with no temporary file left behind.
  for (const auto& entry : fs::directory_iterator(dir / "Config")) {
    EXPECT_EQ(entry.path().extension(), ".ini") << entry.path();
  }
  quillon::core::IniCache cache((dir / "Config").string());
  EXPECT_EQ(cache.getIniSetting("Interface", "BroadcastAddress", "", "ovkXap.ini"), "127.0.0.1");
  EXPECT_EQ(cache.getIniSetting("W800", "HTTPPort", "", "Quillon.ini"), "18017");
  fs::remove_all(dir);
}

}  // namespace
