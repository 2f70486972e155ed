// Built-in function tables, one per area; builtins_core.cpp merges them.
#pragma once

#include <vector>

#include "convert.h"
#include "errors.h"
#include "interp.h"

namespace quillon::vbs {

void addCoreBuiltins(std::vector<Builtin>& out);
void addStringBuiltins(std::vector<Builtin>& out);
void addMathBuiltins(std::vector<Builtin>& out);
void addDateBuiltins(std::vector<Builtin>& out);
void addFormatBuiltins(std::vector<Builtin>& out);

// Argument helpers: optional arguments are those beyond args.n.
inline bool hasArg(Args a, int i) { return i < a.n && !a[i].isEmpty(); }
inline Variant arg(Args a, int i) { return i < a.n ? derefDefault(nullptr, a[i]) : Variant(); }
std::string strArg(Args a, int i);  // 94 on Null
int32_t longArg(Args a, int i, int32_t dflt);
Variant makeVariantArray(std::vector<Variant> items);
double nowSerial(Interp& in);

}  // namespace quillon::vbs
