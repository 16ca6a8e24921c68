// Errors are values: every fallible operation of the core returns Result<T>,
// which holds either the result or an Error carrying the message text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace ww {

// A failure message on its way out of a reader or an operation.
//
// The heap-allocated body keeps Result<T> one pointer wider than T, so the
// success path stays cheap. A JSON text reader attaches a line and column to
// errors that reach it without one (line 0 means "no position").
class Error {
 public:
  // What produced the message; the byte formats wrap record-shape errors
  // (kind Custom) differently from their own structural errors.
  enum class Kind : std::uint8_t { Custom, Format };

  Error() = default;
  static Error custom(std::string message) { return Error(Kind::Custom, std::move(message)); }
  static Error format(std::string message) { return Error(Kind::Format, std::move(message)); }
  static Error at(std::string message, std::uint64_t line, std::uint64_t column) {
    Error e(Kind::Format, std::move(message));
    e.body_->line = line;
    e.body_->column = column;
    return e;
  }

  Kind kind() const { return body_->kind; }
  const std::string& message() const { return body_->message; }
  std::uint64_t line() const { return body_->line; }
  std::uint64_t column() const { return body_->column; }
  bool has_position() const { return body_->line != 0; }

  // Attaches a position unless the error already carries one.
  void fix_position(std::uint64_t line, std::uint64_t column) {
    if (body_->line == 0) {
      body_->line = line;
      body_->column = column;
    }
  }

  // The text as a caller sees it: the message, then " at line L column C"
  // when a position is attached.
  std::string text() const;

 private:
  struct Body {
    Kind kind;
    std::string message;
    std::uint64_t line = 0;
    std::uint64_t column = 0;
  };
  Error(Kind kind, std::string message) : body_(new Body{kind, std::move(message)}) {}
  std::unique_ptr<Body> body_;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& operator*() & { return std::get<0>(v_); }
  const T& operator*() const& { return std::get<0>(v_); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  T take() { return std::move(std::get<0>(v_)); }

  const Error& error() const { return std::get<1>(v_); }
  Error& error() { return std::get<1>(v_); }
  Error take_error() { return std::move(std::get<1>(v_)); }

 private:
  std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : err_(std::move(error)), failed_(true) {}  // NOLINT

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return err_; }
  Error& error() { return err_; }
  Error take_error() { return std::move(err_); }

 private:
  Error err_;
  bool failed_ = false;
};

using Status = Result<void>;

}  // namespace ww

#define WW_CONCAT_INNER(a, b) a##b
#define WW_CONCAT(a, b) WW_CONCAT_INNER(a, b)

// Propagates the error of a Result expression.
#define WW_TRY(expr)                                   \
  do {                                                 \
    auto&& ww_try_r_ = (expr);                         \
    if (!ww_try_r_.ok()) return ww_try_r_.take_error(); \
  } while (0)

// Declares or assigns `lhs` from a Result expression, propagating its error.
#define WW_TRY_ASSIGN(lhs, expr) WW_TRY_ASSIGN_IMPL(WW_CONCAT(ww_try_v_, __LINE__), lhs, expr)
#define WW_TRY_ASSIGN_IMPL(tmp, lhs, expr)         \
  auto&& tmp = (expr);                             \
  if (!tmp.ok()) return tmp.take_error();          \
  lhs = tmp.take()
