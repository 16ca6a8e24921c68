#include "crdt/reducer/restored_state.h"

#include <optional>
#include <type_traits>
#include <utility>

#include "crdt/reducer/state_json.h"
#include "crdt/reducer/state_read.h"
#include "crdt/reducer/tree_wire.h"
#include "format/json/tag_first.h"
#include "format/json/text_de.h"
#include "value/value_read.h"

namespace ww::crdt::reducer {
namespace {

using json::TextDe;

// The fast reader's refusal: never shown, the text is read again.
Error refused() { return Error::custom("left to the record readers"); }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Interns a replica from its text, looked at only.
struct InternVisitor : rec::Visitor<InternVisitor, std::uint32_t> {
  static constexpr bool kBorrowsStr = true;
  ReplicaTable* replicas;
  std::string expecting() const { return "a string"; }
  Result<std::uint32_t> visit_str(rec::Ctx, std::string_view v) const { return replicas->intern(v); }
};

// A fingerprint text, looked at only.
struct FingerprintVisitor : rec::Visitor<FingerprintVisitor, bool> {
  static constexpr bool kBorrowsStr = true;
  RestoredState* state;
  InternedDot dot;
  std::string expecting() const { return "a string"; }
  Result<bool> visit_str(rec::Ctx, std::string_view v) const {
    state->add_fingerprint(dot, v);
    return true;
  }
};

template <class Each>
struct ListVisitor : rec::Visitor<ListVisitor<Each>, bool> {
  Each* each;
  std::string expecting() const { return "a sequence"; }
  template <class S>
  Result<bool> visit_seq(rec::Ctx, S& seq) {
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& d) -> Status { return (*each)(d); }));
      if (!more) return true;
    }
  }
};

template <class First, class Second>
struct PairVisitor : rec::Visitor<PairVisitor<First, Second>, bool> {
  First* first;
  Second* second;
  std::string expecting() const { return "a tuple of size 2"; }
  template <class S>
  Result<bool> visit_seq(rec::Ctx, S& seq) {
    WW_TRY_ASSIGN(bool a, seq.next([&](auto& d) -> Status { return (*first)(d); }));
    if (!a) return refused();
    WW_TRY_ASSIGN(bool b, seq.next([&](auto& d) -> Status { return (*second)(d); }));
    if (!b) return refused();
    return true;
  }
};

// The entries of a map or set node: `Reader::entry` reads each.
template <class Reader>
struct EntriesVisitor : rec::Visitor<EntriesVisitor<Reader>, bool> {
  Reader* reader;
  EntryTable* table;
  bool map;
  std::string expecting() const { return "a map"; }
  template <class M>
  Result<bool> visit_map(rec::Ctx, M& m) {
    std::string previous;
    bool first = true;
    for (;;) {
      std::string key;
      WW_TRY_ASSIGN(bool more, m.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(key, kd.str(rec::StringVisitor{}));
        return {};
      }));
      if (!more) return true;
      if (!first && !(previous < key)) return refused();
      first = false;
      WW_TRY(m.next_value([&](auto& d) { return reader->entry(d, *table, key, map); }));
      previous = std::move(key);
    }
  }
};

class FastReader {
 public:
  explicit FastReader(RestoredState& state) : state_(state), replicas_(state.replicas) {}

  Result<bool> whole(TextDe& de) {
    WW_TRY(rec::read_fields(de, state_detail::kStateShape,
                            rec::fields([&](auto& d) { return rec::assign(state_.state_version, rec::read_u32(d)); },
                                        [&](auto& d) { return rec::assign(state_.spec_hash, rec::read_string(d)); },
                                        [&](auto& d) { return context(d); },
                                        [&](auto& d) { return fingerprints(d); },
                                        [&](auto& d) { return rec::assign(state_.root, node(d)); })));
    return true;
  }

  template <class D>
  Result<InternedDot> dot(D& de) {
    InternedDot d;
    WW_TRY(rec::read_fields(
        de, state_detail::kDotShape,
        rec::fields([&](auto& x) { return rec::assign(d.counter, rec::read_u64(x)); },
                    [&](auto& x) { return rec::assign(d.replica, x.str(InternVisitor{{}, &replicas_})); })));
    return d;
  }

  template <class D>
  Result<InternedElementId> element_id(D& de) {
    InternedDot d;
    std::uint32_t index = 0;
    WW_TRY(rec::read_fields(de, state_detail::kElementIdShape,
                            rec::fields([&](auto& x) { return rec::assign(d, dot(x)); },
                                        [&](auto& x) { return rec::assign(index, rec::read_u32(x)); })));
    return InternedElementId{d.counter, d.replica, index};
  }

