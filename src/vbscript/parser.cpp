#include "parser.h"

#include <algorithm>
#include <deque>
#include <unordered_set>

#include "errors.h"
#include "lexer.h"

namespace quillon::vbs {

namespace {

constexpr int kMaxDepth = 300;
// Deepest expression tree: a chain of 2,000 terms ("a & b & ..." in generated code) is fine; the
// walks over it stay well inside the node's own thread stack.
constexpr int kMaxTreeDepth = 2000;

class Parser {
 public:
  explicit Parser(std::string_view src) : lex_(src) { ensure(0); }

  std::unique_ptr<Program> program() {
    auto p = std::make_unique<Program>();
    prog_ = p.get();
    skipNewlines();
    if (isKw("option")) {
      next();
      expectKw("explicit", err::SyntaxError);
      p->optionExplicit = true;
      endOfStatement();
    }
    while (!at(Tok::End)) {
      skipNewlines();
      if (at(Tok::End)) break;
      topLevel(p->top);
    }
    return p;
  }

  ExprP lone() {
    skipNewlines();
    ExprP e = expr();
    skipNewlines();
    if (!at(Tok::End)) fail(err::ExpectedEndOfStatement);
    return e;
  }

 private:
  // Tokens read so far; a deque keeps references to earlier tokens valid while more are read.
  mutable Lexer lex_;
  mutable std::deque<Token> t_;
  size_t p_ = 0;
  Program* prog_ = nullptr;
  int depth_ = 0;
  bool inProc_ = false, inClass_ = false;
  ProcKind procKind_ = ProcKind::Sub;
  int loopDo_ = 0, loopFor_ = 0;

  struct DepthGuard {
    Parser& p;
    explicit DepthGuard(Parser& pp) : p(pp) {
      if (++p.depth_ > kMaxDepth) p.fail(err::OutOfStack);
    }
    ~DepthGuard() { --p.depth_; }
  };

  void ensure(size_t index) const {
    while (index >= t_.size() && !lex_.finished()) lex_.fill(t_, t_.size() + 256);
  }
  const Token& cur() const { ensure(p_); return t_[p_]; }
  const Token& peek(size_t k = 1) const {
    ensure(p_ + k);
    return t_[std::min(p_ + k, t_.size() - 1)];
  }
  bool at(Tok k) const { return cur().kind == k; }
  bool isKw(const char* kw) const { return cur().kind == Tok::Ident && !cur().bracketed && cur().text == kw; }
  bool peekKw(size_t k, const char* kw) const {
    return peek(k).kind == Tok::Ident && !peek(k).bracketed && peek(k).text == kw;
  }
  const Token& next() {
    ensure(p_ + 1);
    const Token& t = t_[p_];
    if (p_ + 1 < t_.size()) ++p_;
    return t;
  }
  [[noreturn]] void fail(int number) const { fail(number, cur()); }
  [[noreturn]] void fail(int number, const Token& t) const {
    std::string src = number == err::OutOfStack ? "Microsoft VBScript runtime error" : "Microsoft VBScript compilation error";
    throw ScriptError{number, errorText(number), src, t.line, t.col, {}, {}, {}, {}, 0};
  }
  void expect(Tok k, int number) { if (!at(k)) fail(number); next(); }
  void expectKw(const char* kw, int number) { if (!isKw(kw)) fail(number); next(); }
  bool acceptKw(const char* kw) { if (isKw(kw)) { next(); return true; } return false; }
  bool accept(Tok k) { if (at(k)) { next(); return true; } return false; }
  bool atEos() const { return at(Tok::Newline) || at(Tok::Colon) || at(Tok::End); }
  void skipNewlines() { while (at(Tok::Newline) || at(Tok::Colon)) next(); }
  // A statement ends at a line end, ":", Else, or an "End ..." on the same line.
  void endOfStatement() {
    if (!atEos() && !isKw("else") && !isKw("end")) fail(err::ExpectedEndOfStatement);
  }

