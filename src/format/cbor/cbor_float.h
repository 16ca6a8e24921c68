// Half and single precision: the narrowest width that holds a double
// exactly, and the widening of what the reader finds.
#pragma once

#include <cstdint>
#include <optional>

namespace ww::cbor {

// The half-precision bits that widen back to exactly the bits of `d`, if
// there are any (NaN: only a quiet NaN whose payload fits 10 bits).
std::optional<std::uint16_t> exact_half(double d);
// The same for single precision.
std::optional<std::uint32_t> exact_single(double d);

// Exact widening; a NaN keeps its payload and comes out quiet.
double half_to_double(std::uint16_t bits);
double single_to_double(std::uint32_t bits);

}  // namespace ww::cbor