  // A list, each element handed to each(de).
  template <class D, class Each>
  Status list(D& de, Each&& each) {
    auto r = de.seq(ListVisitor<std::remove_reference_t<Each>>{{}, &each});
    if (!r.ok()) return r.take_error();
    return {};
  }

  // Dots in strictly ascending order.
  template <class D>
  Result<InternedDotSet> dot_set(D& de) {
    InternedDotSet out;
    WW_TRY(list(de, [&](auto& d) -> Status {
      WW_TRY_ASSIGN(InternedDot x, dot(d));
      if (!out.empty() && !replicas_.less(out.back(), x)) return refused();
      out.push_back(x);
      return {};
    }));
    return out;
  }

  template <class D>
  Status context(D& de) {
    auto r = rec::read_fields(
        de, state_detail::kContextShape,
        rec::fields([&](auto& d) { return rec::assign(state_.compacted, read_replica_counters(d)); },
                    [&](auto& d) {
                      return list(d, [&](auto& x) -> Status {
                        WW_TRY_ASSIGN(InternedDot got, dot(x));
                        if (!state_.dots.empty() && !replicas_.less(state_.dots.back(), got)) return refused();
                        state_.dots.push_back(got);
                        return {};
                      });
                    }));
    if (!r.ok()) return r.take_error();
    return {};
  }

  // [[dot, "sha256:..."], ...], ascending by dot.
  template <class D>
  Status fingerprints(D& de) {
    return list(de, [&](auto& d) -> Status {
      InternedDot got;
      return pair(
          d,
          [&](auto& x) -> Status {
            WW_TRY_ASSIGN(got, dot(x));
            if (!state_.fingerprints.empty() && !replicas_.less(state_.fingerprints.back().dot, got)) {
              return refused();
            }
            return {};
          },
          [&](auto& x) -> Status {
            auto r = x.str(FingerprintVisitor{{}, &state_, got});
            if (!r.ok()) return r.take_error();
            return {};
          });
    });
  }

  // [first, second]: exactly two elements.
  template <class D, class First, class Second>
  Status pair(D& de, First&& first, Second&& second) {
    auto r = de.seq(
        PairVisitor<std::remove_reference_t<First>, std::remove_reference_t<Second>>{{}, &first, &second});
    if (!r.ok()) return r.take_error();
    return {};
  }

  // A node: its tag first, then its fields straight into the compact form.
  template <class D>
  Result<Node> node(D& de) {
    Node out;
    std::optional<Value> value;
    std::optional<InternedDot> reg_dot;
    auto shape_of = [](std::size_t kind) -> const rec::RecordShape& {
      switch (static_cast<Node::Kind>(kind)) {
        case Node::Kind::Register: return state_detail::kRegisterShape;
        case Node::Kind::Map: return state_detail::kMapShape;
        case Node::Kind::Set: return state_detail::kSetShape;
        case Node::Kind::Sequence: break;
      }
      return state_detail::kSequenceShape;
    };
    auto begin = [&](std::size_t kind) { out = Node::empty(static_cast<Node::Kind>(kind)); };
    auto read = [&](std::size_t kind, std::size_t i, auto& d) -> Status {
      switch (static_cast<Node::Kind>(kind)) {
        case Node::Kind::Register:
          if (i == 0) return rec::read_option(d, value_read::ReadValue{}, value);
          return rec::read_option(d, [&](auto& x) { return dot(x); }, reg_dot);
        case Node::Kind::Map:
        case Node::Kind::Set: return entries(d, *out.entries(), out.is(Node::Kind::Map));
        case Node::Kind::Sequence: break;
      }
      if (i == 0) return sequence_entries(d, *out.sequence());
      return sequence_deletes(d, *out.sequence());
    };
    WW_TRY(json::read_tag_first(de, "kind", rec::variant_names(state_detail::kNodeKinds), shape_of, begin, read));
    if (out.is(Node::Kind::Register)) {
      if (value) out.value() = StoredValue(*value);
      if (reg_dot) out.set_dot(*reg_dot);
    } else if (SequenceNode* seq = out.sequence()) {
      for (const DeleteRecord& d : seq->deletes) {
        const std::uint32_t h = seq->find(d.id, replicas_);
        if (h != kNoHandle) seq->elements[h].deleted = true;
      }
      seq->order.rebuild(*seq, replicas_);
    }
    return out;
  }

  // {"key": entry, ...} in strictly ascending key order.
  template <class D>
  Status entries(D& de, EntryTable& table, bool map) {
    auto r = de.map(EntriesVisitor<FastReader>{{}, this, &table, map});
    if (!r.ok()) return r.take_error();
    return {};
  }

