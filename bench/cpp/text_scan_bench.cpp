// Micro-benchmark of the text engines on generated documents.
//
//   text_scan_bench [--shape S] [--fn F] [--mb N] [--iters N]
//
// Without --shape/--fn it runs every pair. Shapes: text (long strings full of
// non-ASCII text and escapes), numbers (number-heavy records with repeated
// keys), records (API-response-like records), nested (100 levels deep),
// pretty (records indented by two spaces). Functions: json_to_msgpack,
// json_to_cbor, msgpack_to_json, cbor_to_json, parse_json_text,
// parse_json_bytes, write_json, skip_json, value_from_json_text,
// value_from_json_bytes, value_to_json.
//
// Wall times on a busy machine wander; instruction counts do not:
//   valgrind --tool=callgrind --toggle-collect='*run_measured*'
//       text_scan_bench --shape text --fn json_to_msgpack --iters 1
// counts only the measured calls (bench/cpp/callgrind_table.sh runs them all).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "format/cbor/cbor_transcode.h"
#include "format/float_text.h"
#include "format/json/json_value.h"
#include "format/json/text_de.h"
#include "format/msgpack/transcode.h"
#include "value/value.h"
#include "value/value_json.h"

namespace {

using ww::JsonValue;

struct Rng {
  std::uint64_t s;
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t below(std::uint64_t n) { return next() % n; }
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
};

// ---- documents ----------------------------------------------------------------

const char* const kWords[] = {
    "the",  "quick", "brown", "fox",     "jumps", "over",   "lazy",      "dog",   "été",     "naïve",
    "café", "Straße", "Привет", "мир",   "日本語", "テキスト", "中文字符", "😀",    "ελληνικά", "añejo",
    "data", "value", "Ünïcödé", "résumé", "עברית", "العربية", "한국어",    "🎉🎈", "ok",      "line"};

std::string sentence(Rng& rng, std::size_t min_bytes) {
  std::string s;
  while (s.size() < min_bytes) {
    if (!s.empty()) s += ' ';
    s += kWords[rng.below(std::size(kWords))];
    switch (rng.below(24)) {
      case 0: s += '\n'; break;
      case 1: s += "\"quoted\""; break;
      case 2: s += "C:\\path"; break;
      case 3: s += '\t'; break;
      case 4: s += '\x01'; break;
      default: break;
    }
  }
  return s;
}

JsonValue obj(std::vector<JsonValue::Member> members) { return JsonValue::sorted_object(std::move(members)); }

JsonValue text_doc(Rng& rng, std::size_t size) {
  JsonValue::Array docs;
  for (std::size_t total = 0; total < size;) {
    JsonValue::Array tags;
    for (std::uint64_t k = rng.below(4); k > 0; --k) tags.push_back(JsonValue::str(kWords[rng.below(std::size(kWords))]));
    std::string title = sentence(rng, 20 + rng.below(40));
    std::string body = sentence(rng, 100 + rng.below(500));
    total += title.size() + body.size() + 60;
    docs.push_back(obj({{"id", JsonValue::u64(rng.below(1000000))},
                        {"title", JsonValue::str(std::move(title))},
                        {"body", JsonValue::str(std::move(body))},
                        {"lang", JsonValue::str(rng.below(2) ? "fr" : "ja")},
                        {"tags", JsonValue::array(std::move(tags))}}));
  }
  return obj({{"docs", JsonValue::array(std::move(docs))}});
}

JsonValue numbers_doc(Rng& rng, std::size_t size) {
  JsonValue::Array rows;
  for (std::size_t total = 0; total < size; total += 110) {
    JsonValue::Array p;
    for (int k = 0; k < 3; ++k) p.push_back(JsonValue::f64(rng.unit() * 200 - 100));
    rows.push_back(obj({{"x", JsonValue::f64(rng.unit() * 2e6 - 1e6)},
                        {"y", JsonValue::i64(static_cast<std::int64_t>(rng.below(1ull << 41)) - (1ll << 40))},
                        {"t", JsonValue::u64(1700000000000ull + rng.below(1000000000))},
                        {"n", JsonValue::u64(rng.below(100))},
                        {"p", JsonValue::array(std::move(p))}}));
  }
  return JsonValue::array(std::move(rows));
}

JsonValue records_doc(Rng& rng, std::size_t size) {
  JsonValue::Array items;
  for (std::size_t total = 0; total < size; total += 260) {
    JsonValue::Array tags;
    for (std::uint64_t k = rng.below(4); k > 0; --k) tags.push_back(JsonValue::str(std::string("t").append(std::to_string(rng.below(100)))));
    char zip[8];
    std::snprintf(zip, sizeof zip, "%05u", static_cast<unsigned>(rng.below(100000)));
    items.push_back(obj({
        {"id", JsonValue::u64(rng.below(1000000000000ull))},
        {"name", JsonValue::str(std::string("user ").append(std::to_string(rng.below(1000000))).append(" été"))},
        {"email", JsonValue::str(std::string("u").append(std::to_string(rng.below(1000000))).append("@example.test"))},
        {"active", JsonValue::boolean(rng.below(2) == 0)},
        {"score", JsonValue::f64(static_cast<double>(static_cast<std::int64_t>(rng.below(2000000)) - 1000000) / 1000)},
        {"tags", JsonValue::array(std::move(tags))},
        {"address", obj({{"city", JsonValue::str("Springfield")},
                         {"zip", JsonValue::str(zip)},
                         {"geo", JsonValue::array({JsonValue::f64(rng.unit()), JsonValue::f64(rng.unit())})}})},
        {"manager", JsonValue()},
    }));
  }
  const std::uint64_t n = items.size();
  return obj({{"data", JsonValue::array(std::move(items))}, {"page", JsonValue::u64(1)}, {"total", JsonValue::u64(n)}});
}

JsonValue nested_node(Rng& rng, int level) {
  if (level == 0) {
    return obj({{"enabled", JsonValue::boolean(true)},
                {"timeout_ms", JsonValue::u64(rng.below(10000))},
                {"name", JsonValue::str("leaf")}});
  }
  return obj({{"level", JsonValue::u64(static_cast<std::uint64_t>(level))},
              {"child", nested_node(rng, level - 1)},
              {"opts", obj({{"retries", JsonValue::u64(3)},
                            {"tags", JsonValue::array({JsonValue::str("a"), JsonValue::str("b")})}})}});
}

// ---- writing documents (with \u escapes and indentation the library never writes) ----

void put_hex4(unsigned v, std::string& out) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04x", v);
  out += buf;
}

