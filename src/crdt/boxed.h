// An owned child with value semantics: copying copies the child. Policy and
// node trees hold their recursive children this way.
#pragma once

#include <memory>
#include <utility>

namespace ww::crdt {

template <class T>
class Boxed {
 public:
  Boxed() : p_(std::make_unique<T>()) {}
  Boxed(T value) : p_(std::make_unique<T>(std::move(value))) {}  // NOLINT: implicit by design
  Boxed(const Boxed& other) : p_(other.p_ ? std::make_unique<T>(*other.p_) : nullptr) {}
  // A moved-from box may only be assigned to or destroyed.
  Boxed(Boxed&& other) noexcept = default;
  Boxed& operator=(const Boxed& other) {
    if (this != &other) p_ = other.p_ ? std::make_unique<T>(*other.p_) : nullptr;
    return *this;
  }
  Boxed& operator=(Boxed&& other) noexcept = default;
  ~Boxed() = default;

  T& operator*() { return *p_; }
  const T& operator*() const { return *p_; }
  T* operator->() { return p_.get(); }
  const T* operator->() const { return p_.get(); }

  friend bool operator==(const Boxed& a, const Boxed& b) { return *a.p_ == *b.p_; }

 private:
  std::unique_ptr<T> p_;
};

}  // namespace ww::crdt