  static bool reserved(const std::string& w) {
    static const std::unordered_set<std::string> kw = {
        "and", "call", "case", "class", "const", "dim", "do", "each", "else", "elseif", "empty", "end",
        "eqv", "erase", "exit", "false", "for", "function", "get", "if", "imp", "in", "is", "let", "loop",
        "mod", "new", "next", "not", "nothing", "null", "on", "option", "or", "preserve", "private",
        "public", "redim", "select", "set", "sub", "then", "to", "true", "until", "wend", "while", "with",
        "xor", "me"};
    return kw.count(w) != 0;
  }
  std::string identifier(std::string* raw = nullptr) {
    if (!at(Tok::Ident) || (reserved(cur().text) && !cur().bracketed)) fail(1010);
    if (raw) *raw = cur().raw;
    return next().text;
  }
  // After a dot any word is a member name, keywords included.
  std::string memberName() {
    if (!at(Tok::Ident)) fail(1010);
    return next().text;
  }

  // ---- top level ----
  void topLevel(Block& out) {
    bool isPublic = true, isDefault = false, hadVis = false;
    if (isKw("public") || isKw("private")) {
      if ((peekKw(1, "sub") || peekKw(1, "function") || peekKw(1, "property") || peekKw(1, "default") ||
           peekKw(1, "const") || peekKw(1, "class")) || peek().kind == Tok::Ident) {
        isPublic = cur().text == "public";
        hadVis = true;
        next();
        if (isKw("default")) { isDefault = true; next(); }
      }
    }
    if (isKw("sub") || isKw("function") || propertyDecl(0)) {
      prog_->procs.push_back(procedure(isPublic, isDefault, nullptr));
      return;
    }
    if (isKw("class")) { classDecl(); return; }
    if (hadVis) {
      if (isKw("const")) { out.push_back(constStmt()); return; }
      out.push_back(dimList(cur()));
      return;
    }
    statementLine(out);
  }

  void classDecl() {
    const Token& start = cur();
    next();
    auto c = std::make_unique<ClassDecl>();
    c->line = start.line;
    c->col = start.col;
    c->name = identifier(&c->display);
    endOfStatement();
    inClass_ = true;
    for (;;) {
      skipNewlines();
      if (at(Tok::End)) fail(1014);
      if (isKw("end")) {
        next();
        expectKw("class", 1047);
        break;
      }
      bool isPublic = true, isDefault = false;
      if (isKw("public") || isKw("private")) {
        isPublic = cur().text == "public";
        next();
        if (isKw("default")) {
          if (!isPublic) fail(1057);
          isDefault = true;
          next();
        }
      } else if (isKw("dim")) {
        next();
      } else if (!(isKw("sub") || isKw("function") || isKw("property"))) {
        fail(err::SyntaxError);
      }
      if (isKw("sub") || isKw("function") || isKw("property")) {
        c->procs.push_back(procedure(isPublic, isDefault, c.get()));
        continue;
      }
      if (isKw("const")) fail(err::SyntaxError);
      // Field list.
      do {
        FieldDecl f;
        f.isPublic = isPublic;
        f.dim = dimItem(false);
        f.name = f.dim.name;
        c->fields.push_back(std::move(f));
      } while (accept(Tok::Comma));
      endOfStatement();
    }
    inClass_ = false;
    prog_->classes.push_back(std::move(c));
    endOfStatement();
  }

