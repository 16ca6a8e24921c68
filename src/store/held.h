// One hosted model: the caller's name for its type, its current value and
// its revision (0 when hosted).
#pragma once

#include <cstdint>
#include <string>

#include "value/value.h"

namespace ww {

struct Held {
  std::string type_name;  // kept exactly as given, never interpreted
  Value value;
  std::uint64_t rev = 0;
};

}  // namespace ww
