// The installed program's command line: SIGHUP reloads a running node, --check-config exit codes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/node_process.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;

namespace {

using quillon::test::readWholeFile;
using quillon::test::waitForText;

// A copy of the bundled folder (its xAP settings stay on loopback) on ports of its own.
fs::path appFolder(const std::string& quillonIni) {
  fs::path dir = quillon::test::freshTestFolder("quillon-cli");
  fs::copy(QUILLON_SHARE, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  std::ofstream(dir / "Config" / "Quillon.ini") << quillonIni;
  return dir;
}

int runCheck(const fs::path& dir, std::string& output) {
  std::string cmd = std::string(QUILLON_BINARY) + " --check-config --app-dir '" + dir.string() + "' 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) output += buf;
  int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(QuillonProcess, SighupReloadsSettingsAndScriptWithoutRestart) {
  fs::path dir = appFolder("[W800]\r\nHTTPPort=18027\r\nDebugLog=1\r\n");
  std::ofstream(dir / "Scripts" / "Quillon.txt") << "Sub Main(t)\n  MsgBox \"first run\"\nEnd Sub\n";
  pid_t pid = quillon::test::startNodeProcess(QUILLON_BINARY, dir);
  ASSERT_GE(pid, 0);
  const fs::path log = dir / "Data" / "Quillon.txt";
  ASSERT_TRUE(waitForText(log, "| Quillon Started")) << readWholeFile(log);

  // The periodic script is switched on and the script replaced; SIGHUP brings both in.
  std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\r\nHTTPPort=18027\r\nDebugLog=1\r\nPeriodicScriptInterval=1\r\n";
  std::ofstream(dir / "Scripts" / "Quillon.txt") << "Sub Main(t)\n  MsgBox \"second run\"\nEnd Sub\n";
  ASSERT_EQ(::kill(pid, SIGHUP), 0);
  EXPECT_TRUE(waitForText(log, "| Script second run")) << readWholeFile(log);
  const std::string text = readWholeFile(log);
  EXPECT_NE(text.find("Signal 1: re-reading the settings and the scripts"), std::string::npos);
  EXPECT_NE(text.find("Settings and scripts re-read"), std::string::npos);
  EXPECT_EQ(text.find("first run"), std::string::npos);

  ASSERT_EQ(::waitpid(pid, nullptr, WNOHANG), 0);  // still the same process
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  fs::remove_all(dir);
}

TEST(QuillonProcess, CheckConfigExitCodes) {
  fs::path dir = appFolder("[W800]\r\nHTTPPort=18028\r\n");
  std::string out;
  EXPECT_EQ(runCheck(dir, out), 0) << out;
  EXPECT_NE(out.find("the node would start cleanly"), std::string::npos) << out;

  std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\r\nHTTPPort=18028\r\nSerialPort=/dev/quillon-no-such-port\r\n"
                                                   "DebounceInterval=5\r\n";
  out.clear();
  EXPECT_EQ(runCheck(dir, out), 1) << out;
  EXPECT_NE(out.find("problem: Quillon.ini [W800] SerialPort=/dev/quillon-no-such-port: the receiver port"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("problem: Quillon.ini [W800] DebounceInterval=5"), std::string::npos) << out;
  EXPECT_NE(out.find("2 problems"), std::string::npos) << out;
  fs::remove_all(dir);
}

}  // namespace