  template <class D>
  Status entry(D& de, EntryTable& table, const std::string& key, bool map) {
    Node node_read;
    InternedDotSet dots;
    InternedDotSet removed;
    InternedDotSet removal_ops;
    WW_TRY(rec::read_fields(de, map ? state_detail::kMapEntryShape : state_detail::kSetEntryShape,
                            rec::fields([&](auto& d) { return rec::assign(node_read, node(d)); },
                                        [&](auto& d) { return rec::assign(dots, dot_set(d)); },
                                        [&](auto& d) { return rec::assign(removed, dot_set(d)); },
                                        [&](auto& d) { return rec::assign(removal_ops, dot_set(d)); })));
    Entry& e = table.push_back(key, std::move(node_read));
    e.dots = std::move(dots);
    e.removed = std::move(removed);
    e.removal_ops = std::move(removal_ops);
    return {};
  }

  // [[id, {"after":..,"node":..,"inserted":..}], ...], ascending by id.
  template <class D>
  Status sequence_entries(D& de, SequenceNode& seq) {
    return list(de, [&](auto& d) -> Status {
          Element e;
          WW_TRY(pair(d, [&](auto& x) { return rec::assign(e.id, element_id(x)); }, [&](auto& x) -> Status {
            std::optional<InternedElementId> after;
            std::optional<Node> node_read;
            WW_TRY(rec::read_fields(
                x, state_detail::kSequenceEntryShape,
                rec::fields([&](auto& y) { return rec::read_option(y, [&](auto& z) { return element_id(z); }, after); },
                            [&](auto& y) { return rec::read_option(y, [&](auto& z) { return node(z); }, node_read); },
                            [&](auto& y) { return rec::assign(e.inserted, rec::read_bool(y)); })));
            if (after) e.after = *after;
            if (node_read) e.node = std::move(*node_read);
            return {};
          }));
          if (!seq.ids.empty() && !replicas_.less(seq.ids.back().id, e.id)) return refused();
          seq.push_back(std::move(e));
          return {};
        });
  }

  // [[id, [dot, ...]], ...], ascending by id.
  template <class D>
  Status sequence_deletes(D& de, SequenceNode& seq) {
    return list(de, [&](auto& d) -> Status {
          DeleteRecord record;
          WW_TRY(pair(d, [&](auto& x) { return rec::assign(record.id, element_id(x)); },
                      [&](auto& x) { return rec::assign(record.dots, dot_set(x)); }));
          if (!seq.deletes.empty() && !replicas_.less(seq.deletes.back().id, record.id)) return refused();
          seq.deletes.push_back(std::move(record));
          return {};
        });
  }

 private:
  RestoredState& state_;
  ReplicaTable& replicas_;
};

}  // namespace

void RestoredState::add_fingerprint(const InternedDot& dot, std::string_view text) {
  Fingerprint f{dot, {}, kDigest};
  if (text.size() != kSha256TextSize || !text.starts_with(kSha256Prefix)) {
    bad_fingerprint = true;
    fingerprints.push_back(f);
    return;
  }
  const std::string_view digits = text.substr(kSha256Prefix.size());
  for (std::size_t i = 0; i < 32; ++i) {
    const int hi = hex_value(digits[2 * i]);
    const int lo = hex_value(digits[2 * i + 1]);
    if (hi < 0 || lo < 0) {
      f.text = static_cast<std::uint32_t>(texts.size());
      texts.emplace_back(digits);
      break;
    }
    f.digest[i] = static_cast<unsigned char>(hi << 4 | lo);
  }
  if (f.text != kDigest) f.digest = {};
  fingerprints.push_back(f);
}

bool read_restored_state_fast(std::string_view text, RestoredState& out) {
  FastReader reader(out);
  return json::read_whole(text, false, [&](TextDe& de) { return reader.whole(de); }).ok();
}

Result<RestoredState> read_restored_state(std::string_view text) {
  WW_TRY_ASSIGN(CrdtState wire, crdt_state_from_json(text));
  RestoredState out;
  out.state_version = wire.state_version;
  out.spec_hash = std::move(wire.spec_hash);
  out.compacted = std::move(wire.context.compacted);
  out.dots.reserve(wire.context.dots.size());
  for (const Dot& d : wire.context.dots) out.dots.push_back(out.replicas.intern(d));
  out.fingerprints.reserve(wire.fingerprints.size());
  for (const auto& [dot, fingerprint] : wire.fingerprints) out.add_fingerprint(out.replicas.intern(dot), fingerprint);
  out.root = node_from_wire(std::move(wire.root), out.replicas);
  return out;
}

}  // namespace ww::crdt::reducer
