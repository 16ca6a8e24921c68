// "sha256:" and the 64 lowercase hexadecimal digits of a SHA-256 digest: the
// form of specification hashes and operation fingerprints.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ww::crdt {

inline constexpr std::string_view kSha256Prefix = "sha256:";
inline constexpr std::size_t kSha256TextSize = 71;

std::string sha256_text(std::string_view bytes);

}  // namespace ww::crdt
