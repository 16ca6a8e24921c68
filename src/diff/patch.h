// Paths, patch operations and patches: the change format between two model
// values. Each type owns its contents outright; copying one copies it all.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "value/value.h"

namespace ww {

// One step of a path: a map key or a list position. Nothing restricts a
// step when it is built or read; whether it fits a value is decided when an
// operation is applied.
class PathSeg {
 public:
  // Declaration order is the kind's index (the MessagePack reader accepts it).
  enum class Kind : std::uint8_t { Key, Index };

  PathSeg() = default;  // Key("")
  static PathSeg key(std::string k) { return PathSeg(Repr(std::in_place_index<0>, std::move(k))); }
  static PathSeg index(std::uint64_t i) { return PathSeg(Repr(std::in_place_index<1>, i)); }

  Kind kind() const { return static_cast<Kind>(repr_.index()); }
  bool is_key() const { return repr_.index() == 0; }
  bool is_index() const { return repr_.index() == 1; }
  const std::string& as_key() const { return std::get<0>(repr_); }
  std::uint64_t as_index() const { return std::get<1>(repr_); }

  friend bool operator==(const PathSeg&, const PathSeg&) = default;

 private:
  using Repr = std::variant<std::string, std::uint64_t>;
  explicit PathSeg(Repr r) : repr_(std::move(r)) {}
  Repr repr_;
};

// The first step applies to the root; the empty path names the root itself.
using Path = std::vector<PathSeg>;

inline constexpr std::array<std::string_view, 2> kPathSegKindNames = {"Key", "Index"};

// One patch operation. For Insert, RemoveAt, Move and Reorder the path
// names the list itself, not an element of it.
struct Op {
  // Declaration order is the kind's index.
  enum class Kind : std::uint8_t { Set, Remove, Insert, RemoveAt, Move, Reorder };

  struct Set {
    Path path;
    Value value;
    friend bool operator==(const Set&, const Set&) = default;
  };
  struct Remove {
    Path path;
    friend bool operator==(const Remove&, const Remove&) = default;
  };
  struct Insert {
    Path path;
    std::uint64_t index = 0;
    Value value;
    friend bool operator==(const Insert&, const Insert&) = default;
  };
  struct RemoveAt {
    Path path;
    std::uint64_t index = 0;
    friend bool operator==(const RemoveAt&, const RemoveAt&) = default;
  };
  struct Move {
    Path path;
    std::uint64_t from = 0;
    std::uint64_t to = 0;
    friend bool operator==(const Move&, const Move&) = default;
  };
  struct Reorder {
    Path path;
    std::vector<std::uint64_t> order;  // new element k is the old element order[k]
    friend bool operator==(const Reorder&, const Reorder&) = default;
  };
  using Variant = std::variant<Set, Remove, Insert, RemoveAt, Move, Reorder>;

  Op(Set x) : v(std::move(x)) {}        // NOLINT: implicit by design
  Op(Remove x) : v(std::move(x)) {}     // NOLINT
  Op(Insert x) : v(std::move(x)) {}     // NOLINT
  Op(RemoveAt x) : v(std::move(x)) {}   // NOLINT
  Op(Move x) : v(std::move(x)) {}       // NOLINT
  Op(Reorder x) : v(std::move(x)) {}    // NOLINT

  Kind kind() const { return static_cast<Kind>(v.index()); }
  const Path& path() const {
    return std::visit([](const auto& x) -> const Path& { return x.path; }, v);
  }
  template <class T>
  const T& as() const { return std::get<T>(v); }
  template <class T>
  T& as() { return std::get<T>(v); }

  // Structural; a Float payload compares as IEEE doubles (NaN != NaN).
  friend bool operator==(const Op&, const Op&) = default;

  Variant v;
};

inline constexpr std::array<std::string_view, 6> kOpKindNames = {"Set",  "Remove", "Insert",
                                                                 "RemoveAt", "Move", "Reorder"};

// A revision with the operations to apply in list order. A patch made by
// the diff alone has revision 0.
struct Patch {
  std::uint64_t rev = 0;
  std::vector<Op> ops;
  friend bool operator==(const Patch&, const Patch&) = default;
};

}  // namespace ww
