// Name resolution pass over a parsed module (see resolver.cpp).
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ast.h"
#include "interp.h"

namespace quillon::vbs {

class Resolver {
 public:
  Resolver(Interp& in, bool explicitNames);
  // Registers classes, procedures and globals of p, then binds all names. execFrame is
  // the running frame for Execute/ExecuteGlobal (null for a fresh module).
  void resolveProgram(Program& p, const std::string& module, std::shared_ptr<const std::string> src, Frame* execFrame);
  void resolveLoneExpr(Expr& e, Frame* frame, int& extraSlots);

 private:
  struct Scope {
    ProcDef* proc = nullptr;
    ClassDef* cls = nullptr;
    std::unordered_map<std::string, int> locals;
    std::unordered_set<std::string> implicitLocals;  // undeclared names used in a procedure
    std::vector<std::string>* names = nullptr;
    int nslots = 0;
    std::vector<int> withStack;
    bool execInProc = false;
  };
  int addSlot(const std::string& name);
  void collectDims(Block& b, std::vector<DimItem*>& out, std::vector<std::string>& consts);
  void resolveProc(ProcDef& p, ClassDef* cls);
  void resolveBlock(Block& b);
  void resolveStmt(Stmt& s);
  void resolveExpr(Expr* e, bool isTarget = false);
  void bindName(Expr& e, bool isTarget);

  Interp& in_;
  std::string module_;  // the module whose names this pass sees and defines
  bool explicit_;
  Scope* sc_ = nullptr;
};

}  // namespace quillon::vbs