  std::unique_ptr<ProcDef> procedure(bool isPublic, bool isDefault, ClassDecl* owner) {
    const Token& start = cur();
    auto d = std::make_unique<ProcDef>();
    d->line = start.line;
    d->col = start.col;
    d->isPublic = isPublic;
    d->isDefault = isDefault;
    d->owner = owner;
    std::string kw = next().text;
    if (kw == "sub") d->kind = ProcKind::Sub;
    else if (kw == "function") d->kind = ProcKind::Function;
    else {
      if (!owner) fail(1048, start);
      if (acceptKw("get")) d->kind = ProcKind::PropGet;
      else if (acceptKw("let")) d->kind = ProcKind::PropLet;
      else if (acceptKw("set")) d->kind = ProcKind::PropSet;
      else fail(1049);
    }
    if (isDefault && d->kind != ProcKind::PropGet && d->kind != ProcKind::Function && d->kind != ProcKind::Sub) fail(1058);
    d->name = identifier(&d->display);
    if (accept(Tok::LParen)) {
      if (!at(Tok::RParen)) {
        do {
          Param p;
          if (acceptKw("byval")) p.byRef = false;
          else if (acceptKw("byref")) p.byRef = true;
          p.name = identifier();
          if (accept(Tok::LParen)) { expect(Tok::RParen, 1006); p.isArray = true; }
          for (auto& q : d->params) if (q.name == p.name) fail(err::NameRedefined);
          d->params.push_back(std::move(p));
        } while (accept(Tok::Comma));
      }
      expect(Tok::RParen, 1006);
    }
    if ((d->kind == ProcKind::PropLet || d->kind == ProcKind::PropSet) && d->params.empty()) fail(1054);
    if (owner && (d->name == "class_initialize" || d->name == "class_terminate") && !d->params.empty()) fail(1053);
    if (!at(Tok::Ident)) endOfStatement();  // "Sub F() x = 1 End Sub" on one line
    bool savedIn = inProc_;
    ProcKind savedKind = procKind_;
    int sd = loopDo_, sf = loopFor_;
    inProc_ = true;
    procKind_ = d->kind;
    loopDo_ = loopFor_ = 0;
    const char* endWord = d->kind == ProcKind::Sub ? "sub" : d->kind == ProcKind::Function ? "function" : "property";
    int endErr = d->kind == ProcKind::Sub ? 1016 : d->kind == ProcKind::Function ? 1015 : 1050;
    block(d->body, [&] { return isKw("end") && peekKw(1, endWord); });
    next();
    next();
    (void)endErr;
    inProc_ = savedIn;
    procKind_ = savedKind;
    loopDo_ = sd;
    loopFor_ = sf;
    endOfStatement();
    return d;
  }

  // Parses statements until stop() is true at the start of a statement.
  template <class F>
  void block(Block& out, F stop, int eofError = 1014) {
    DepthGuard g(*this);
    for (;;) {
      skipNewlines();
      if (at(Tok::End)) fail(eofError);
      if (stop()) return;
      // Outside procedures and classes a block may declare procedures and classes (as
      // generated or included code does inside "If ... End If"); they belong to the module.
      if (!inProc_ && !inClass_ && startsDeclaration()) topLevel(out);
      else statementLine(out);
    }
  }

  // "Property" starts a declaration only as Property Get/Let/Set; otherwise it is a name.
  bool propertyDecl(size_t k) const {
    return peekKw(k, "property") && (peekKw(k + 1, "get") || peekKw(k + 1, "let") || peekKw(k + 1, "set"));
  }
  bool startsDeclaration() {
    auto decl = [&](size_t k) {
      return peekKw(k, "sub") || peekKw(k, "function") || propertyDecl(k) || peekKw(k, "class");
    };
    if (isKw("public") || isKw("private")) return decl(1) || (peekKw(1, "default") && decl(2));
    return decl(0);
  }

  void statementLine(Block& out) {
    if (isKw("sub") || isKw("function") || isKw("class") || propertyDecl(0)) {
      if (inProc_ || inClass_ || depth_ > 0) fail(err::SyntaxError);
    }
    out.push_back(statement());
    if (!atEos() && !isKw("end")) fail(err::ExpectedEndOfStatement);
  }

