// Internal helpers shared by the interpreter's translation units.
#pragma once

#include <memory>
#include <new>
#include <vector>

#include "interp.h"

namespace quillon::vbs {

constexpr int64_t kMaxArrayElements = int64_t(1) << 24;

// Points every procedure of a parsed program back at it.
void linkProcs(const std::shared_ptr<Program>& prog);

// Locals of one activation: taken from the interpreter's stack, heap when it is full.
struct Slots {
  Variant* vals;
  Variant** ptrs;
  int n;
  size_t base;
  size_t* sp;
  std::unique_ptr<Variant[]> heapVals;
  std::unique_ptr<Variant*[]> heapPtrs;
  Slots(std::vector<Variant>& vs, std::vector<Variant*>& ps, size_t& spr, int count) : n(count), base(spr), sp(&spr) {
    if (spr + static_cast<size_t>(count) <= vs.size()) {
      vals = &vs[spr];
      ptrs = &ps[spr];
      spr += static_cast<size_t>(count);
    } else {
      heapVals.reset(new Variant[static_cast<size_t>(count)]);
      heapPtrs.reset(new Variant*[static_cast<size_t>(count)]);
      vals = heapVals.get();
      ptrs = heapPtrs.get();
    }
    for (int i = 0; i < count; ++i) ptrs[i] = &vals[i];
  }
  ~Slots() {
    for (int i = 0; i < n; ++i) vals[i] = Variant();
    if (!heapVals) *sp = base;
  }
};

// Evaluated call arguments; simple variables are passed by reference.
struct ArgBuf {
  static constexpr int kInline = 6;
  ArgBuf() {}
  ArgBuf(const ArgBuf&) = delete;
  ArgBuf& operator=(const ArgBuf&) = delete;
  ~ArgBuf() {
    for (int i = 0; i < built; ++i) inlineTmp()[i].~Variant();
  }
  // Only the values a call uses are constructed.
  Variant* inlineTmp() { return reinterpret_cast<Variant*>(raw); }
  Variant* useInline(int count) {
    for (; built < count; ++built) new (&inlineTmp()[built]) Variant();
    return inlineTmp();
  }
  alignas(Variant) unsigned char raw[kInline * sizeof(Variant)];
  int built = 0;
  Variant* ptr[kInline];
  std::unique_ptr<Variant[]> heapTmp;
  std::unique_ptr<Variant*[]> heapPtr;
  std::vector<Variant> keep;  // arrays whose elements are passed by reference
  Args args;
};

// True for a value that evalInt may compute: integer operators on variables and literals.
bool isIntTree(const Expr& e);

inline Variant Interp::eval(Expr& e, Frame& f) {
  switch (e.kind) {
    case EK::Literal: return e.value;
    case EK::Ident:
      if (e.bind == Bind::Local) return *f.slots[e.slot];
      if (e.bind == Bind::Global) return globals_[static_cast<size_t>(e.slot)];
      return evalNode(e, f);
    case EK::Binary: return evalBinary(e, f);
    case EK::Compare: return evalCompare(e, f);
    default: return evalNode(e, f);
  }
}

}  // namespace quillon::vbs
