// Reads a CRDT specification from arbitrary JSON text. What reads has a
// canonical text that reads back to the same specification and normalises
// to the same text again; its hash is the SHA-256 of that text, computed
// here independently; every error text is valid UTF-8.
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "crdt/crdt_spec.h"
#include "format/debug_text.h"
#include "fuzz_support.h"

namespace {

std::string sha256_hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    ww::fuzz::fail("SHA-256 failed");
  }
  static const char kHex[] = "0123456789abcdef";
  std::string out = "sha256:";
  for (unsigned int i = 0; i < length; ++i) {
    out.push_back(kHex[digest[i] >> 4]);
    out.push_back(kHex[digest[i] & 15]);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using ww::crdt::CrdtSpec;
  const std::string text = ww::fuzz::as_text(ww::fuzz::as_bytes(data, size));
  auto spec = CrdtSpec::from_json(text);
  if (!spec.ok()) {
    WW_FUZZ_CHECK(ww::is_valid_utf8(spec.error().text()), "error text is not UTF-8", spec.error().text());
    return 0;
  }
  auto canonical = CrdtSpec::to_json(*spec);
  WW_FUZZ_CHECK(canonical.ok(), "a specification that reads has no canonical text", text,
                canonical.error().text());
  auto again = CrdtSpec::from_json(*canonical);
  WW_FUZZ_CHECK(again.ok(), "the canonical text does not read back", *canonical, again.error().text());
  WW_FUZZ_CHECK(*again == *spec, "the canonical text reads to another specification", *canonical);
  auto twice = CrdtSpec::to_json(*again);
  WW_FUZZ_CHECK(twice.ok() && *twice == *canonical, "normalising twice changes the text", *canonical,
                twice.ok() ? *twice : twice.error().text());
  auto hash = CrdtSpec::hash(*spec);
  WW_FUZZ_CHECK(hash.ok() && *hash == sha256_hex(*canonical), "the hash is not that of the canonical text",
                *canonical, hash.ok() ? *hash : hash.error().text());
  return 0;
}
