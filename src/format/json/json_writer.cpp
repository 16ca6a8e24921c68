#include "format/json/json_writer.h"

namespace ww::json {
namespace {

// 0: copy; otherwise the escape letter, or 'u' for \u00xx.
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
  const char* p = s.data();
  const char* end = p + s.size();
  const char* run = p;
  for (; p < end; ++p) {
    char esc = kEscape[static_cast<unsigned char>(*p)];
    if (esc == 0) continue;
    out.append(run, p);
    if (esc == 'u') {
      unsigned char c = static_cast<unsigned char>(*p);
      char buf[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xf]};
      out.append(buf, 6);
    } else {
      out.push_back('\\');
      out.push_back(esc);
    }
    run = p + 1;
  }
  out.append(run, end);
  out.push_back('"');
}

}  // namespace ww::json