  // ---- statements ----
  StmtP statement() {
    DepthGuard g(*this);
    const Token& st = cur();
    if (st.kind != Tok::Ident && st.kind != Tok::Dot) fail(1024);
    const std::string& w = st.text;
    if (st.kind == Tok::Ident && !st.bracketed) {
      if (w == "dim") { next(); return dimList(st); }
      if (w == "redim") return redim();
      if (w == "erase") {
        next();
        auto s = std::make_unique<Stmt>(SK::Erase, st.line, st.col);
        DimItem d;
        d.line = cur().line;
        d.col = cur().col;
        d.target = postfix(false);
        s->dims.push_back(std::move(d));
        return s;
      }
      if (w == "const") return constStmt();
      // Stop breaks into a debugger; without one attached it does nothing.
      if (w == "stop" && (peek().kind == Tok::Newline || peek().kind == Tok::Colon || peek().kind == Tok::End ||
                          peekKw(1, "else"))) {
        next();
        return std::make_unique<Stmt>(SK::Nop, st.line, st.col);
      }
      if (w == "if") return ifStmt();
      if (w == "select") return selectStmt();
      if (w == "for") return forStmt();
      if (w == "do") return doStmt();
      if (w == "while") return whileStmt();
      if (w == "with") return withStmt();
      if (w == "exit") return exitStmt();
      if (w == "on") return onError();
      if (w == "set") {
        next();
        auto s = std::make_unique<Stmt>(SK::Set, st.line, st.col);
        s->target = postfix(false);
        expect(Tok::Eq, 1011);
        s->value = expr();
        return s;
      }
      if (w == "let") next();
      if (w == "call") {
        next();
        auto s = std::make_unique<Stmt>(SK::CallStmt, st.line, st.col);
        s->target = postfix(false);
        return s;
      }
      if (w == "public" || w == "private") {
        if (inProc_) fail(err::SyntaxError);
        next();
        if (isKw("const")) return constStmt();
        return dimList(st);
      }
      if (w == "option") fail(1042);
      if (reserved(w) && w != "me") fail(1024);
    }
    // Assignment or call statement.
    size_t start = p_;
    ExprP lhs = postfix(true);
    if (lhs->kind == EK::Call && lhs->parens && lhs->a->kind != EK::Call && !atEos() && !at(Tok::Eq) &&
        !isKw("else") && !isKw("end")) {
      // "F(x) + 1" as a statement: the parentheses belong to the first argument, "(x) + 1".
      size_t lp = start;
      while (lp < p_ && t_[lp].kind != Tok::LParen) ++lp;
      p_ = lp;
      lhs = std::move(lhs->a);
    }
    if (at(Tok::Eq)) {
      next();
      auto s = std::make_unique<Stmt>(SK::Assign, st.line, st.col);
      if (lhs->kind == EK::Literal || lhs->kind == EK::Me) fail(err::SyntaxError);
      s->target = std::move(lhs);
      s->value = expr();
      return s;
    }
    auto s = std::make_unique<Stmt>(SK::CallStmt, st.line, st.col);
    if (!atEos() && !isKw("else")) {
      // Arguments without parentheses: wrap the target in a call node.
      if (lhs->kind == EK::Call && !lhs->parens) fail(err::ExpectedEndOfStatement);
      auto call = std::make_unique<Expr>(EK::Call, lhs->line, lhs->col);
      call->a = std::move(lhs);
      do {
        call->args.push_back(argument());
      } while (accept(Tok::Comma));
      s->target = std::move(call);
    } else {
      s->target = std::move(lhs);
    }
    return s;
  }

  DimItem dimItem(bool redimForm) {
    DimItem d;
    d.line = cur().line;
    d.col = cur().col;
    d.name = identifier();
    if (accept(Tok::LParen)) {
      d.isArray = true;
      if (!at(Tok::RParen)) {
        do {
          if (redimForm) d.bounds.push_back(expr());
          else {
            ExprP e = expr();
            if (e->kind != EK::Literal && !(e->kind == EK::Ident)) fail(1026);
            d.bounds.push_back(std::move(e));
          }
        } while (accept(Tok::Comma));
      }
      expect(Tok::RParen, 1006);
    }
    return d;
  }

  StmtP dimList(const Token& st) {
    auto s = std::make_unique<Stmt>(SK::Dim, st.line, st.col);
    do s->dims.push_back(dimItem(false));
    while (accept(Tok::Comma));
    return s;
  }

  StmtP redim() {
    const Token& st = next();
    auto s = std::make_unique<Stmt>(SK::ReDim, st.line, st.col);
    s->preserve = acceptKw("preserve");
    do {
      DimItem d;
      d.line = cur().line;
      d.col = cur().col;
      ExprP e = postfix(false);
      if (e->kind != EK::Call || e->args.empty()) fail(1005);
      d.name = e->a->kind == EK::Ident ? e->a->name : std::string();
      d.bounds = std::move(e->args);
      d.target = std::move(e->a);
      d.isArray = true;
      s->dims.push_back(std::move(d));
    } while (accept(Tok::Comma));
    return s;
  }