// Escapes like the compact writer, and also every fourth non-ASCII
// character as \uXXXX (a surrogate pair above U+FFFF).
void put_str(std::string_view s, std::string& out, Rng* esc) {
  out += '"';
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
          if (c < 0x20) {
            put_hex4(c, out);
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    const std::size_t width = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    if (esc && esc->below(4) == 0) {
      std::uint32_t cp = c & (0x7F >> width);
      for (std::size_t k = 1; k < width; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
      if (cp >= 0x10000) {
        put_hex4(0xD800 + ((cp - 0x10000) >> 10), out);
        put_hex4(0xDC00 + ((cp - 0x10000) & 0x3FF), out);
      } else {
        put_hex4(cp, out);
      }
    } else {
      out.append(s.data() + i, width);
    }
    i += width;
  }
  out += '"';
}

void newline(int indent, int depth, std::string& out) {
  if (indent < 0) return;
  out += '\n';
  out.append(static_cast<std::size_t>(indent * depth), ' ');
}

void put_json(const JsonValue& v, std::string& out, int indent, int depth, Rng* esc) {
  switch (v.kind()) {
    case JsonValue::Kind::Null: out += "null"; return;
    case JsonValue::Kind::Bool: out += v.as_bool() ? "true" : "false"; return;
    case JsonValue::Kind::U64: out += std::to_string(v.as_u64()); return;
    case JsonValue::Kind::I64: out += std::to_string(v.as_i64()); return;
    case JsonValue::Kind::F64: ww::append_json_double(v.as_f64(), out); return;
    case JsonValue::Kind::Str: put_str(v.as_str(), out, esc); return;
    case JsonValue::Kind::Array: {
      out += '[';
      bool first = true;
      for (const JsonValue& e : v.as_array()) {
        if (!first) out += ',';
        first = false;
        newline(indent, depth + 1, out);
        put_json(e, out, indent, depth + 1, esc);
      }
      if (!first) newline(indent, depth, out);
      out += ']';
      return;
    }
    case JsonValue::Kind::Object: {
      out += '{';
      bool first = true;
      for (const auto& [k, e] : v.as_object()) {
        if (!first) out += ',';
        first = false;
        newline(indent, depth + 1, out);
        put_str(k, out, nullptr);
        out += indent < 0 ? ":" : ": ";
        put_json(e, out, indent, depth + 1, esc);
      }
      if (!first) newline(indent, depth, out);
      out += '}';
      return;
    }
  }
}

ww::Value to_value(const JsonValue& v) {
  switch (v.kind()) {
    case JsonValue::Kind::Null: return ww::Value::null();
    case JsonValue::Kind::Bool: return ww::Value::boolean(v.as_bool());
    case JsonValue::Kind::U64:
      if (v.as_u64() > INT64_MAX) return ww::Value::floating(static_cast<double>(v.as_u64()));
      return ww::Value::integer(static_cast<std::int64_t>(v.as_u64()));
    case JsonValue::Kind::I64: return ww::Value::integer(v.as_i64());
    case JsonValue::Kind::F64: return ww::Value::floating(v.as_f64());
    case JsonValue::Kind::Str: return ww::Value::str(v.as_str());
    case JsonValue::Kind::Array: {
      ww::Value::List l;
      for (const JsonValue& e : v.as_array()) l.push_back(to_value(e));
      return ww::Value::list(std::move(l));
    }
    case JsonValue::Kind::Object: {
      ww::Value::Map m;
      for (const auto& [k, e] : v.as_object()) m.emplace(k, to_value(e));
      return ww::Value::map(std::move(m));
    }
  }
  return {};
}

struct Inputs {
  std::string text;     // JSON text of the document
  std::string msgpack;  // the same as MessagePack
  std::string cbor;     // and as CBOR
  JsonValue json;
  ww::Value value;
  std::string value_text;  // the value's tagged JSON form
};

Inputs make_inputs(std::string_view shape, std::size_t size) {
  Rng rng{7};
  Rng esc{11};
  Inputs in;
  int indent = -1;
  Rng* escapes = nullptr;
  if (shape == "text") {
    in.json = text_doc(rng, size);
    escapes = &esc;
  } else if (shape == "numbers") {
    in.json = numbers_doc(rng, size);
  } else if (shape == "records") {
    in.json = records_doc(rng, size);
  } else if (shape == "pretty") {
    in.json = records_doc(rng, size);
    indent = 2;
  } else if (shape == "nested") {
    JsonValue one = nested_node(rng, 100);
    std::string once = ww::to_json_text(one);
    JsonValue::Array copies(size / once.size() + 1, one);
    in.json = JsonValue::array(std::move(copies));
  } else {
    std::fprintf(stderr, "unknown shape %.*s\n", static_cast<int>(shape.size()), shape.data());
    std::exit(2);
  }
  put_json(in.json, in.text, indent, 0, escapes);
  in.msgpack = ww::msgpack::from_json_text(in.text).take();
  in.cbor = ww::cbor::from_json_text(in.text).take();
  if (shape == "nested") {
    // The tagged form of a value nests twice as deep: 40 levels stay
    // within the readers' nesting limit.
    JsonValue one = nested_node(rng, 40);
    JsonValue::Array copies(size / (ww::to_json_text(one).size() * 3) + 1, one);
    in.value = to_value(JsonValue::array(std::move(copies)));
  } else {
    in.value = to_value(in.json);
  }
  in.value_text = ww::value_to_json(in.value);
  return in;
}

// ---- functions ------------------------------------------------------------------

struct Fn {
  const char* name;
  // The input's size in bytes, and one call that returns a size to keep.
  std::size_t (*input_size)(const Inputs&);
  std::size_t (*call)(const Inputs&);
};

template <class R>
std::size_t size_or_die(R r) {
  if (!r.ok()) {
    std::fprintf(stderr, "failed: %s\n", r.error().text().c_str());
    std::exit(1);
  }
  return 1;
}

std::size_t text_size(const Inputs& in) { return in.text.size(); }
std::size_t value_text_size(const Inputs& in) { return in.value_text.size(); }

const Fn kFns[] = {
    {"json_to_msgpack", text_size, [](const Inputs& in) { return ww::msgpack::from_json_text(in.text)->size(); }},
    {"json_to_cbor", text_size, [](const Inputs& in) { return ww::cbor::from_json_text(in.text)->size(); }},
    {"msgpack_to_json", [](const Inputs& in) { return in.msgpack.size(); },
     [](const Inputs& in) { return ww::msgpack::to_json_text(in.msgpack)->size(); }},
    {"cbor_to_json", [](const Inputs& in) { return in.cbor.size(); },
     [](const Inputs& in) { return ww::cbor::to_json_text(in.cbor)->size(); }},
    {"parse_json_text", text_size, [](const Inputs& in) { return size_or_die(ww::parse_json_text(in.text)); }},
    {"parse_json_bytes", text_size, [](const Inputs& in) { return size_or_die(ww::parse_json_bytes(in.text)); }},
    {"write_json", text_size, [](const Inputs& in) { return ww::to_json_text(in.json).size(); }},
    {"skip_json", text_size,
     [](const Inputs& in) {
       return size_or_die(ww::json::read_whole(in.text, false, [](ww::json::TextDe& de) -> ww::Result<bool> {
         ww::Status s = de.ignored_any();
         if (!s.ok()) return s.take_error();
         return true;
       }));
     }},
    {"value_from_json_text", value_text_size,
     [](const Inputs& in) { return size_or_die(ww::value_from_json_text(in.value_text)); }},
    {"value_from_json_bytes", value_text_size,
     [](const Inputs& in) { return size_or_die(ww::value_from_json_bytes(in.value_text)); }},
    {"value_to_json", value_text_size, [](const Inputs& in) { return ww::value_to_json(in.value).size(); }},
};

const char* const kShapes[] = {"text", "numbers", "records", "nested", "pretty"};

// The calls that callgrind counts (--toggle-collect='*run_measured*').
__attribute__((noinline)) std::size_t run_measured(const Fn& fn, const Inputs& in) { return fn.call(in); }

void run(std::string_view shape, const Inputs& in, const Fn& fn, int iters) {
  double best = 1e300;
  std::size_t sink = 0;
  for (int k = 0; k < iters; ++k) {
    const auto start = std::chrono::steady_clock::now();
    sink += run_measured(fn, in);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  const std::size_t bytes = fn.input_size(in);
  std::printf("%-8.*s %-22s %10zu bytes %9.3f ms %8.1f MB/s  (%zu)\n", static_cast<int>(shape.size()), shape.data(),
              fn.name, bytes, best * 1e3, static_cast<double>(bytes) / best / 1e6, sink);
}

}  // namespace

int main(int argc, char** argv) {
  std::string shape, fn;
  double mb = 1;
  int iters = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view flag = argv[i];
    if (flag == "--shape") {
      shape = argv[i + 1];
    } else if (flag == "--fn") {
      fn = argv[i + 1];
    } else if (flag == "--mb") {
      mb = std::atof(argv[i + 1]);
    } else if (flag == "--iters") {
      iters = std::atoi(argv[i + 1]);
    } else {
      std::fprintf(stderr, "usage: %s [--shape S] [--fn F] [--mb N] [--iters N]\n", argv[0]);
      return 2;
    }
  }
  bool found = false;
  for (const char* s : kShapes) {
    if (!shape.empty() && shape != s) continue;
    const Inputs in = make_inputs(s, static_cast<std::size_t>(mb * 1e6));
    for (const Fn& f : kFns) {
      if (!fn.empty() && fn != f.name) continue;
      found = true;
      run(s, in, f, iters);
    }
  }
  if (!found) {
    std::fprintf(stderr, "no such shape or function\n");
    return 2;
  }
  return 0;
}
