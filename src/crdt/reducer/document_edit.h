// Changing a document's node tree so that a failed call can be undone.
// Every change goes through an Editor, which records how to undo it in a
// Journal and keeps the sequences' orders in step. Undoing runs the records
// backwards, so each one finds the tree as it left it, the orders included.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "crdt/reducer/op_log.h"
#include "crdt/reducer/tree.h"
#include "value/value.h"

namespace ww::crdt::reducer {

class Journal {
 public:
  struct EntryCreated {
    EntryTable* table;
    std::string key;
  };
  struct DotAdded {
    InternedDotSet* set;
    InternedDot dot;
  };
  struct ElementCreated {
    SequenceNode* seq;
    InternedElementId id;
  };
  struct AfterSet {
    SequenceNode* seq;
    Element* element;
    InternedElementId old;
  };
  struct ElementNodeMade {
    Element* element;
  };
  struct InsertedMarked {
    SequenceNode* seq;
    std::uint32_t handle;
    bool laid_out;  // placing it laid the whole order out again
  };
  struct DeleteCreated {
    SequenceNode* seq;
    InternedElementId id;
  };
  struct DeleteDotAdded {
    SequenceNode* seq;
    InternedElementId id;
    InternedDot dot;
  };
  struct RegisterWritten {
    Node* node;
    StoredValue value;
    InternedDot dot;
  };
  struct Logged {
    InternedDot dot;
  };
  using Record = std::variant<EntryCreated, DotAdded, ElementCreated, AfterSet, ElementNodeMade, InsertedMarked,
                              DeleteCreated, DeleteDotAdded, RegisterWritten, Logged>;

  Journal() = default;
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  void record(Record r) { records_.push_back(std::move(r)); }
  // Undoes everything recorded, latest first.
  void rollback(OpLog& log, const ReplicaTable& replicas);
  // Starts the records of a call (keeping their storage).
  void begin_call() {
    records_.clear();
    ++call_;
  }
  // Numbers the calls, so that a sequence can tell the elements made in this one.
  std::uint64_t call() const { return call_; }

 private:
  std::vector<Record> records_;
  std::uint64_t call_ = 0;
};

class Editor {
 public:
  // Without a journal nothing is recorded (a document being built).
  Editor(Journal* journal, const ReplicaTable& replicas) : journal_(journal), replicas_(replicas) {}

  const ReplicaTable& replicas() const { return replicas_; }

  // Inserts `dot`; true when it was not there yet.
  bool add_dot(InternedDotSet& set, const InternedDot& dot);
  void add_dots(InternedDotSet& set, const std::vector<InternedDot>& dots);

  // The entry of `key`, created with the empty node of `kind` when missing.
  Entry& entry(EntryTable& table, std::string_view key, Node::Kind kind);
  // The element of `id`, created as {after: none, node: none, not inserted}.
  std::uint32_t element(SequenceNode& seq, const InternedElementId& id);
  void set_after(SequenceNode& seq, std::uint32_t h, const InternedElementId& after);
  // The element's node, given the empty node of `kind` when it has none.
  Node& element_node(SequenceNode& seq, std::uint32_t h, Node::Kind kind);
  void mark_inserted(SequenceNode& seq, std::uint32_t h);
  // Adds `dot` to the deletion record of `id`, creating the record.
  void add_delete(SequenceNode& seq, const InternedElementId& id, const InternedDot& dot);

  // The register takes the value and dot.
  void write_register(Node& reg, const Value& value, const InternedDot& dot);

 private:
  // Whether element `h` was made in this call: undoing its making undoes
  // every change to it, which then needs no record of its own.
  bool made_in_call(const SequenceNode& seq, std::uint32_t h) const {
    return seq.made_in_call == journal_->call() && h >= seq.first_made;
  }

  Journal* journal_;
  const ReplicaTable& replicas_;
};

}  // namespace ww::crdt::reducer
