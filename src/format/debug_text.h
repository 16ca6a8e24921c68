// The debug form in which error messages quote a text ("a\"b", "e\u{301}"),
// and the UTF-8 checks of the byte-format readers that produce such texts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ww {

// Appends `utf8` in double quotes: `"` and `\` get a backslash; NUL, tab,
// CR and LF read \0 \t \r \n; grapheme extenders and non-printable
// characters read \u{hex}; everything else is copied. `utf8` must be valid.
void append_debug_str(std::string_view utf8, std::string& out);
std::string debug_str(std::string_view utf8);

// ["a", "b"], or [] when empty.
void append_debug_str_list(const std::vector<std::string>& items, std::string& out);

// Printable: general category none of Zs Zl Zp Cc Cf Cs Co Cn, or U+0020.
bool is_printable(char32_t c);
bool is_grapheme_extend(char32_t c);

// The first ill-formed spot of a byte string. error_len is the length of the
// invalid sequence (1 to 3); it is empty when the input ends inside a
// sequence that more bytes could have completed.
struct Utf8Fault {
  std::size_t valid_up_to;
  std::optional<std::size_t> error_len;
};
std::optional<Utf8Fault> first_utf8_fault(std::string_view bytes);
bool is_valid_utf8(std::string_view bytes);

// "invalid utf-8 sequence of <n> bytes from index <i>" or
// "incomplete utf-8 byte sequence from index <i>".
std::string describe_utf8_fault(const Utf8Fault& fault);

// Replaces each maximal invalid subsequence with U+FFFD.
std::string utf8_lossy(std::string_view bytes);

}  // namespace ww
