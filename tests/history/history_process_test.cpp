// The real node killed with SIGKILL in the middle of a burst of state changes: the database opens
// afterwards and holds every change but those of the last second.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "history/history_store.h"
#include "support/child_process.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

TEST(HistoryProcess, KilledNodeLosesAtMostTheLastSecond) {
  const fs::path dir = test::freshTestFolder("quillon-history-kill");
  fs::copy(QUILLON_SHARE, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  const int port = test::freeTcpPort();
  std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\r\nHTTPPort=" << port << "\r\n";
  std::ofstream(dir / "Config" / "ovkXap.ini")
      << "[Interface]\r\nInterfaceAddress=127.0.0.1\r\nBroadcastAddress=127.0.0.1\r\nStartHub=0\r\n";
  {
    // A1 on and off in turn, 0.6 s apart (the same command 1.2 s apart, beyond the debounce), for a minute.
    std::ofstream feed(dir / "feed.txt");
    feed << "# mode: 48\n0.000 2C\n";
    for (int i = 0; i < 100; ++i) feed << 1.0 + 0.6 * i << (i % 2 ? " 20 60 9F 20 DF\n" : " 20 60 9F 00 FF\n");
  }
  test::ChildProcess node;
  ASSERT_TRUE(node.start({QUILLON_BINARY, "--app-dir", dir.string(), "--headless", "--replay", (dir / "feed.txt").string()},
                         (dir / "node.out").string()));
  auto packets = [&] {
    const std::string answer = test::httpGet(port, "/api/devices/A1");
    const std::size_t at = answer.find("\"packets\":");
    return at == std::string::npos ? 0 : std::stoi(answer.substr(at + 10));
  };
  int heard = 0;
  for (int i = 0; i < 300 && heard < 8; ++i) {  // about five seconds of the burst
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    heard = packets();
  }
  ASSERT_GE(heard, 8);
  ::kill(node.pid(), SIGKILL);
  node.stop();

  history::HistoryStore store;
  std::string error;
  ASSERT_TRUE(store.open(dir / "Data" / "history.sqlite", error)) << error;
  std::vector<history::Point> rows;
  ASSERT_TRUE(store.query("A1", 0, std::int64_t{1} << 50, history::Step::Raw, 10000, rows, error)) << error;
  // At most the last second's changes (two at this pace) and the one of the request's moment.
  EXPECT_GE(static_cast<int>(rows.size()), heard - 3);
  EXPECT_LE(static_cast<int>(rows.size()), heard + 1);
  for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_NE(rows[i].state, rows[i - 1].state);
  store.close();
  fs::remove_all(dir);
}

}  // namespace
