#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "core/ini_cache.h"

namespace fs = std::filesystem;
using quillon::core::IniCache;

namespace {

class IniCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("quillon-ini-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                       "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, ec);
    fs::remove_all(dir, ec);
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
  }
  std::string read(const std::string& name) {
    std::ifstream in(dir / name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // Makes the file's modification time move past the cached one.
  void touchLater(const std::string& name) {
    fs::last_write_time(dir / name, fs::last_write_time(dir / name) + std::chrono::seconds(5));
  }
  IniCache cache() {
    return IniCache(dir.string(), [this](const std::string& type, const std::string& text) { logged.push_back(type + ":" + text); });
  }

  fs::path dir;
  std::vector<std::string> logged;
};

TEST_F(IniCacheTest, ReadsTheWayTheFileIsWritten) {
  write("a.ini",
        "; comment\r\nstray=1\r\n[One]\r\nkey=first\r\nkey=second\r\n  spaced = v \r\nnoequals\r\n[ONE]\r\nother=x\r\n"
        "empty=\r\n[Two]\nlf=yes\n");
  IniCache c = cache();
  EXPECT_EQ(c.getIniSetting("one", "KEY", "d", "A.INI"), "first");  // first occurrence wins, any case
  EXPECT_EQ(c.getIniSetting("One", "spaced ", "d", "a.ini"), " v");  // blanks around "=" are kept
  EXPECT_EQ(c.getIniSetting("One", "other", "d", "a.ini"), "x");     // headers differing in case merge
  EXPECT_EQ(c.getIniSetting("One", "empty", "dflt", "a.ini"), "dflt");
  EXPECT_EQ(c.getIniSetting("Two", "lf", "", "a.ini"), "yes");       // LF line ends too
  EXPECT_EQ(c.getIniSetting("", "stray", "", "a.ini"), "1");         // before any header
  EXPECT_EQ(c.getIniSection("One", "a.ini"), std::string("key=first\0spaced = v\0other=x\0empty=", 35));
  EXPECT_EQ(c.getIniSection("Missing", "a.ini"), "");
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_NE(logged[0].find("Equal sign not found on line noequals, file "), std::string::npos);
  EXPECT_NE(logged[0].find("line number 7"), std::string::npos);

  // A huge line without "=" is reported by its number, quoted only in part.
  write("long.ini", "[S]\r\nk=v\r\n" + std::string(5 * 1024 * 1024, 'x') + "\r\n");
  EXPECT_EQ(c.getIniSetting("S", "k", "", "long.ini"), "v");
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_NE(logged[1].find("line number 3"), std::string::npos);
  EXPECT_LT(logged[1].size(), 400u);
}

TEST_F(IniCacheTest, SaveWritesSortedUpperCaseSectionsWithBackupAndNoTruncation) {
  write("s.ini", "[b]\r\nz=1\r\ny=2\r\n[A]\r\nk=v\r\n[Empty]\r\n");
  IniCache c = cache();
  c.saveIniSetting("b", "x", "3", "s.ini");
  ASSERT_TRUE(c.flushIniCache());
  EXPECT_EQ(read("s.ini"), "[A]\r\nk=v\r\n[B]\r\nx=3\r\ny=2\r\nz=1\r\n");
  EXPECT_EQ(read("s.ini_bck"), "[b]\r\nz=1\r\ny=2\r\n[A]\r\nk=v\r\n[Empty]\r\n");
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
  // Nothing dirty: nothing written.
  auto before = fs::last_write_time(dir / "s.ini");
  ASSERT_TRUE(c.flushIniCache());
  EXPECT_EQ(fs::last_write_time(dir / "s.ini"), before);

  c.clearIniSection("B", "s.ini");
  ASSERT_TRUE(c.flushIniCache());
  EXPECT_EQ(read("s.ini"), "[A]\r\nk=v\r\n");
}

TEST_F(IniCacheTest, OutsideChangeReloadsAndDropsUnflushedChanges) {
  write("q.ini", "[S]\r\nk=old\r\n");
  IniCache c = cache();
  EXPECT_EQ(c.getIniSetting("S", "k", "", "q.ini"), "old");
  c.saveIniSetting("S", "mine", "1", "Q.ini");  // same slot, other case
  write("q.ini", "[S]\r\nk=new\r\n");
  touchLater("q.ini");
  EXPECT_EQ(c.getIniSetting("S", "k", "", "q.ini"), "new");
  EXPECT_EQ(c.getIniSetting("S", "mine", "gone", "q.ini"), "gone");
}

TEST_F(IniCacheTest, MissingFileIsCreatedEmptyAndDefaultIsSettingsIni) {
  IniCache c = cache();
  EXPECT_EQ(c.getIniSetting("S", "k", "def"), "def");
  EXPECT_TRUE(fs::exists(dir / "settings.ini"));
  c.saveIniSetting("S", "k", "v");
  ASSERT_TRUE(c.flushIniCache());
  EXPECT_EQ(read("settings.ini"), "[S]\r\nk=v\r\n");
}

TEST_F(IniCacheTest, FailedSaveIsReportedAndKeepsTheFileAndTheChange) {
  write("r.ini", "[S]\r\nk=v\r\n");
  IniCache c = cache();
  c.saveIniSetting("S", "k", "changed", "r.ini");
  // A folder where the backup copy must go makes the save fail, as a read-only folder would.
  fs::create_directories(dir / "r.ini_bck" / "x");
  EXPECT_FALSE(c.flushIniCache());
  EXPECT_EQ(read("r.ini"), "[S]\r\nk=v\r\n");
  EXPECT_NE(logged.back().find("IniTool Save "), std::string::npos);
  fs::remove_all(dir / "r.ini_bck");
  EXPECT_TRUE(c.flushIniCache());  // still dirty, written once possible
  EXPECT_EQ(read("r.ini"), "[S]\r\nk=changed\r\n");
}

TEST_F(IniCacheTest, InterruptedSavesLeaveNoTraceAndSavesKeepThePermissions) {
  // Temporary files of a writer killed between write and rename: the file itself is intact and
  // the leftovers go at the first use of the file; other files stay.
  write("k.ini", "[S]\r\nk=v\r\n");
  write("k.ini.tmp-a1B2c3", "[S]\r\nk=half");
  write("k.ini.tmp", "old fixed name");
  write("k.ini.tmp-notmine", "kept");
  fs::permissions(dir / "k.ini", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  IniCache c = cache();
  EXPECT_EQ(c.getIniSetting("S", "k", "", "k.ini"), "v");
  EXPECT_FALSE(fs::exists(dir / "k.ini.tmp-a1B2c3"));
  EXPECT_FALSE(fs::exists(dir / "k.ini.tmp"));
  EXPECT_TRUE(fs::exists(dir / "k.ini.tmp-notmine"));

  c.saveIniSetting("S", "a", "1", "k.ini");
  ASSERT_TRUE(c.flushIniCache());
  EXPECT_EQ(read("k.ini"), "[S]\r\na=1\r\nk=v\r\n");
  EXPECT_EQ(fs::status(dir / "k.ini").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(IniCacheTest, BinaryAndHugeFilesDoNotCrashAndAreKept) {
  std::string binary;
  for (int i = 0; i < 5000; ++i) binary.push_back(static_cast<char>(i * 7 % 256));
  write("bin.ini", binary);
  IniCache c = cache();
  c.getIniSetting("S", "k", "", "bin.ini");
  EXPECT_LE(logged.size(), 22u);  // bad lines are reported, but not without bound

  std::string huge(quillon::core::IniTool::kMaxFileSize + 1, 'x');
  write("huge.ini", huge);
  EXPECT_EQ(c.getIniSetting("S", "k", "d", "huge.ini"), "d");
  c.saveIniSetting("S", "k", "v", "huge.ini");
  ASSERT_TRUE(c.flushIniCache());
  EXPECT_EQ(fs::file_size(dir / "huge.ini_unread"), huge.size());  // the unreadable original survives
}

}  // namespace
