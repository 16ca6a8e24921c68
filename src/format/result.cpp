#include "format/result.h"

#include <charconv>

namespace ww {

std::string Error::text() const {
  std::string out = body_->message;
  if (body_->line != 0) {
    char buf[24];
    out.append(" at line ");
    out.append(buf, std::to_chars(buf, buf + sizeof buf, body_->line).ptr);
    out.append(" column ");
    out.append(buf, std::to_chars(buf, buf + sizeof buf, body_->column).ptr);
  }
  return out;
}

}  // namespace ww
