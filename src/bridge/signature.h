// What a callable looks like to its callers: its name, the class it belongs
// to, and its parameters, all positional-or-keyword, the optional ones last.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>

namespace ww::bridge {

inline constexpr std::size_t kMaxParams = 4;

struct Signature {
  const char* owner = nullptr;  // the class name; nullptr for a module function
  const char* name = nullptr;   // "diff", "host", "__new__"
  std::array<const char*, kMaxParams> params{};
  std::size_t count = 0;     // parameters in all
  std::size_t required = 0;  // the first `required` ones must be given

  // "diff()", "Store.host()": how argument errors name the callable.
  std::string display_name() const;
  // "(old, new)", "($self, id, ops_json, proposal=None)".
  std::string parameter_list(bool with_self) const;
};

// `optional` counts the trailing parameters that default to None.
constexpr Signature make_signature(const char* owner, const char* name,
                                   std::initializer_list<const char*> params,
                                   std::size_t optional = 0) {
  if (params.size() > kMaxParams || optional > params.size()) throw "bad signature";
  Signature sig;
  sig.owner = owner;
  sig.name = name;
  std::size_t i = 0;
  for (const char* p : params) sig.params[i++] = p;
  sig.count = params.size();
  sig.required = params.size() - optional;
  return sig;
}

// The interpreter's docstring convention: the text signature, a line "--",
// an empty line, then the text; `__text_signature__` and `__doc__` split it.
std::string make_docstring(const char* name, const std::string& parameter_list, const char* text);

}  // namespace ww::bridge
