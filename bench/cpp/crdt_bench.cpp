// A driver for measuring CrdtDocument work without the interpreter: run it
// under callgrind (instruction counts) or read its heap figures, on texts
// that `python bench/crdt.py --write-workloads DIR` leaves in a directory
// (text_N.ops.json, text_N.state.json). Built with -DWW_BUILD_BENCH=ON.
//
//   crdt_bench from_state STATE       restore a text document
//   crdt_bench yardstick FILE         json_to_msgpack of the same text
//   crdt_bench apply OPS              one batch into a fresh text document
//   crdt_bench state STATE            restore, then save
//   crdt_bench type STATE N           restore, then N one-character appends
//   crdt_bench merge STATE N          restore, then N one-operation applies
//   crdt_bench memory STATE           heap in use by a restored document
//
// Only the measured step runs with callgrind's collection on:
//   valgrind --tool=callgrind --collect-atstart=no crdt_bench apply DIR/text_10000.ops.json
// The heap figure is glibc malloc's own count of bytes in use.
#include <malloc.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "crdt/reducer/document.h"
#include "crdt/reducer/document_json.h"
#include "format/msgpack/transcode.h"

namespace {

using ww::crdt::reducer::CrdtDocument;

constexpr const char* kTextSpec =
    R"({"version":1,"root":{"kind":"map","fields":{"text":{"kind":"sequence","materialization":"string"}}}})";

std::string read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path);
    std::exit(2);
  }
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

template <class T>
T must(ww::Result<T> r, const char* what) {
  if (!r.ok()) {
    std::fprintf(stderr, "%s failed: %s\n", what, r.error().text().c_str());
    std::exit(1);
  }
  return r.take();
}

std::size_t heap_in_use() {
  struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

// The splice that appends one character at `index`.
std::string append_at(std::size_t index) {
  return R"([{"kind":"sequence_splice","path":[{"kind":"key","key":"text"}],"index":)" + std::to_string(index) +
         R"(,"delete_count":0,"values":[{"Str":"x"}]}])";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: crdt_bench MODE FILE [N]\n");
    return 2;
  }
  const std::string mode = argv[1];
  const std::string text = read_file(argv[2]);
  const std::size_t n = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 0;
  std::size_t out_bytes = 0;

  if (mode == "yardstick") {
    CALLGRIND_TOGGLE_COLLECT;
    std::string bytes = must(ww::msgpack::from_json_text(text), "json_to_msgpack");
    CALLGRIND_TOGGLE_COLLECT;
    out_bytes = bytes.size();
  } else if (mode == "from_state") {
    CALLGRIND_TOGGLE_COLLECT;
    CrdtDocument doc = must(CrdtDocument::from_state(kTextSpec, text, "a"), "from_state");
    CALLGRIND_TOGGLE_COLLECT;
    out_bytes = doc.state().size();
  } else if (mode == "apply") {
    CrdtDocument doc = must(CrdtDocument::create(kTextSpec, R"({"Map":{"text":{"Str":""}}})", "b"), "create");
    CALLGRIND_TOGGLE_COLLECT;
    std::string effect = must(ww::crdt::reducer::apply_json(doc, text), "apply");
    CALLGRIND_TOGGLE_COLLECT;
    out_bytes = effect.size();
  } else if (mode == "state") {
    CrdtDocument doc = must(CrdtDocument::from_state(kTextSpec, text, "a"), "from_state");
    CALLGRIND_TOGGLE_COLLECT;
    std::string saved = doc.state();
    CALLGRIND_TOGGLE_COLLECT;
    out_bytes = saved.size();
  } else if (mode == "type" || mode == "merge") {
    CrdtDocument doc = must(CrdtDocument::from_state(kTextSpec, text, "a"), "from_state");
    std::size_t len = must(doc.value(), "value").as_map().begin()->second.as_str().size();
    if (mode == "type") {
      CALLGRIND_TOGGLE_COLLECT;
      for (std::size_t i = 0; i < n; ++i) {
        std::string r = must(ww::crdt::reducer::mutate_json(doc, append_at(len + i)), "mutate");
        out_bytes += r.size();
      }
      CALLGRIND_TOGGLE_COLLECT;
    } else {
      // Operations of another replica, each appended after the last.
      CrdtDocument other = must(CrdtDocument::from_state(kTextSpec, text, "z"), "from_state");
      std::vector<std::string> ops;
      for (std::size_t i = 0; i < n; ++i) {
        std::string r = must(ww::crdt::reducer::mutate_json(other, append_at(len + i)), "mutate");
        ops.push_back("[" + r.substr(8, r.find("],\"effect\":") - 8) + "]");
      }
      CALLGRIND_TOGGLE_COLLECT;
      for (const std::string& op : ops) {
        std::string r = must(ww::crdt::reducer::apply_json(doc, op), "apply");
        out_bytes += r.size();
      }
      CALLGRIND_TOGGLE_COLLECT;
    }
  } else if (mode == "memory") {
    const std::size_t before = heap_in_use();
    CrdtDocument doc = must(CrdtDocument::from_state(kTextSpec, text, "a"), "from_state");
    const std::size_t after = heap_in_use();
    const std::size_t len = must(doc.value(), "value").as_map().begin()->second.as_str().size();
    std::printf("heap %zu bytes for %zu elements: %.1f bytes per element\n", after - before, len,
                static_cast<double>(after - before) / static_cast<double>(len));
    return 0;
  } else {
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
  }
  std::printf("%s: %zu bytes in, %zu bytes out\n", mode.c_str(), text.size(), out_bytes);
  return 0;
}
