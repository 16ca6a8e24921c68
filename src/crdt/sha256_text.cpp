#include "crdt/sha256_text.h"

#include <openssl/evp.h>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if !defined(__SSE2__)
namespace {

// The two hexadecimal digits of every byte value.
constexpr std::array<char, 512> hex_pairs() {
  constexpr char kHex[] = "0123456789abcdef";
  std::array<char, 512> out{};
  for (int b = 0; b < 256; ++b) {
    out[2 * b] = kHex[b >> 4];
    out[2 * b + 1] = kHex[b & 0xf];
  }
  return out;
}
constexpr std::array<char, 512> kHexPairs = hex_pairs();

}  // namespace
#endif

void write_sha256_text(const Sha256Digest& digest, char* out) {
  std::memcpy(out, kSha256Prefix.data(), kSha256Prefix.size());
  char* p = out + kSha256Prefix.size();
#if defined(__SSE2__)
  // Sixteen bytes at a time: split into nibbles, turn each into its digit
  // ('0' + n, and 39 more from 10 on, reaching 'a'), interleave high and low.
  const __m128i low_mask = _mm_set1_epi8(0x0f);
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i zero_char = _mm_set1_epi8('0');
  const __m128i letters = _mm_set1_epi8('a' - '0' - 10);
  auto digits = [&](__m128i n) {
    return _mm_add_epi8(_mm_add_epi8(n, zero_char), _mm_and_si128(_mm_cmpgt_epi8(n, nine), letters));
  };
  for (int half = 0; half < 2; ++half) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digest.data() + 16 * half));
    const __m128i hi = digits(_mm_and_si128(_mm_srli_epi16(v, 4), low_mask));
    const __m128i lo = digits(_mm_and_si128(v, low_mask));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_unpacklo_epi8(hi, lo));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm_unpackhi_epi8(hi, lo));
    p += 32;
  }
#else
  for (unsigned char byte : digest) {
    std::memcpy(p, &kHexPairs[2 * byte], 2);
    p += 2;
  }
#endif
}

void append_sha256_text(const Sha256Digest& digest, std::string& out) {
  char text[kSha256TextSize];
  write_sha256_text(digest, text);
  out.append(text, sizeof text);
}

std::string sha256_text(std::string_view bytes) {
  std::string out;
  out.reserve(kSha256TextSize);
  append_sha256_text(sha256_digest(bytes), out);
  return out;
}

}  // namespace ww::crdt
