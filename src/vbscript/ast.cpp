#include "ast.h"

#include <vector>

namespace quillon::vbs {

// Children are moved to a work list and freed one by one, so a chain of any length never
// recurses through the destructors.
Expr::~Expr() {
  if (!a && !b && args.empty()) return;
  std::vector<std::unique_ptr<Expr>> pending;
  auto take = [&pending](Expr& e) {
    if (e.a) pending.push_back(std::move(e.a));
    if (e.b) pending.push_back(std::move(e.b));
    for (auto& x : e.args)
      if (x) pending.push_back(std::move(x));
    e.args.clear();
  };
  take(*this);
  while (!pending.empty()) {
    std::unique_ptr<Expr> e = std::move(pending.back());
    pending.pop_back();
    take(*e);
  }
}

}  // namespace quillon::vbs
