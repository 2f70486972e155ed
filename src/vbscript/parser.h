// Recursive-descent parser for VBScript 5 producing the tree in ast.h.
#pragma once

#include <string_view>

#include "ast.h"

namespace quillon::vbs {

// Parses a whole module; throws ScriptError (compile error with line/column).
std::unique_ptr<Program> parseProgram(std::string_view src);
// Parses a single expression (for Eval).
ExprP parseExpression(std::string_view src);

}  // namespace quillon::vbs