  StmtP constStmt() {
    const Token& st = next();
    auto s = std::make_unique<Stmt>(SK::Const, st.line, st.col);
    do {
      DimItem d;
      d.line = cur().line;
      d.col = cur().col;
      d.name = identifier();
      expect(Tok::Eq, 1011);
      d.bounds.push_back(expr());
      s->dims.push_back(std::move(d));
    } while (accept(Tok::Comma));
    return s;
  }

  StmtP ifStmt() {
    const Token& st = next();
    auto s = std::make_unique<Stmt>(SK::If, st.line, st.col);
    s->conds.push_back(expr());
    expectKw("then", 1017);
    if (!at(Tok::Newline) && !at(Tok::End)) {
      // Single-line form: statements separated by ':' up to Else / end of line.
      if (at(Tok::Colon)) next();
      s->blocks.emplace_back();
      inlineStatements(s->blocks.back());
      if (acceptKw("else")) {
        s->hasElse = true;
        s->blocks.emplace_back();
        inlineStatements(s->blocks.back());
      }
      if (isKw("end") && peekKw(1, "if")) { next(); next(); }
      return s;
    }
    s->blocks.emplace_back();
    auto stop = [&] { return isKw("elseif") || isKw("else") || (isKw("end") && peekKw(1, "if")); };
    block(s->blocks.back(), stop);
    for (;;) {
      if (acceptKw("elseif")) {
        s->conds.push_back(expr());
        expectKw("then", 1017);
        s->blocks.emplace_back();
        if (!atEos()) {
          inlineStatements(s->blocks.back());
        }
        block(s->blocks.back(), stop);
      } else if (acceptKw("else")) {
        s->hasElse = true;
        s->blocks.emplace_back();
        block(s->blocks.back(), [&] { return isKw("end") && peekKw(1, "if"); });
      } else {
        next();
        next();
        return s;
      }
    }
  }

  void inlineStatements(Block& out) {
    for (;;) {
      if (at(Tok::Newline) || at(Tok::End) || isKw("else")) return;
      if (isKw("end") && peekKw(1, "if")) return;
      if (at(Tok::Colon)) { next(); continue; }
      out.push_back(statement());
      if (!atEos() && !isKw("else") && !(isKw("end") && peekKw(1, "if"))) fail(err::ExpectedEndOfStatement);
    }
  }

  StmtP selectStmt() {
    const Token& st = next();
    expectKw("case", 1021);
    auto s = std::make_unique<Stmt>(SK::Select, st.line, st.col);
    s->value = expr();
    endOfStatement();
    skipNewlines();
    while (!(isKw("end") && peekKw(1, "select"))) {
      if (!isKw("case")) fail(1021);
      next();
      CaseClause c;
      if (acceptKw("else")) c.isElse = true;
      else {
        do c.values.push_back(expr());
        while (accept(Tok::Comma));
      }
      block(c.body, [&] { return isKw("case") || (isKw("end") && peekKw(1, "select")); });
      bool wasElse = c.isElse;
      s->cases.push_back(std::move(c));
      if (wasElse && !(isKw("end") && peekKw(1, "select"))) fail(1022);
    }
    next();
    next();
    return s;
  }

  StmtP forStmt() {
    const Token& st = next();
    if (acceptKw("each")) {
      auto s = std::make_unique<Stmt>(SK::ForEach, st.line, st.col);
      s->target = identExpr();
      expectKw("in", 1046);
      s->value = expr();
      endOfStatement();
      ++loopFor_;
      block(s->body, [&] { return isKw("next"); }, 1020);
      --loopFor_;
      next();
      return s;
    }
    auto s = std::make_unique<Stmt>(SK::For, st.line, st.col);
    s->target = identExpr();
    expect(Tok::Eq, 1011);
    s->value = expr();
    expectKw("to", 1013);
    s->extra = expr();
    if (acceptKw("step")) s->step = expr();
    endOfStatement();
    ++loopFor_;
    block(s->body, [&] { return isKw("next"); }, 1020);
    --loopFor_;
    next();
    if (at(Tok::Ident) && !reserved(cur().text)) next();  // Next i
    return s;
  }

