#include "crdt/sha256_text.h"

#include <openssl/evp.h>

#include "crdt/invariant.h"

namespace ww::crdt {

std::string sha256_text(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1 || size != 32) {
    broken_invariant("the SHA-256 digest failed");
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(kSha256TextSize);
  out.append(kSha256Prefix);
  for (unsigned int i = 0; i < size; ++i) {
    out.push_back(kHex[digest[i] >> 4]);
    out.push_back(kHex[digest[i] & 0xf]);
  }
  return out;
}

}  // namespace ww::crdt
