#include "crdt/sha256_text.h"

#include <openssl/evp.h>

#include <cstring>

#include "crdt/invariant.h"

namespace ww::crdt {

Sha256Digest sha256_digest(std::string_view bytes) {
  Sha256Digest digest;
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr) != 1 || size != 32) {
    broken_invariant("the SHA-256 digest failed");
  }
  return digest;
}

struct Sha256Hasher::Impl {
  EVP_MD* md = nullptr;
  EVP_MD_CTX* ctx = nullptr;
};

Sha256Hasher::Sha256Hasher() : impl_(new Impl) {
  impl_->md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  impl_->ctx = EVP_MD_CTX_new();
  if (impl_->md == nullptr || impl_->ctx == nullptr) broken_invariant("the SHA-256 digest is unavailable");
}

Sha256Hasher::~Sha256Hasher() {
  EVP_MD_CTX_free(impl_->ctx);
  EVP_MD_free(impl_->md);
  delete impl_;
}

Sha256Digest Sha256Hasher::digest(std::string_view bytes) {
  Sha256Digest digest;
  unsigned int size = 0;
  if (EVP_DigestInit_ex2(impl_->ctx, impl_->md, nullptr) != 1 ||
      EVP_DigestUpdate(impl_->ctx, bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(impl_->ctx, digest.data(), &size) != 1 || size != 32) {
    broken_invariant("the SHA-256 digest failed");
  }
  return digest;
}

void append_sha256_text(const Sha256Digest& digest, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  char text[kSha256TextSize];
  std::memcpy(text, kSha256Prefix.data(), kSha256Prefix.size());
  char* p = text + kSha256Prefix.size();
  for (unsigned char byte : digest) {
    *p++ = kHex[byte >> 4];
    *p++ = kHex[byte & 0xf];
  }
  out.append(text, sizeof text);
}

std::string sha256_text(std::string_view bytes) {
  std::string out;
  out.reserve(kSha256TextSize);
  append_sha256_text(sha256_digest(bytes), out);
  return out;
}

}  // namespace ww::crdt
