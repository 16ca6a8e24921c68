// Decodes a live-protocol message from arbitrary bytes with each of the
// three codecs, and reads it as JSON text. Whatever decodes encodes, in its
// own codec and in the two others, to bytes that decode to the same message
// text (through JSON, doubles within the reader's rounding); that text
// normalises to itself; every error text is valid UTF-8.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/codec_kind.h"
#include "format/debug_text.h"
#include "fuzz_support.h"
#include "message/message.h"

namespace {

constexpr ww::CodecKind kKinds[] = {ww::CodecKind::Json, ww::CodecKind::MessagePack, ww::CodecKind::Cbor};

// The most arrays and objects that each codec's reader lets stand open.
std::size_t depth_limit(ww::CodecKind kind) {
  switch (kind) {
    case ww::CodecKind::Json: return 127;
    case ww::CodecKind::MessagePack: return 1023;
    case ww::CodecKind::Cbor: return 256;
  }
  return 0;
}

// The deepest nesting of arrays and objects in compact JSON text.
std::size_t depth(const std::string& text) {
  std::size_t open = 0;
  std::size_t deepest = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++open);
    } else if (c == ']' || c == '}') {
      --open;
    }
  }
  return deepest;
}

void check_message(const ww::Message& message) {
  const std::string text = message.to_json();
  const std::size_t nesting = depth(text);
  for (const ww::CodecKind kind : kKinds) {
    // A message read by a more tolerant codec may be too deep for another.
    if (nesting > depth_limit(kind)) continue;
    const std::string bytes = message.encode(kind);
    auto back = ww::Message::decode(bytes, kind);
    WW_FUZZ_CHECK(back.ok(), "an encoded message does not decode", text, back.error().text());
    // The binary codecs carry doubles exactly; text only within the JSON
    // reader's rounding.
    const bool same = kind == ww::CodecKind::Json ? ww::fuzz::same_but_float_rounding(back->to_json(), text)
                                                  : back->to_json() == text;
    WW_FUZZ_CHECK(same, "a message changes on its way through a codec", text, back->to_json());
  }
  WW_FUZZ_CHECK(message.encode(ww::CodecKind::Json) == text, "the JSON encoding is not the message text", text);
  if (nesting > depth_limit(ww::CodecKind::Json)) return;
  auto normalised = ww::Message::from_json(text);
  WW_FUZZ_CHECK(normalised.ok() && ww::fuzz::same_but_float_rounding(normalised->to_json(), text),
                "the message text does not normalise to itself", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = ww::fuzz::as_bytes(data, size);
  for (const ww::CodecKind kind : kKinds) {
    auto message = ww::Message::decode(bytes, kind);
    if (!message.ok()) {
      WW_FUZZ_CHECK(ww::is_valid_utf8(message.error().text()), "error text is not UTF-8", message.error().text());
      continue;
    }
    check_message(*message);
  }
  auto read = ww::Message::from_json(ww::fuzz::as_text(bytes));
  if (read.ok()) {
    check_message(*read);
  } else {
    WW_FUZZ_CHECK(ww::is_valid_utf8(read.error().text()), "error text is not UTF-8", read.error().text());
  }
  return 0;
}
