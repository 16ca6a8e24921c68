// Text forms of a double. All start from the shortest digit string that
// reads back to the same double; they differ in layout.
#pragma once

#include <cstddef>
#include <string>

namespace ww {

// JSON text: fixed notation when the decimal exponent of the first digit is
// in -5..15 (integral values get ".0"), otherwise d.ddde+X / d.ddde-X.
// Non-finite values are written as null.
void append_json_double(double d, std::string& out);

// The same text written at p, which must have room for kJsonDoubleRoom
// bytes (more than the text: the bytes after it are scratch); returns the
// end of the text.
inline constexpr std::size_t kJsonDoubleRoom = 64;
char* write_json_double(double d, char* p);

// Debug form: exponent form (1e16, 1.5e-7) when x != 0 and |x| < 1e-4 or
// |x| >= 1e16, otherwise plain decimal with at least one fractional digit.
// NaN, inf, -inf.
void append_debug_double(double d, std::string& out);

// Plain decimal, never an exponent, ".0" added when there is no point
// (2.0, 0.00000015); NaN, inf, -inf. Unlike the two forms above, an exact
// tie between two shortest digit strings goes to the one farther from zero
// (-529.2258911132813 for the float 32 -529.22589111328125).
void append_plain_double(double d, std::string& out);

}  // namespace ww
