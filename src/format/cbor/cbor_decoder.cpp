#include "format/cbor/cbor_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>

#include "format/cbor/cbor_float.h"
#include "format/debug_text.h"
#include "format/record/errors.h"
#include "format/record/visitor.h"

namespace ww::cbor {

Error refuse_head(const Header& h, std::string_view what) {
  using T = Header::Type;
  std::string msg = "invalid type: ";
  switch (h.type) {
    case T::Positive: rec::append_unexpected(rec::Family::Binary, rec::Unexpected::unsigned_(h.arg), msg); break;
    case T::Negative:
      // -1 - n in 64 bits; a head beyond -2^63 wraps around.
      rec::append_unexpected(rec::Family::Binary, rec::Unexpected::signed_(static_cast<std::int64_t>(~h.arg)), msg);
      break;
    case T::Bytes: msg += "bytes"; break;
    case T::Text: msg += "string"; break;
    case T::Array: msg += "sequence"; break;
    case T::Map: msg += "map"; break;
    case T::Tag: msg += "tag"; break;
    case T::Simple:
      if (h.arg == kFalse || h.arg == kTrue) {
        rec::append_unexpected(rec::Family::Binary, rec::Unexpected::boolean(h.arg == kTrue), msg);
      } else {
        msg += h.arg == kNull ? "null" : h.arg == kUndefined ? "undefined" : "simple";
      }
      break;
    case T::Float: rec::append_unexpected(rec::Family::Binary, rec::Unexpected::floating(h.f), msg); break;
    case T::Break: msg += "break"; break;
  }
  msg += ", expected ";
  msg += what;
  return rec::custom(std::move(msg));
}

Result<Header> Decoder::pull() {
  Header h;
  h.offset = pos_;
  if (pos_ == len_) return io_eof();
  const unsigned char initial = p_[pos_++];
  const unsigned major = initial >> 5;
  const unsigned info = initial & 0x1f;
  bool more = false;
  std::uint64_t arg = info;
  if (info >= 24 && info <= 27) {
    const std::size_t n = std::size_t{1} << (info - 24);
    if (remaining() < n) return io_eof();
    arg = 0;
    for (std::size_t i = 0; i < n; ++i) arg = (arg << 8) | p_[pos_ + i];
    pos_ += n;
  } else if (info == 31) {
    more = true;
  } else if (info > 27) {
    return syntax(h.offset);
  }
  using T = Header::Type;
  switch (major) {
    case 0: h.type = T::Positive; break;
    case 1: h.type = T::Negative; break;
    case 2: h.type = T::Bytes; break;
    case 3: h.type = T::Text; break;
    case 4: h.type = T::Array; break;
    case 5: h.type = T::Map; break;
    case 6: h.type = T::Tag; break;
    default:
      if (more) {
        h.type = T::Break;
      } else if (info < 25) {
        h.type = T::Simple;  // in the initial byte, or (24) the next one
      } else {
        h.type = T::Float;
        h.f = info == 25   ? half_to_double(static_cast<std::uint16_t>(arg))
              : info == 26 ? single_to_double(static_cast<std::uint32_t>(arg))
                           : std::bit_cast<double>(arg);
      }
      h.arg = arg;
      return h;
  }
  if (more) {
    // Integers and tags have no indefinite form.
    if (major <= 1 || major == 6) return syntax(h.offset);
    h.definite = false;
  }
  h.arg = more ? 0 : arg;
  return h;
}

Result<std::string_view> Decoder::text(const Header& h, std::string& buf) {
  if (h.definite && h.arg <= remaining()) {
    // All there: the chunks are UTF-8 exactly when the whole is.
    WW_TRY_ASSIGN(std::string_view s, take(h.arg));
    if (!is_valid_utf8(s)) return syntax(h.offset);
    return s;
  }
  buf.clear();
  WW_TRY(segments(h, [&](std::uint64_t len, std::size_t head) { return text_segment(len, head, buf); }));
  return std::string_view(buf);
}

Status Decoder::text_segment(std::uint64_t len, std::size_t head, std::string& out) {
  if (len > remaining()) return short_text_segment(len, head);
  WW_TRY_ASSIGN(std::string_view s, take(len));
  if (!is_valid_utf8(s)) return syntax(head);
  out.append(s);
  return {};
}

Error Decoder::short_text_segment(std::uint64_t len, std::size_t head) {
  // Each chunk fills the scratch buffer behind the bytes carried over from
  // the previous one; an invalid tail longer than a character's 3 bytes
  // fails at once.
  char carry[3];
  std::size_t stored = 0;
  std::uint64_t unread = len;
  std::string full;
  for (;;) {
    const std::size_t prev = stored;
    if (unread == 0) return syntax(head);  // an unfinished character at the end
    const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(kScratchSize, prev + unread));
    const std::size_t want = size - prev;
    Result<std::string_view> chunk = take(want);
    if (!chunk.ok()) return chunk.take_error();
    unread -= want;
    full.assign(carry, prev);
    full.append(*chunk);
    const std::optional<Utf8Fault> fault = first_utf8_fault(full);
    if (!fault) {
      stored = 0;
      continue;
    }
    const std::size_t invalid = full.size() - fault->valid_up_to;
    if (invalid > sizeof carry) return syntax(head);
    std::memcpy(carry, full.data() + fault->valid_up_to, invalid);
    stored = invalid;
  }
}

Result<std::string_view> Decoder::bytes(const Header& h, std::string& buf) {
  if (h.definite) return take(h.arg);
  buf.clear();
  WW_TRY(segments(h, [&](std::uint64_t len, std::size_t) -> Status {
    WW_TRY_ASSIGN(std::string_view s, take(len));
    buf.append(s);
    return {};
  }));
  return std::string_view(buf);
}

}  // namespace ww::cbor
