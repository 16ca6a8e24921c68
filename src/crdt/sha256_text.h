// "sha256:" and the 64 lowercase hexadecimal digits of a SHA-256 digest: the
// form of specification hashes and operation fingerprints.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace ww::crdt {

inline constexpr std::string_view kSha256Prefix = "sha256:";
inline constexpr std::size_t kSha256TextSize = 71;

using Sha256Digest = std::array<unsigned char, 32>;

Sha256Digest sha256_digest(std::string_view bytes);

// Digests many texts one after another with one digest context, which
// spares the set-up that a one-off digest pays each time.
class Sha256Hasher {
 public:
  Sha256Hasher();
  Sha256Hasher(const Sha256Hasher&) = delete;
  Sha256Hasher& operator=(const Sha256Hasher&) = delete;
  ~Sha256Hasher();

  Sha256Digest digest(std::string_view bytes);

 private:
  struct Impl;
  Impl* impl_;
};
// "sha256:" and the hex digits of a digest: written to the kSha256TextSize
// bytes at `out`, or appended to `out`.
void write_sha256_text(const Sha256Digest& digest, char* out);
void append_sha256_text(const Sha256Digest& digest, std::string& out);
std::string sha256_text(std::string_view bytes);

}  // namespace ww::crdt
