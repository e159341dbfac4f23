#pragma once
// Runs a function when the scope ends, by return or by exception: the
// "whatever happens, afterwards ..." steps of an operation.
#include <utility>

namespace qm {

template <class F>
class ScopeExit {
  public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

  private:
    F f_;
};

}  // namespace qm
