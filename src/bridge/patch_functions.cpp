#include "bridge/patch_functions.h"

#include <utility>

#include "diff/apply.h"
#include "diff/diff.h"
#include "diff/patch_json.h"
#include "value/value_json.h"

namespace ww::bridge {

ww::Result<std::string> diff_json(std::string_view old_json, std::string_view new_json) {
  WW_TRY_ASSIGN(ww::Value old_value, ww::value_from_json_text(old_json));
  WW_TRY_ASSIGN(ww::Value new_value, ww::value_from_json_text(new_json));
  ww::Patch patch;
  ww::diff::diff_value({}, old_value, new_value, patch.ops);
  return ww::patch_to_json(patch);
}

ww::Result<std::string> apply_json(std::string_view value_json, std::string_view patch_json) {
  WW_TRY_ASSIGN(ww::Value value, ww::value_from_json_text(value_json));
  WW_TRY_ASSIGN(ww::Patch patch, ww::patch_from_json_text(patch_json));
  // The patch is dropped afterwards: its values move into the tree.
  WW_TRY(ww::diff::apply_taking(value, patch.ops));
  // The text that came in is the best guess of the size of the text that
  // goes out.
  std::string out;
  out.reserve(value_json.size());
  ww::write_value_json(value, out);
  return out;
}

}  // namespace ww::bridge
