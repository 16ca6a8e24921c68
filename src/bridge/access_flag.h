// The per-instance access flag: one signed word, 0 free, -1 held by one
// exclusive caller, n > 0 held by n shared callers. Only compare-exchange
// updates it, so the rules hold even without the interpreter lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "bridge/python.h"

namespace ww::bridge {

enum class Access { None, Shared, Exclusive };

class AccessFlag {
 public:
  bool try_exclusive() {
    std::intptr_t expected = 0;
    return word_.compare_exchange_strong(expected, -1, std::memory_order_acquire);
  }
  bool try_shared() {
    std::intptr_t seen = word_.load(std::memory_order_relaxed);
    while (seen != -1) {
      if (word_.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire)) return true;
    }
    return false;
  }
  void release_exclusive() { word_.store(0, std::memory_order_release); }
  void release_shared() { word_.fetch_sub(1, std::memory_order_release); }

 private:
  std::atomic<std::intptr_t> word_{0};
};

// Holds the flag for one call and gives it back on every exit path.
class Borrow {
 public:
  Borrow() = default;
  Borrow(const Borrow&) = delete;
  Borrow& operator=(const Borrow&) = delete;
  ~Borrow() {
    if (access_ == Access::Exclusive) flag_->release_exclusive();
    if (access_ == Access::Shared) flag_->release_shared();
  }

  // False, with RuntimeError set, when the flag is held in a conflicting way.
  bool acquire(AccessFlag& flag, Access access) {
    if (access == Access::Exclusive && !flag.try_exclusive()) {
      PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
      return false;
    }
    if (access == Access::Shared && !flag.try_shared()) {
      PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
      return false;
    }
    flag_ = &flag;
    access_ = access;
    return true;
  }

 private:
  AccessFlag* flag_ = nullptr;
  Access access_ = Access::None;
};

}  // namespace ww::bridge
