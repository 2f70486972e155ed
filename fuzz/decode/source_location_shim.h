#pragma once
// std::source_location for compilers whose standard library leaves it out (clang 14 with
// libstdc++ 12 lacks __builtin_source_location). Used only by the fuzz build.
#include <version>
#if defined(__clang__) && !__has_builtin(__builtin_source_location) && !defined(__cpp_lib_source_location)
#include <cstdint>
namespace std {
struct source_location {
  static constexpr source_location current(const char* file = __builtin_FILE(), const char* fn = __builtin_FUNCTION(),
                                           std::uint_least32_t line = __builtin_LINE()) noexcept {
    source_location l;
    l.file_ = file;
    l.function_ = fn;
    l.line_ = line;
    return l;
  }
  constexpr std::uint_least32_t line() const noexcept { return line_; }
  constexpr std::uint_least32_t column() const noexcept { return 0; }
  constexpr const char* file_name() const noexcept { return file_; }
  constexpr const char* function_name() const noexcept { return function_; }

 private:
  const char* file_ = "";
  const char* function_ = "";
  std::uint_least32_t line_ = 0;
};
}  // namespace std
#endif
