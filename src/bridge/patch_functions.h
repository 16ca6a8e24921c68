// diff / apply: model values and patches in their JSON text forms.
#pragma once

#include <string>
#include <string_view>

#include "format/result.h"

namespace ww::bridge {

// The patch {"rev":0,"ops":[...]} that turns `old_json` into `new_json`;
// `old_json` is read (and its error reported) before `new_json`.
ww::Result<std::string> diff_json(std::string_view old_json, std::string_view new_json);

// The JSON text of the value in `value_json` with the patch in
// `patch_json` applied; the patch's revision is not looked at.
ww::Result<std::string> apply_json(std::string_view value_json, std::string_view patch_json);

}  // namespace ww::bridge
