// Syntax tree. Every node keeps its line and column; the resolver fills in the
// binding fields so the interpreter never looks names up in hot paths.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "operators.h"
#include "value.h"

namespace quillon::vbs {

struct ProcDef;
struct Program;
struct ClassDecl;
struct Builtin;

enum class EK : uint8_t {
  Literal, Ident, Member, Call, Binary, Unary, Compare, New, Me, Nothing, Paren
};

// What a name turned out to be.
enum class Bind : uint8_t {
  Unresolved, Local, Global, Field, Proc, Builtin, Dynamic, ClassMember, Const
};

struct Expr {
  EK kind;
  Op op = Op::Add;
  int line = 0, col = 0;
  std::string name;                  // Ident / Member / New: lower-case name
  Variant value;                     // Literal
  std::unique_ptr<Expr> a, b;        // operands; Member/Call target in a
  std::vector<std::unique_ptr<Expr>> args;
  bool parens = false;               // Call written with parentheses
  bool litA = false, litB = false;   // Compare: operand is a literal
  bool explicitName = false;         // Dynamic name under Option Explicit
  // Binding (Ident):
  Bind bind = Bind::Unresolved;
  int slot = -1;
  struct ProcSlot* proc = nullptr;   // Bind::Proc
  const Builtin* builtin = nullptr;  // Bind::Builtin
  uint32_t dynEpoch = 0;             // Dynamic with an implicit local: names epoch it was checked at
  // Member call-site cache:
  const void* cacheKey = nullptr;
  int cacheId = -1;
  int depth = 1;                     // levels of the tree below and including this node
  Expr(EK k, int l, int c) : kind(k), line(l), col(c) {}
  ~Expr();  // frees long chains without recursion
  Expr(const Expr&) = delete;
  Expr& operator=(const Expr&) = delete;
};
using ExprP = std::unique_ptr<Expr>;

enum class SK : uint8_t {
  Assign, Set, CallStmt, Dim, ReDim, Erase, Const, If, Select, For, ForEach, Do, While,
  Exit, With, OnErrorResume, OnErrorGoto0, Nop
};

enum class ExitKind : uint8_t { Do, For, Sub, Function, Property };
enum class LoopCond : uint8_t { None, While, Until };

struct Stmt;
using Block = std::vector<std::unique_ptr<Stmt>>;

struct DimItem {
  std::string name;
  int line = 0, col = 0;
  std::vector<ExprP> bounds;   // ReDim: any expressions; Dim: constants
  bool isArray = false;        // Dim a() / Dim a(3)
  ExprP target;                // ReDim/Erase: the variable expression
};

struct CaseClause {
  std::vector<ExprP> values;   // empty for Case Else
  Block body;
  bool isElse = false;
};

struct Stmt {
  SK kind;
  int line = 0, col = 0;
  ExprP target, value, extra, step;     // Assign/Set; For: target, from=value, to=extra, step
  std::vector<DimItem> dims;            // Dim/ReDim/Erase/Const (Const: value in bounds[0])
  bool preserve = false;
  std::vector<ExprP> conds;             // If / ElseIf conditions
  std::vector<Block> blocks;            // If bodies (else last if hasElse)
  bool hasElse = false;
  std::vector<CaseClause> cases;        // Select
  Block body;                           // loops, With
  LoopCond pre = LoopCond::None, post = LoopCond::None;
  ExitKind exit = ExitKind::Do;
  int withSlot = -1;                    // With: frame slot holding the object
  int8_t intTree = -1;                  // Assign: value is integer arithmetic on variables (-1 not yet known)
  Stmt(SK k, int l, int c) : kind(k), line(l), col(c) {}
};
using StmtP = std::unique_ptr<Stmt>;

enum class ProcKind : uint8_t { Sub, Function, PropGet, PropLet, PropSet };

struct Param {
  std::string name;
  bool byRef = true;
  bool isArray = false;
};

struct ProcDef {
  std::string name;     // lower-case
  std::string display;  // as written
  ProcKind kind = ProcKind::Sub;
  std::vector<Param> params;
  Block body;
  bool isPublic = true, isDefault = false;
  int line = 0, col = 0;
  // Filled by the resolver:
  int nslots = 0;                         // params + result + locals + With temporaries
  int resultSlot = -1;
  std::vector<std::string> slotNames;
  std::vector<std::pair<int, DimItem*>> arrayDims;  // Dim'd fixed arrays to create at entry
  ClassDecl* owner = nullptr;
  std::string moduleName;
  std::shared_ptr<const std::string> source;  // module text, for error reports
  std::weak_ptr<Program> program;             // the code it belongs to (GetRef keeps it alive)
};

struct FieldDecl {
  std::string name;
  bool isPublic = true;
  DimItem dim;
};

struct ClassDecl {
  std::string name, display;
  std::vector<FieldDecl> fields;
  std::vector<std::unique_ptr<ProcDef>> procs;
  int line = 0, col = 0;
};

struct Program {
  Block top;
  std::vector<std::unique_ptr<ProcDef>> procs;
  std::vector<std::unique_ptr<ClassDecl>> classes;
  bool optionExplicit = false;
  // Filled by the resolver for the top-level code when it runs inside a procedure (Execute):
  int extraSlots = 0;
};

}  // namespace quillon::vbs
