// A Value read straight from JSON text in its plain forms, for the direct
// reader of known messages.
#pragma once

#include "format/json/text_de.h"
#include "value/value.h"

namespace ww {

// Reads the Value ahead into `out` as read_value would, when it is written
// in the plain forms ({"Kind": payload} with the name unescaped, or "Null");
// false on anything else, errors included, leaving `de` unusable: the
// caller then takes the generic road.
bool read_plain_value(json::TextDe& de, Value& out);

}  // namespace ww
