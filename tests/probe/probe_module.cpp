// _wirewright_probe: a module for the bridge's own tests. Its functions and
// its class `Counter` use every parameter kind, result kind, method
// flavour and access mode of the bridge, so the machinery is checked before
// the shipped classes use it. Built with the C++ tests; never installed.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/class_table.h"
#include "bridge/class_type.h"
#include "bridge/function_table.h"
#include "bridge/python.h"
#include "bridge/ref.h"
#include "format/result.h"

namespace ww::bridge::probe {
namespace {

// Counts live Counter states (moved-from ones included), so that tests see
// deleted instances drop theirs.
std::uint64_t live_states = 0;

struct LiveToken {
  LiveToken() { ++live_states; }
  LiveToken(const LiveToken&) { ++live_states; }
  LiveToken(LiveToken&&) noexcept { ++live_states; }
  LiveToken& operator=(const LiveToken&) = default;
  LiveToken& operator=(LiveToken&&) noexcept = default;
  ~LiveToken() { --live_states; }
};

struct Counter {
  std::string label;
  std::uint64_t total = 0;
  std::vector<std::string> log;
  LiveToken token;
};

struct CounterClass {
  using State = Counter;
  static constexpr ClassSpec spec = make_class("Counter", {"label"}, "A labelled total with a log.");
  static ww::Result<Counter> construct_counter(std::string_view label);
  static constexpr auto construct = &construct_counter;
  static const MethodEntry methods[];  // defined below, after the bodies
};

ww::Result<Counter> CounterClass::construct_counter(std::string_view label) {
  if (label.empty()) return ww::Error::custom("label must not be empty");
  return Counter{std::string(label), 0, {}, {}};
}

ww::Result<std::uint64_t> counter_add(Counter& c, std::uint64_t amount) {
  if (amount > UINT64_MAX - c.total) return ww::Error::custom("total overflows");
  c.total += amount;
  return c.total;
}

ww::Status counter_note(Counter& c, std::string_view entry, std::optional<std::string_view> detail) {
  if (entry.empty()) return ww::Error::custom("entry must not be empty");
  std::string line(entry);
  if (detail) line += ": " + std::string(*detail);
  c.log.push_back(std::move(line));
  return {};
}

std::optional<std::string> counter_entry(const Counter& c, std::uint64_t index) {
  if (index >= c.log.size()) return std::nullopt;
  return c.log[index];
}

bool counter_has(const Counter& c, std::string_view entry) {
  for (const std::string& line : c.log) {
    if (line == entry) return true;
  }
  return false;
}

std::string counter_label(const Counter& c) { return c.label; }
std::vector<std::string> counter_log(const Counter& c) { return c.log; }

std::uint64_t counter_reset(Counter& c) {
  const std::uint64_t before = c.total;
  c.total = 0;
  c.log.clear();
  return before;
}

ww::Result<NewInstance<CounterClass>> counter_starting_at(std::string_view label, std::uint64_t total) {
  ww::Result<Counter> made = CounterClass::construct_counter(label);
  if (!made.ok()) return made.take_error();
  made->total = total;
  return NewInstance<CounterClass>{made.take()};
}

constexpr MethodSpec kAdd = make_method("Counter", "add", {"amount"}, Flavour::Fast, Access::Exclusive,
                                        "Add to the total; returns the new total.");
constexpr MethodSpec kNote = make_method("Counter", "note", {"entry", "detail"}, Flavour::Fast,
                                         Access::Exclusive, "", 1);
constexpr MethodSpec kEntry = make_method("Counter", "entry", {"index"}, Flavour::Fast, Access::Shared);
constexpr MethodSpec kHas = make_method("Counter", "has", {"entry"}, Flavour::Fast, Access::Shared);
constexpr MethodSpec kLabel = make_method("Counter", "label", {}, Flavour::None, Access::Shared);
constexpr MethodSpec kLog = make_method("Counter", "log", {}, Flavour::None, Access::Shared);
constexpr MethodSpec kReset = make_method("Counter", "reset", {}, Flavour::None, Access::Exclusive);
constexpr MethodSpec kStartingAt = make_method("Counter", "starting_at", {"label", "total"}, Flavour::Static,
                                               Access::None);

const MethodEntry CounterClass::methods[] = {
    method<kAdd, &counter_add>(),     method<kNote, &counter_note>(),   method<kEntry, &counter_entry>(),
    method<kHas, &counter_has>(),     method<kLabel, &counter_label>(), method<kLog, &counter_log>(),
    method<kReset, &counter_reset>(), method<kStartingAt, &counter_starting_at>(),
};

// A type that cannot be created: its one method claims to be both a class
// method and a static one, which type creation refuses.
PyObject* unused_method(PyObject*, PyObject*) { Py_RETURN_NONE; }
PyMethodDef broken_methods[] = {
    {"bad", &unused_method, METH_NOARGS | METH_CLASS | METH_STATIC, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
constexpr ClassSpec kBroken = make_class("Broken", {}, "");

// ---- module functions ----

std::string echo(std::string_view text) { return std::string(text); }
Bytes echo_bytes(ByteView data) { return Bytes{std::string(data.data)}; }
std::uint64_t echo_id(std::uint64_t id) { return id; }
ww::Status fail(std::string_view message) { return ww::Error::at(std::string(message), 2, 7); }
std::uint64_t live() { return live_states; }

std::string join(std::string_view a, std::string_view b, std::string_view c) {
  return std::string(a) + std::string(b) + std::string(c);
}

std::string greet(std::string_view name, std::optional<std::string_view> greeting) {
  return std::string(greeting.value_or("hello")) + ", " + std::string(name);
}

PyObject* make_broken(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) {
  const TypeShape shape{"builtins.Broken", "", static_cast<int>(sizeof(PyObject)), broken_methods, nullptr, nullptr};
  return create_heap_type(kBroken, shape);
}

constexpr FunctionSpec kEcho = make_function("echo", {"text"}, "Return the text.");
constexpr FunctionSpec kEchoBytes = make_function("echo_bytes", {"data"}, "Return the bytes.");
constexpr FunctionSpec kEchoId = make_function("echo_id", {"id"}, "Return the id.");
constexpr FunctionSpec kFail = make_function("fail", {"message"}, "Fail with the message, at line 2 column 7.");
constexpr FunctionSpec kLive = make_function("live", {}, "Number of live Counter states.");
constexpr FunctionSpec kJoin = make_function("join", {"a", "b", "c"}, "Concatenate three texts.");
constexpr FunctionSpec kGreet{make_signature(nullptr, "greet", {"name", "greeting"}, 1), "Greet."};
constexpr FunctionSpec kMakeBroken = make_function("make_broken", {}, "Try to create a type that cannot be.");
constexpr FunctionSpec kNotYet = make_function("not_yet", {"text"}, "Has no body.");

const FunctionTable& probe_functions() {
  static const FunctionTable table{
      implemented<kEcho, &echo>(),   implemented<kEchoBytes, &echo_bytes>(),
      implemented<kEchoId, &echo_id>(), pending<kNotYet>(),
      implemented<kFail, &fail>(),   implemented<kLive, &live>(),
      implemented<kJoin, &join>(),   implemented<kGreet, &greet>(),
      FunctionEntry{&kMakeBroken, &make_broken},
  };
  return table;
}

const ClassTable& probe_classes() {
  static const ClassTable table{pending_class("Pending"), registered<CounterClass>()};
  return table;
}

int exec_probe(PyObject* module) {
  if (!probe_functions().add_to(module)) return -1;
  if (!probe_classes().add_to(module)) return -1;
  return 0;
}

PyModuleDef_Slot probe_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_probe)},
    {0, nullptr},
};

PyModuleDef probe_def = {
    PyModuleDef_HEAD_INIT, "_wirewright_probe", "", 0, nullptr, probe_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace ww::bridge::probe

PyMODINIT_FUNC PyInit__wirewright_probe() { return PyModuleDef_Init(&ww::bridge::probe::probe_def); }
