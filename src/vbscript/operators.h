// Arithmetic, concatenation, comparison and logical operators on Variants.
#pragma once

#include "value.h"

namespace quillon::vbs {

enum class Op : uint8_t {
  Add, Sub, Mul, Div, IntDiv, Mod, Pow, Concat,
  Eq, Ne, Lt, Gt, Le, Ge, Is,
  And, Or, Xor, Eqv, Imp,
  Neg, Not
};

Variant binaryOp(Op op, const Variant& a, const Variant& b);
Variant unaryOp(Op op, const Variant& a);

// Comparison result: -1, 0, 1, or 2 for Null. litA/litB mark operands written as
// literals, which changes how numbers and strings compare.
int compareValues(const Variant& a, const Variant& b, bool litA = false, bool litB = false, bool text = false);
Variant compareOp(Op op, const Variant& a, const Variant& b, bool litA, bool litB);

}  // namespace quillon::vbs
