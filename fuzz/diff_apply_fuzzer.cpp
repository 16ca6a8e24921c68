// Builds two model values from the input, the second an edit of the first
// (moves, insertions, removals, replacements at any depth), and checks the
// diff: applying it to the old value gives the new one, also after its JSON
// text has been read back; a value diffed against itself gives nothing.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "diff/apply.h"
#include "diff/diff.h"
#include "diff/patch_json.h"
#include "fuzz_support.h"
#include "value/value.h"
#include "value/value_json.h"

namespace {

using ww::Value;

class Bytes {
 public:
  explicit Bytes(std::string_view in) : in_(in) {}
  unsigned next() {
    if (in_.empty()) return 0;
    const auto b = static_cast<unsigned char>(in_.front());
    in_.remove_prefix(1);
    return b;
  }

 private:
  std::string_view in_;
};

constexpr std::size_t kMaxDepth = 5;

Value scalar(Bytes& in) {
  static const char* const kTexts[] = {"", "a", "b", "ab", "\xc3\xa9", "null"};
  static const double kFloats[] = {0.0, -0.0, 1.5, 1.0, 1e300, std::numeric_limits<double>::quiet_NaN(),
                                   std::numeric_limits<double>::infinity()};
  switch (in.next() % 6) {
    case 0: return Value::null();
    case 1: return Value::boolean(in.next() % 2 == 1);
    case 2: return Value::integer(static_cast<std::int8_t>(in.next()));
    case 3: return Value::floating(kFloats[in.next() % 7]);
    case 4: return Value::str(kTexts[in.next() % 6]);
    default: return Value::submodel(ww::ModelId{in.next() % 3});
  }
}

// The root is always a list or a map; below it a quarter of the values are.
Value make(Bytes& in, std::size_t depth) {
  const unsigned b = in.next();
  const bool container = depth == 0 || (depth < kMaxDepth && b % 4 == 0);
  if (!container) return scalar(in);
  if (depth == 0 ? b % 2 == 0 : b % 8 == 0) {
    Value::List list;
    for (unsigned n = in.next() % 12; n > 0; --n) list.push_back(make(in, depth + 1));
    return Value::list(std::move(list));
  }
  static const char* const kKeys[] = {"", "a", "b", "c", "d"};
  Value::Map map;
  for (unsigned n = in.next() % 5; n > 0; --n) map[kKeys[in.next() % 5]] = make(in, depth + 1);
  return Value::map(std::move(map));
}

Value edit(const Value& old, Bytes& in, std::size_t depth);

Value edit_list(Value::List list, Bytes& in, std::size_t depth) {
  for (unsigned n = in.next() % 4; n > 0; --n) {
    const unsigned what = in.next() % 5;
    const std::size_t at = list.empty() ? 0 : in.next() % list.size();
    if (what == 0 || list.empty()) {
      list.insert(list.begin() + static_cast<std::ptrdiff_t>(in.next() % (list.size() + 1)), make(in, depth + 1));
    } else if (what == 1) {
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(at));
    } else if (what == 2) {
      Value moved = std::move(list[at]);
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(at));
      list.insert(list.begin() + static_cast<std::ptrdiff_t>(in.next() % (list.size() + 1)), std::move(moved));
    } else if (what == 3) {
      std::vector<Value> reversed(list.rbegin(), list.rend());
      list = std::move(reversed);
    } else {
      list.push_back(list[at]);  // a duplicate
    }
  }
  for (Value& element : list) {
    if (in.next() % 4 == 0) element = edit(element, in, depth + 1);
  }
  return Value::list(std::move(list));
}

Value edit_map(Value::Map map, Bytes& in, std::size_t depth) {
  static const char* const kKeys[] = {"", "a", "b", "c", "e"};
  for (auto it = map.begin(); it != map.end();) {
    const unsigned what = in.next() % 4;
    if (what == 0) {
      it = map.erase(it);
      continue;
    }
    if (what == 1) it->second = edit(it->second, in, depth + 1);
    ++it;
  }
  for (unsigned n = in.next() % 3; n > 0; --n) map[kKeys[in.next() % 5]] = make(in, depth + 1);
  return Value::map(std::move(map));
}

Value edit(const Value& old, Bytes& in, std::size_t depth) {
  const unsigned what = in.next() % 4;
  if (what == 0) return old;
  if (what == 1 || depth >= kMaxDepth) return make(in, depth);
  if (old.is(Value::Kind::List)) return edit_list(old.as_list(), in, depth);
  if (old.is(Value::Kind::Map)) return edit_map(old.as_map(), in, depth);
  return make(in, depth);
}

// Value equality, except that a NaN equals a NaN: the diff sets a NaN anew
// wherever one stands, and applying that must still give the new value.
bool same(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::Float:
      return a.as_float() == b.as_float() || (std::isnan(a.as_float()) && std::isnan(b.as_float()));
    case Value::Kind::List: {
      if (a.as_list().size() != b.as_list().size()) return false;
      for (std::size_t i = 0; i < a.as_list().size(); ++i) {
        if (!same(a.as_list()[i], b.as_list()[i])) return false;
      }
      return true;
    }
    case Value::Kind::Map: {
      if (a.as_map().size() != b.as_map().size()) return false;
      for (auto i = a.as_map().begin(), j = b.as_map().begin(); i != a.as_map().end(); ++i, ++j) {
        if (i->first != j->first || !same(i->second, j->second)) return false;
      }
      return true;
    }
    default: return a == b;
  }
}

// Whether any float of `v` satisfies `pred`.
template <class Pred>
bool any_float(const Value& v, Pred pred) {
  switch (v.kind()) {
    case Value::Kind::Float: return pred(v.as_float());
    case Value::Kind::List:
      for (const Value& e : v.as_list()) {
        if (any_float(e, pred)) return true;
      }
      return false;
    case Value::Kind::Map:
      for (const auto& [k, e] : v.as_map()) {
        if (any_float(e, pred)) return true;
      }
      return false;
    default: return false;
  }
}

bool is_nan(double d) { return std::isnan(d); }
bool is_not_finite(double d) { return !std::isfinite(d); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in(ww::fuzz::as_bytes(data, size));
  const Value old_value = make(in, 0);
  const Value new_value = edit(old_value, in, 0);

  ww::Patch patch;
  ww::diff::diff_value({}, old_value, new_value, patch.ops);
  const std::string patch_text = ww::patch_to_json(patch);

  Value patched = old_value;
  auto applied = ww::diff::apply(patched, patch.ops);
  WW_FUZZ_CHECK(applied.ok(), "the diff does not apply", patch_text, applied.error().text());
  WW_FUZZ_CHECK(same(patched, new_value), "applying the diff does not give the new value",
                ww::value_to_json(patched), ww::value_to_json(new_value));

  // JSON has no NaN or infinity: such floats are written as null.
  if (!any_float(new_value, is_not_finite)) {
    auto read = ww::patch_from_json_text(patch_text);
    WW_FUZZ_CHECK(read.ok(), "the diff's text does not read back", patch_text, read.error().text());
    Value patched_again = old_value;
    auto applied_again = ww::diff::apply(patched_again, read->ops);
    WW_FUZZ_CHECK(applied_again.ok() && same(patched_again, new_value), "the diff read back applies differently",
                  patch_text);
  }

  if (!any_float(old_value, is_nan)) {
    std::vector<ww::Op> none;
    ww::diff::diff_value({}, old_value, Value(old_value), none);
    WW_FUZZ_CHECK(none.empty(), "a value differs from itself", ww::value_to_json(old_value));
  }
  return 0;
}
