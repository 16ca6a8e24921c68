// A register's value in 16 bytes: no value, a scalar, or a text of up to 14
// bytes held in place (a text document's characters), anything larger as an
// owned Value on the heap.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "value/value.h"

namespace ww::crdt::reducer {

class StoredValue {
 public:
  static constexpr std::size_t kMaxInlineText = 14;

  StoredValue() { raw_[kTag] = kAbsent; }
  explicit StoredValue(const Value& v) { assign(v); }
  StoredValue(const StoredValue& other);
  StoredValue(StoredValue&& other) noexcept;
  StoredValue& operator=(const StoredValue& other);
  StoredValue& operator=(StoredValue&& other) noexcept;
  ~StoredValue() { release(); }

  bool present() const { return raw_[kTag] != kAbsent; }
  Value::Kind kind() const;
  // A copy of the value; the value must be present.
  Value get() const;
  // Value equality (a NaN float never equals itself); false when absent.
  bool equals(const Value& v) const;
  // The JSON form of the value, as write_value_json writes it.
  void write_json(std::string& out) const;
  // A text held in place or on the heap; the value must be a Str.
  std::string_view str() const;
  // The JSON form of a text held in place into a buffer with room for
  // kMaxPut bytes; nullptr (nothing written) for any other value.
  static constexpr std::size_t kMaxPut = 8 + 6 * kMaxInlineText + 3;
  char* put_inline_str(char* p) const;

 private:
  static constexpr std::size_t kTag = 15;
  static constexpr std::size_t kLength = 14;
  static constexpr std::size_t kMaxInline = kMaxInlineText;
  static constexpr unsigned char kHeap = 8;
  static constexpr unsigned char kAbsent = 9;

  void assign(const Value& v);
  void release();
  const Value* heap() const;

  alignas(8) unsigned char raw_[16];
};

}  // namespace ww::crdt::reducer
