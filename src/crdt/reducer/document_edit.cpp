#include "crdt/reducer/document_edit.h"

#include <utility>

namespace ww::crdt::reducer {
namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

void Journal::rollback(OpLog& log, const ReplicaTable& replicas) {
  while (!records_.empty()) {
    std::visit(Overloaded{
                   [&](EntryCreated& r) { r.table->erase_latest(r.key); },
                   [&](DotAdded& r) { r.set->erase(r.dot, replicas); },
                   [&](ElementCreated& r) { r.seq->erase_latest(r.id, replicas); },
                   [&](AfterSet& r) {
                     r.element->after = r.old;
                     if (r.element->inserted) r.seq->order.rebuild(*r.seq, replicas);
                   },
                   [&](ElementNodeMade& r) { r.element->node = Node(); },
                   [&](InsertedMarked& r) {
                     Element& e = r.seq->elements[r.handle];
                     e.inserted = false;
                     if (r.laid_out) {
                       r.seq->order.rebuild(*r.seq, replicas);
                     } else {
                       r.seq->order.erase(r.handle, r.seq->elements);
                     }
                   },
                   [&](DeleteCreated& r) {
                     r.seq->erase_delete(r.id, replicas);
                     const std::uint32_t h = r.seq->find(r.id, replicas);
                     if (h == kNoHandle) return;
                     Element& e = r.seq->elements[h];
                     e.deleted = false;
                     r.seq->order.on_undeleted(e, h);
                   },
                   [&](DeleteDotAdded& r) {
                     if (DeleteRecord* d = r.seq->find_delete(r.id, replicas)) d->dots.erase(r.dot, replicas);
                   },
                   [&](RegisterWritten& r) {
                     r.node->value() = std::move(r.value);
                     r.node->set_dot(r.dot);
                   },
                   [&](Logged& r) { log.erase(r.dot, replicas); },
               },
               records_.back());
    records_.pop_back();
  }
}

bool Editor::add_dot(InternedDotSet& set, const InternedDot& dot) {
  const bool inserted = set.insert(dot, replicas_);
  if (inserted && journal_ != nullptr) journal_->record(Journal::DotAdded{&set, dot});
  return inserted;
}

void Editor::add_dots(InternedDotSet& set, const std::vector<InternedDot>& dots) {
  for (const InternedDot& d : dots) add_dot(set, d);
}

Entry& Editor::entry(EntryTable& table, std::string_view key, Node::Kind kind) {
  auto [entry, created] = table.find_or_add(key, kind);
  if (created && journal_ != nullptr) journal_->record(Journal::EntryCreated{&table, std::string(key)});
  return *entry;
}

std::uint32_t Editor::element(SequenceNode& seq, const InternedElementId& id) {
  auto [h, created] = seq.find_or_add(id, replicas_);
  if (created && journal_ != nullptr) {
    journal_->record(Journal::ElementCreated{&seq, id});
    if (seq.made_in_call != journal_->call()) {
      seq.made_in_call = journal_->call();
      seq.first_made = h;
    }
  }
  return h;
}

void Editor::set_after(SequenceNode& seq, std::uint32_t h, const InternedElementId& after) {
  Element& e = seq.elements[h];
  if (e.after == after) return;
  if (journal_ != nullptr && !made_in_call(seq, h)) journal_->record(Journal::AfterSet{&seq, &e, e.after});
  e.after = after;
  // An element that moves to another anchor moves its whole subtree.
  if (e.inserted) seq.order.rebuild(seq, replicas_);
}

Node& Editor::element_node(SequenceNode& seq, std::uint32_t h, Node::Kind kind) {
  Element& e = seq.elements[h];
  if (!e.node.present()) {
    e.node = Node::empty(kind);
    if (journal_ != nullptr && !made_in_call(seq, h)) journal_->record(Journal::ElementNodeMade{&e});
  }
  return e.node;
}

void Editor::mark_inserted(SequenceNode& seq, std::uint32_t h) {
  Element& e = seq.elements[h];
  if (e.inserted) return;
  e.inserted = true;
  const bool laid_out = seq.order.on_inserted(seq, h, replicas_);
  if (journal_ != nullptr) journal_->record(Journal::InsertedMarked{&seq, h, laid_out});
}

void Editor::add_delete(SequenceNode& seq, const InternedElementId& id, const InternedDot& dot) {
  auto [record, created] = seq.delete_record(id, replicas_);
  const bool added = record->dots.insert(dot, replicas_);
  if (created) {
    if (journal_ != nullptr) journal_->record(Journal::DeleteCreated{&seq, id});
    const std::uint32_t h = seq.find(id, replicas_);
    if (h != kNoHandle) {
      Element& e = seq.elements[h];
      e.deleted = true;
      seq.order.on_deleted(e, h);
    }
  } else if (added && journal_ != nullptr) {
    journal_->record(Journal::DeleteDotAdded{&seq, id, dot});
  }
}

void Editor::write_register(Node& reg, const Value& value, const InternedDot& dot) {
  if (journal_ != nullptr) journal_->record(Journal::RegisterWritten{&reg, std::move(reg.value()), reg.dot()});
  reg.value() = StoredValue(value);
  reg.set_dot(dot);
}

}  // namespace ww::crdt::reducer
