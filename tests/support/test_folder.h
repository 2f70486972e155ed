#pragma once
// A fresh application folder (with its Config folder) named after the running test, so tests
// never share settings files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quillon::test {

inline std::filesystem::path freshTestFolder(const std::string& prefix) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() /
                 (prefix + "-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  fs::remove_all(dir);
  fs::create_directories(dir / "Config");
  return dir;
}

}  // namespace quillon::test
