// Free-form JSON read straight from text, for the direct reader of known
// messages.
#pragma once

#include "format/json/json_value.h"
#include "format/json/text_de.h"

namespace ww {

// Reads the JSON value ahead into `out` as json::read_json_value would
// (objects sorted, a repeated key keeping its last value); false on any
// error, leaving `de` unusable: the caller then takes the generic road.
bool read_plain_json(json::TextDe& de, JsonValue& out);

}  // namespace ww
