// The C++ types that bodies use for the interpreter's bytes objects; text
// travels as std::string_view in and std::string out.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ww::bridge {

// A `bytes` argument: a view of the object's buffer, valid for the call.
struct ByteView {
  std::string_view data;
  std::span<const std::uint8_t> span() const {
    return {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
  }
};

// A `bytes` result.
struct Bytes {
  std::string data;
};

}  // namespace ww::bridge
