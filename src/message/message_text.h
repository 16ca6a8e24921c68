// A known message read straight from JSON text into its members, without
// first building the generic JSON value.
#pragma once

#include <optional>
#include <string_view>

#include "message/message.h"

namespace ww {

// The message the generic road (parse whole, then classify, then only
// whitespace after) gives for `text`, when `text` is a known message this
// reader takes: "t" its first member, no repeated or unknown members, and
// no error anywhere. Otherwise nullopt, and the caller takes the generic
// road, which words every error; so this reader only has to be right when
// it succeeds. `validate_utf8`: strings must hold UTF-8 (raw bytes).
std::optional<Message> read_known_message_text(std::string_view text, bool validate_utf8);

}  // namespace ww
