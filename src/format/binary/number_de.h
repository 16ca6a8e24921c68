// A number standing for a whole item, and the list a byte string makes: the
// pieces of the MessagePack and CBOR readers that know nothing of either
// format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::binary {

// A number read in place of an item (a byte of a byte string taken as a
// list, the number of a CBOR tag taken as a name): an unsigned integer,
// whatever is asked for.
class NumberDe {
 public:
  static constexpr rec::Family family = rec::Family::Binary;
  explicit NumberDe(std::uint64_t n) : n_(n) {}
  template <class V> Result<rec::OutOf<V>> any(V&& v) { return v.visit_u64(rec::Ctx{family}, n_); }
  template <class V> Result<rec::OutOf<V>> boolean(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> u64(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> i64(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> f64(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> str(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> bytes(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> identifier(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> unit(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> option(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> seq(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> map(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> struct_(std::string_view, rec::Names, V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> enum_(std::string_view, rec::Names, V&& v) { return any(v); }
  Status ignored_any() { return {}; }

 private:
  std::uint64_t n_;
};

// A byte string (a MessagePack bin item) where a list is expected: the
// list of its bytes.
class ByteSeq {
 public:
  explicit ByteSeq(std::string_view bytes) : bytes_(bytes) {}
  std::size_t size_hint() const { return bytes_.size() - i_; }
  template <class F>
  Result<bool> next(F&& f) {
    if (i_ == bytes_.size()) return false;
    NumberDe de(static_cast<std::uint8_t>(bytes_[i_++]));
    WW_TRY(f(de));
    return true;
  }

 private:
  std::string_view bytes_;
  std::size_t i_ = 0;
};

}  // namespace ww::binary