  ExprP identExpr() {
    const Token& t = cur();
    auto e = std::make_unique<Expr>(EK::Ident, t.line, t.col);
    e->name = identifier();
    return e;
  }

  StmtP doStmt() {
    const Token& st = next();
    auto s = std::make_unique<Stmt>(SK::Do, st.line, st.col);
    if (acceptKw("while")) { s->pre = LoopCond::While; s->value = expr(); }
    else if (acceptKw("until")) { s->pre = LoopCond::Until; s->value = expr(); }
    endOfStatement();
    ++loopDo_;
    block(s->body, [&] { return isKw("loop"); }, 1019);
    --loopDo_;
    next();
    if (acceptKw("while")) { if (s->pre != LoopCond::None) fail(err::ExpectedEndOfStatement); s->post = LoopCond::While; s->value = expr(); }
    else if (acceptKw("until")) { if (s->pre != LoopCond::None) fail(err::ExpectedEndOfStatement); s->post = LoopCond::Until; s->value = expr(); }
    return s;
  }

  StmtP whileStmt() {
    const Token& st = next();
    auto s = std::make_unique<Stmt>(SK::While, st.line, st.col);
    s->value = expr();
    endOfStatement();
    block(s->body, [&] { return isKw("wend"); }, 1018);
    next();
    return s;
  }

  StmtP withStmt() {
    const Token& st = next();
    auto s = std::make_unique<Stmt>(SK::With, st.line, st.col);
    s->value = expr();
    endOfStatement();
    block(s->body, [&] { return isKw("end") && peekKw(1, "with"); });
    next();
    next();
    return s;
  }

  StmtP exitStmt() {
    const Token& st = next();
    auto s = std::make_unique<Stmt>(SK::Exit, st.line, st.col);
    if (acceptKw("do")) { if (!loopDo_) fail(1039, st); s->exit = ExitKind::Do; }
    else if (acceptKw("for")) { if (!loopFor_) fail(1039, st); s->exit = ExitKind::For; }
    else if (acceptKw("sub")) { if (!inProc_ || procKind_ != ProcKind::Sub) fail(1039, st); s->exit = ExitKind::Sub; }
    else if (acceptKw("function")) { if (!inProc_ || procKind_ != ProcKind::Function) fail(1039, st); s->exit = ExitKind::Function; }
    else if (acceptKw("property")) {
      if (!inProc_ || procKind_ == ProcKind::Sub || procKind_ == ProcKind::Function) fail(1039, st);
      s->exit = ExitKind::Property;
    } else fail(err::SyntaxError);
    return s;
  }

  StmtP onError() {
    const Token& st = next();
    expectKw("error", err::SyntaxError);
    if (acceptKw("resume")) {
      expectKw("next", err::SyntaxError);
      return std::make_unique<Stmt>(SK::OnErrorResume, st.line, st.col);
    }
    expectKw("goto", err::SyntaxError);
    if (!at(Tok::Number) || cur().text != "0") fail(err::SyntaxError);
    next();
    return std::make_unique<Stmt>(SK::OnErrorGoto0, st.line, st.col);
  }

  // An argument may be left out ("f(1, , 3)"): it is passed as Empty.
  ExprP argument() {
    if (at(Tok::Comma) || at(Tok::RParen) || atEos()) return std::make_unique<Expr>(EK::Literal, cur().line, cur().col);
    return expr();
  }

  // ---- expressions, lowest precedence first ----
  ExprP expr() { DepthGuard g(*this); return impExpr(); }

  ExprP binary(Op op, ExprP l, ExprP r, const Token& t) {
    auto e = std::make_unique<Expr>(EK::Binary, t.line, t.col);
    e->op = op;
    e->a = std::move(l);
    e->b = std::move(r);
    deepen(*e);
    return e;
  }
  // Sets a node's depth from its children. Operator chains are parsed in loops, so their trees
  // can grow deeper than the nesting the guard counts; the evaluator and the resolver walk them
  // recursively, so a tree deeper than the limit is refused with "Out of stack space".
  void deepen(Expr& e) {
    int d = 0;
    if (e.a) d = e.a->depth;
    if (e.b) d = std::max(d, e.b->depth);
    for (auto& x : e.args) d = std::max(d, x->depth);
    e.depth = d + 1;
    if (e.depth > kMaxTreeDepth) fail(err::OutOfStack);
  }

