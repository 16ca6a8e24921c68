#include "format/json/json_writer.h"

#include "format/text_scan.h"

namespace ww::json {
namespace {

// For each byte that scan::find_string_stop stops at: the escape letter,
// or 'u' for \u00xx.
constexpr char kEscape[256] = {
    'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'b', 't', 'n', 'u', 'f', 'r', 'u', 'u',
    'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u',
    0,   0,   '"', 0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   '\\', 0,  0,   0,
};

}  // namespace

void append_str(std::string_view s, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  std::size_t left = s.size();
  for (;;) {
    // Copy the run that needs no escape in one piece.
    const std::size_t run = scan::find_string_stop(p, left);
    out.append(reinterpret_cast<const char*>(p), run);
    if (run == left) break;
    const unsigned char c = p[run];
    const char esc = kEscape[c];
    if (esc == 'u') {
      const char buf[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xf]};
      out.append(buf, 6);
    } else {
      const char buf[2] = {'\\', esc};
      out.append(buf, 2);
    }
    p += run + 1;
    left -= run + 1;
  }
  out.push_back('"');
}

}  // namespace ww::json
