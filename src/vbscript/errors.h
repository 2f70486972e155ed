// Script errors: classic numbers and texts, carried as C++ exceptions inside the engine.
#pragma once

#include <string>

namespace quillon::vbs {

namespace err {
constexpr int InvalidCall = 5, Overflow = 6, OutOfMemory = 7, Subscript = 9, ArrayFixed = 10,
              DivByZero = 11, TypeMismatch = 13, OutOfString = 14, InvalidNull = 94, OutOfStack = 28,
              FileNotFound = 53, FileExists = 58, BadFileMode = 54, InputPastEnd = 62, PermissionDenied = 70,
              PathNotFound = 76, ObjectRequired = 424, CantCreate = 429, NoMember = 438,
              WrongArgs = 450, NotCollection = 451, ObjectNotSet = 91, ForLoopNotInit = 92,
              Undefined = 500, IllegalAssignment = 501, KeyExists = 457, NoSuchElement = 32811,
              NameRedefined = 1041, Timeout = 1100, SyntaxError = 1002, ExpectedEndOfStatement = 1025,
              Unterminated = 1033, InvalidCharacter = 1032;
}

// Classic description for an error number ("" if unknown).
std::string errorText(int number);
// True for compile-time (10xx) errors.
inline bool isCompileError(int number) { return number >= 1001 && number <= 1099; }

struct ScriptError {
  int number = 0;
  std::string description;
  std::string source;   // "Microsoft VBScript runtime error" etc.
  int line = 0, column = 0;  // 1-based; 0 when not yet known
  std::string sourceLine;
  std::string module;  // module of the failing code
  std::string file;    // file the failing code was added from, when the host named one
  std::string helpFile;  // from Err.Raise
  int helpContext = 0;
};

// Throws a runtime error with its classic text.
[[noreturn]] void raise(int number);
[[noreturn]] void raise(int number, const std::string& description);

}  // namespace quillon::vbs