  // Binary operators by level, loosest first; "Not" and the comparisons sit between And and
  // "&". Each level is a left-associative chain parsed in a loop.
  enum Level { kImp, kEqv, kXor, kOr, kAnd, kNotLevel, kConcat = kNotLevel + 1, kAdd, kMod, kIntDiv, kMul, kPow };
  bool binaryOpAt(int level, Op& op) const {
    switch (level) {
      case kImp: op = Op::Imp; return isKw("imp");
      case kEqv: op = Op::Eqv; return isKw("eqv");
      case kXor: op = Op::Xor; return isKw("xor");
      case kOr: op = Op::Or; return isKw("or");
      case kAnd: op = Op::And; return isKw("and");
      case kConcat: op = Op::Concat; return at(Tok::Amp);
      case kAdd: op = at(Tok::Plus) ? Op::Add : Op::Sub; return at(Tok::Plus) || at(Tok::Minus);
      case kMod: op = Op::Mod; return isKw("mod");
      case kIntDiv: op = Op::IntDiv; return at(Tok::Backslash);
      case kMul: op = at(Tok::Star) ? Op::Mul : Op::Div; return at(Tok::Star) || at(Tok::Slash);
      case kPow: op = Op::Pow; return at(Tok::Caret);  // a sign binds tighter: "-3 ^ 2" is 9
      default: return false;
    }
  }
  ExprP operand(int level) {
    if (level == kNotLevel) return notExpr();
    if (level > kPow) return unaryExpr();
    return binaryLevel(level);
  }
  ExprP binaryLevel(int level) {
    ExprP l = operand(level + 1);
    Op op;
    while (binaryOpAt(level, op)) {
      const Token& t = next();
      l = binary(op, std::move(l), operand(level + 1), t);
    }
    return l;
  }
  ExprP impExpr() { return binaryLevel(kImp); }
  ExprP concatExpr() { return binaryLevel(kConcat); }
  ExprP notExpr() {
    if (isKw("not")) {
      DepthGuard g(*this);
      const Token& t = next();
      auto e = std::make_unique<Expr>(EK::Unary, t.line, t.col);
      e->op = Op::Not;
      e->a = notExpr();
      deepen(*e);
      return e;
    }
    return compareExpr();
  }
  ExprP compareExpr() {
    ExprP l = concatExpr();
    for (;;) {
      Op op;
      if (at(Tok::Eq)) op = Op::Eq;
      else if (at(Tok::Ne)) op = Op::Ne;
      else if (at(Tok::Lt)) op = Op::Lt;
      else if (at(Tok::Gt)) op = Op::Gt;
      else if (at(Tok::Le)) op = Op::Le;
      else if (at(Tok::Ge)) op = Op::Ge;
      else if (isKw("is")) op = Op::Is;
      else return l;
      const Token& t = next();
      // "=<" and "=>" are accepted by the classic engine too.
      if (op == Op::Eq && at(Tok::Lt) && !cur().spaceBefore) { next(); op = Op::Le; }
      else if (op == Op::Eq && at(Tok::Gt) && !cur().spaceBefore) { next(); op = Op::Ge; }
      else if (op == Op::Gt && at(Tok::Lt) && !cur().spaceBefore) { next(); op = Op::Ne; }
      // "a <> Not b = c" compares a with Not (b = c).
      ExprP r = isKw("not") ? notExpr() : concatExpr();
      auto e = std::make_unique<Expr>(EK::Compare, t.line, t.col);
      e->op = op;
      e->litA = isLiteral(*l);
      e->litB = isLiteral(*r);
      e->a = std::move(l);
      e->b = std::move(r);
      deepen(*e);
      l = std::move(e);
    }
  }
  static bool isLiteral(const Expr& e) {
    if (e.kind == EK::Literal) return true;
    if (e.kind == EK::Unary && e.op == Op::Neg && e.a->kind == EK::Literal) return true;
    return false;
  }
  ExprP unaryExpr() {
    if (at(Tok::Minus) || at(Tok::Plus)) {
      DepthGuard g(*this);
      const Token& t = next();
      bool neg = t.kind == Tok::Minus;
      ExprP operand = unaryExpr();
      if (!neg) return operand;
      // Fold "-literal"; the literal keeps its own type (-32768 is a Long, as 32768 is).
      if (operand->kind == EK::Literal && operand->value.isNumeric() && operand->value.type() != VT::Date) {
        operand->value = unaryOp(Op::Neg, operand->value);
        operand->line = t.line;
        operand->col = t.col;
        return operand;
      }
      auto e = std::make_unique<Expr>(EK::Unary, t.line, t.col);
      e->op = Op::Neg;
      e->a = std::move(operand);
      deepen(*e);
      return e;
    }
    return postfix(false);
  }

