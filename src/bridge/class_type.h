// Interpreter classes whose instances own one C++ state value. A class is
// declared as a definition struct:
//
//   struct StoreClass {
//     using State = ww::Store;                          // owned by each instance
//     static constexpr ClassSpec spec = make_class("Store", {}, "In-process ...");
//     static constexpr auto construct = &new_store;     // State / Result<State> (ctor params...)
//     static constexpr MethodEntry methods[] = {
//         method<kHost, &store_host>(),                  // Result<std::uint64_t>(State&, ...)
//         method<kSnapshot, &store_snapshot>(),          // ...(const State&, ...)
//     };
//   };
//
// and PyClass<StoreClass>::type() gives its type object. Method specs
// (MethodSpec) must be constants at namespace scope, as must the bodies. A
// class with a method that returns a new instance of itself (a body
// returning NewInstance<Def>) declares `static const MethodEntry methods[];`
// in the struct and defines it after that body, once the struct is complete.
//
// The type: a heap type named "builtins.<Name>", created once per process
// on first use; not subclassable, no __dict__, no weak references, not
// tracked by the cyclic collector; its only special method is __new__.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "bridge/access_flag.h"
#include "bridge/arguments.h"
#include "bridge/invoke.h"
#include "bridge/python.h"
#include "bridge/signature.h"

namespace ww::bridge {

struct ClassSpec {
  Signature ctor;    // owner: the class name; name: "__new__"
  const char* text;  // the docstring after the constructor's text signature
};

constexpr ClassSpec make_class(const char* name, std::initializer_list<const char*> ctor_params,
                               const char* text) {
  return {make_signature(name, "__new__", ctor_params), text};
}

// fast: vectorcall with keywords; none: no parameters; static: called on
// the class, no instance and no access flag.
enum class Flavour { Fast, None, Static };

struct MethodSpec {
  Signature sig;
  Flavour flavour;
  Access access;
  const char* text;  // after the text signature; often empty
};

// `optional` counts the trailing parameters that default to None.
constexpr MethodSpec make_method(const char* owner, const char* name, std::initializer_list<const char*> params,
                                 Flavour flavour, Access access, const char* text = "",
                                 std::size_t optional = 0) {
  if ((flavour == Flavour::Static) != (access == Access::None)) throw "static methods, and only they, take no flag";
  if (flavour == Flavour::None && params.size() != 0) throw "a method without parameters lists none";
  return {make_signature(owner, name, params, optional), flavour, access, text};
}

struct MethodEntry {
  const MethodSpec* spec;
  FastCall fast;      // the trampoline of a fast or static method
  PyCFunction plain;  // the trampoline of a method without parameters
};

// The memory layout of an instance. The flag and the state are constructed
// in place once the interpreter has allocated the object.
template <class State>
struct Instance {
  PyObject ob_base;
  AccessFlag flag;
  alignas(State) unsigned char storage[sizeof(State)];

  static Instance* of(PyObject* obj) { return reinterpret_cast<Instance*>(obj); }
  State& state() { return *std::launder(reinterpret_cast<State*>(storage)); }
};

template <class State>
PyObject* allocate_instance(PyTypeObject* type, State&& state) {
  static_assert(alignof(Instance<State>) <= 16, "the interpreter's allocator aligns to 16 bytes");
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* obj = alloc(type, 0);
  if (obj == nullptr) return nullptr;  // `state` is dropped by its owner
  Instance<State>* inst = Instance<State>::of(obj);
  ::new (static_cast<void*>(&inst->flag)) AccessFlag();
  ::new (static_cast<void*>(inst->storage)) State(std::move(state));
  return obj;
}

template <class State>
void deallocate_instance(PyObject* obj) {
  PyTypeObject* type = Py_TYPE(obj);
  Instance<State>* inst = Instance<State>::of(obj);
  std::destroy_at(&inst->state());
  std::destroy_at(&inst->flag);
  reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(obj);
  Py_DECREF(reinterpret_cast<PyObject*>(type));  // heap-type instances hold their type
}

// ---- method trampolines ----

template <const MethodSpec& Spec, auto Body>
PyObject* fast_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  using State = typename MethodTraits<decltype(Body)>::State;
  ArgSlots slots;
  if (!match_fastcall(Spec.sig, args, nargs, kwnames, slots)) return nullptr;
  Instance<State>* inst = Instance<State>::of(self);
  Borrow borrow;
  if (!borrow.acquire(inst->flag, Spec.access)) return nullptr;
  return call_method<Body>(Spec.sig, slots, inst->state());
}

