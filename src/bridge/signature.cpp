#include "bridge/signature.h"

namespace ww::bridge {

std::string Signature::display_name() const {
  std::string out;
  if (owner != nullptr) {
    out += owner;
    out += '.';
  }
  out += name;
  out += "()";
  return out;
}

std::string Signature::parameter_list(bool with_self) const {
  std::string out = "(";
  if (with_self) out += "$self";
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 || with_self) out += ", ";
    out += params[i];
    if (i >= required) out += "=None";
  }
  out += ')';
  return out;
}

std::string make_docstring(const char* name, const std::string& parameter_list, const char* text) {
  std::string out = name;
  out += parameter_list;
  out += "\n--\n\n";
  out += text;
  return out;
}

}  // namespace ww::bridge