  // Primary with member access and calls. At statement start a "(" after a space
  // begins the argument list instead of a call.
  ExprP postfix(bool statementStart) {
    DepthGuard g(*this);
    const Token& t = cur();
    ExprP e;
    switch (t.kind) {
      case Tok::Number: case Tok::String: case Tok::Date:
        e = std::make_unique<Expr>(EK::Literal, t.line, t.col);
        e->value = t.value;
        next();
        return e;
      case Tok::LParen: {
        next();
        e = std::make_unique<Expr>(EK::Paren, t.line, t.col);
        e->a = expr();
        expect(Tok::RParen, 1006);
        break;
      }
      case Tok::Dot: {
        // With-member: ".name"
        next();
        e = std::make_unique<Expr>(EK::Member, t.line, t.col);
        e->name = memberName();
        break;
      }
      case Tok::Ident: {
        const std::string& w = t.bracketed ? std::string() : t.text;  // "[true]" is a name
        if (w == "true" || w == "false") {
          e = std::make_unique<Expr>(EK::Literal, t.line, t.col);
          e->value = Variant::boolean(w == "true");
          next();
          return e;
        }
        if (w == "empty" || w == "null") {
          e = std::make_unique<Expr>(EK::Literal, t.line, t.col);
          if (w == "null") e->value = Variant::null();
          next();
          return e;
        }
        if (w == "nothing") { next(); return std::make_unique<Expr>(EK::Nothing, t.line, t.col); }
        if (w == "new") {
          next();
          e = std::make_unique<Expr>(EK::New, t.line, t.col);
          e->name = identifier();
          return e;
        }
        if (w == "me") {
          if (!inClass_) fail(1037);
          next();
          e = std::make_unique<Expr>(EK::Me, t.line, t.col);
          break;
        }
        if (reserved(w)) fail(1023);
        e = std::make_unique<Expr>(EK::Ident, t.line, t.col);
        e->name = t.text;
        next();
        break;
      }
      default:
        fail(1023);
    }
    for (;;) {
      if (at(Tok::Dot) && (!cur().spaceBefore || cur().continued)) {  // "a _\n.b" is a.b
        const Token& d = next();
        auto m = std::make_unique<Expr>(EK::Member, d.line, d.col);
        m->name = memberName();
        m->a = std::move(e);
        deepen(*m);
        e = std::move(m);
      } else if (at(Tok::LParen) && !(statementStart && cur().spaceBefore)) {
        const Token& lp = next();
        auto c = std::make_unique<Expr>(EK::Call, lp.line, lp.col);
        c->line = e->line;
        c->col = e->col;
        c->parens = true;
        c->a = std::move(e);
        if (!at(Tok::RParen)) {
          do c->args.push_back(argument());
          while (accept(Tok::Comma));
        }
        expect(Tok::RParen, 1006);
        deepen(*c);
        e = std::move(c);
      } else {
        return e;
      }
    }
  }
};

}  // namespace

std::unique_ptr<Program> parseProgram(std::string_view src) {
  Parser p(src);
  return p.program();
}

ExprP parseExpression(std::string_view src) {
  Parser p(src);
  return p.lone();
}

}  // namespace quillon::vbs