template <const MethodSpec& Spec, auto Body>
PyObject* noargs_method(PyObject* self, PyObject* /*unused*/) {
  using State = typename MethodTraits<decltype(Body)>::State;
  Instance<State>* inst = Instance<State>::of(self);
  Borrow borrow;
  if (!borrow.acquire(inst->flag, Spec.access)) return nullptr;
  return run_body([&] { return Body(inst->state()); });
}

template <const MethodSpec& Spec, auto Body>
PyObject* static_method(PyObject* /*null*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  ArgSlots slots;
  if (!match_fastcall(Spec.sig, args, nargs, kwnames, slots)) return nullptr;
  return call_function<Body>(Spec.sig, slots);
}

template <const MethodSpec& Spec, auto Body>
constexpr MethodEntry method() {
  if constexpr (Spec.flavour == Flavour::Static) {
    static_assert(BodyTraits<decltype(Body)>::arity == Spec.sig.count, "parameter count differs from the spec");
    return {&Spec, &static_method<Spec, Body>, nullptr};
  } else {
    using Traits = MethodTraits<decltype(Body)>;
    static_assert(Traits::arity == Spec.sig.count, "parameter count differs from the spec");
    static_assert(Traits::shared == (Spec.access == Access::Shared),
                  "shared methods take const State&, exclusive ones State&");
    if constexpr (Spec.flavour == Flavour::None) {
      return {&Spec, nullptr, &noargs_method<Spec, Body>};
    } else {
      return {&Spec, &fast_method<Spec, Body>, nullptr};
    }
  }
}

// ---- type creation (the parts that do not depend on the class) ----

// The method definitions of one class, kept for the life of the process.
class MethodTable {
 public:
  explicit MethodTable(std::span<const MethodEntry> entries);
  MethodTable(const MethodTable&) = delete;
  MethodTable& operator=(const MethodTable&) = delete;
  PyMethodDef* defs() { return defs_.data(); }

 private:
  std::vector<std::string> docs_;
  std::vector<PyMethodDef> defs_;
};

struct TypeShape {
  const char* full_name;  // "builtins.<Name>"; must outlive the type
  const char* doc;
  int basic_size;
  PyMethodDef* methods;
  newfunc new_slot;
  destructor dealloc_slot;
};

// A new type object; on failure RuntimeError "An error occurred while
// initializing class <name>" whose __cause__ is the original failure.
PyObject* create_heap_type(const ClassSpec& spec, const TypeShape& shape);

template <class Def>
class PyClass {
 public:
  using State = typename Def::State;

  // Borrowed; the same object on every call once created. nullptr with the
  // exception set when creation fails.
  static PyObject* type() {
    static PyObject* cached = nullptr;
    if (cached == nullptr) {
      PyObject* made = make_type();
      if (made == nullptr) return nullptr;
      if (cached == nullptr) {
        cached = made;
      } else {
        Py_DECREF(made);  // another thread finished first
      }
    }
    return cached;
  }

  // A new instance of exactly this class owning `state`.
  static PyObject* create(State&& state) {
    PyObject* tp = type();
    if (tp == nullptr) return nullptr;
    return allocate_instance(reinterpret_cast<PyTypeObject*>(tp), std::move(state));
  }

 private:
  using Construct = std::remove_const_t<decltype(Def::construct)>;
  static_assert(BodyTraits<Construct>::arity == Def::spec.ctor.count, "constructor parameter count differs");

  static PyObject* make_type() {
    static const std::string full_name = std::string("builtins.") + Def::spec.ctor.owner;
    static const std::string doc = make_docstring(Def::spec.ctor.owner, Def::spec.ctor.parameter_list(false),
                                                  Def::spec.text);
    static MethodTable methods{std::span<const MethodEntry>(Def::methods)};
    const TypeShape shape{full_name.c_str(), doc.c_str(), static_cast<int>(sizeof(Instance<State>)),
                          methods.defs(), &tp_new, &deallocate_instance<State>};
    return create_heap_type(Def::spec, shape);
  }

  static PyObject* tp_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    const Signature& sig = Def::spec.ctor;
    ArgSlots slots;
    if (!match_classic(sig, args, kwargs, slots)) return nullptr;
    typename BodyTraits<Construct>::Params params;
    if (!convert_all(sig, slots, params)) return nullptr;
    auto made = std::apply(Def::construct, std::move(params));
    if constexpr (IsResult<decltype(made)>::value) {
      if (!made.ok()) return raise_error(made.error());
      return allocate_instance(type, made.take());
    } else {
      return allocate_instance(type, std::move(made));
    }
  }
};

// A body's result that is a new instance of the class `Def`
// (as `CrdtDocument.from_state` returns).
template <class Def>
struct NewInstance {
  typename Def::State state;
};

template <class Def>
PyObject* to_python(NewInstance<Def>&& made) {
  return PyClass<Def>::create(std::move(made.state));
}

}  // namespace ww::bridge
