// Reading a record with named fields, as an object of named members (any
// order; repeats refused; unknown members refused or skipped) or as an
// array of its field values in declaration order, where fields with a
// default may be left out at the end.
//
// Which fields an object must name and which an array may leave out differ:
// an optional field may be left out of an object but not of an array.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::crdt {

struct RecordShape {
  rec::Names fields;                  // declaration order
  std::string_view expecting;         // "struct Dot"
  std::string_view length_expecting;  // "struct Dot with 2 elements"
  bool deny_unknown;
  std::uint64_t required;   // an object without one of these: "missing field"
  std::uint64_t defaulted;  // an array may end before these
};

constexpr std::uint64_t field_bit(std::size_t i) { return std::uint64_t{1} << i; }

// Out: the set of fields given. `read(i, de)` reads field i into the record.
template <class F>
struct FieldsVisitor : rec::Visitor<FieldsVisitor<F>, std::uint64_t> {
  const RecordShape* shape;
  F* read;

  FieldsVisitor(const RecordShape& s, F& r) : shape(&s), read(&r) {}
  std::string expecting() const { return std::string(shape->expecting); }

  template <class M>
  Result<std::uint64_t> visit_map(rec::Ctx, M& map) {
    std::uint64_t present = 0;
    for (;;) {
      std::size_t i = 0;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(i, kd.identifier(rec::field_names(shape->fields, shape->deny_unknown)));
        return {};
      }));
      if (!more) break;
      if (i >= shape->fields.size()) {
        WW_TRY(map.next_value([](auto& de) -> Status { return de.ignored_any(); }));
        continue;
      }
      if (present & field_bit(i)) return rec::duplicate_field(shape->fields[i]);
      WW_TRY(map.next_value([&](auto& de) -> Status { return (*read)(i, de); }));
      present |= field_bit(i);
    }
    for (std::size_t i = 0; i < shape->fields.size(); ++i) {
      if ((shape->required & field_bit(i)) && !(present & field_bit(i))) return rec::missing_field(shape->fields[i]);
    }
    return present;
  }

  template <class S>
  Result<std::uint64_t> visit_seq(rec::Ctx, S& seq) {
    std::uint64_t present = 0;
    bool ended = false;
    for (std::size_t i = 0; i < shape->fields.size(); ++i) {
      if (!ended) {
        WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status { return (*read)(i, de); }));
        if (more) {
          present |= field_bit(i);
          continue;
        }
        ended = true;
      }
      if (!(shape->defaulted & field_bit(i))) return rec::invalid_length(i, shape->length_expecting);
    }
    return present;
  }
};

// Reads a plain record from `de`.
template <class D, class F>
Result<std::uint64_t> read_fields(D& de, const RecordShape& shape, F&& read) {
  return de.struct_(shape.expecting, shape.fields, FieldsVisitor<std::remove_reference_t<F>>(shape, read));
}

}  // namespace ww::crdt
