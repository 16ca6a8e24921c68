#include "crdt/reducer/document_paths.h"

#include <algorithm>
#include <vector>

#include "crdt/reducer/document_messages.h"
#include "format/debug_text.h"

namespace ww::crdt::reducer {
namespace {

using Seg = CrdtPathSegment::Kind;

// `a` is a prefix of `b`, or `b` of `a`.
bool prefix_related(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  const std::size_t n = std::min(a.size(), b.size());
  return std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin());
}

Status check_identity(const SetPolicy& set, const TargetPath& target, std::size_t member_at) {
  if (set.keys.empty()) return Error::custom(kIdentityImmutable);
  std::vector<std::string> run;
  for (std::size_t i = member_at + 1; i < target.size() && target.kind(i) == Seg::Key; ++i) run.push_back(target.key(i));
  for (const IdentityPath& p : set.keys) {
    if (prefix_related(run, p)) return Error::custom(kIdentityImmutable);
  }
  return {};
}

// One step of the policy walk.
Result<const CrdtPolicy*> policy_step(const CrdtPolicy& policy, Seg kind, const std::string& key) {
  switch (kind) {
    case Seg::Key:
      if (const MapPolicy* m = policy.map()) return &m->child(key);
      break;
    case Seg::Member:
      if (const SetPolicy* s = policy.set()) return &*s->element;
      break;
    case Seg::Element:
      if (const SequencePolicy* q = policy.sequence()) return &*q->element;
      break;
  }
  return Error::custom(kSegmentPolicyMismatch);
}

std::string quoted(std::string_view text) { return debug_str(text); }

}  // namespace

TargetPath::TargetPath(const CrdtOp& op) : path_(op.path()), extra_key_(nullptr) {
  if (const auto* s = std::get_if<CrdtOp::MapSet>(&op.op)) extra_key_ = &s->key;
  if (const auto* r = std::get_if<CrdtOp::MapRemove>(&op.op)) extra_key_ = &r->key;
}

Result<const CrdtPolicy*> policy_at_path(const CrdtPolicy& root, const CrdtPath& path) {
  const CrdtPolicy* policy = &root;
  for (const CrdtPathSegment& seg : path) {
    WW_TRY_ASSIGN(policy, policy_step(*policy, seg.kind, seg.key));
  }
  return policy;
}

Status check_target_policy(const CrdtPolicy& root, const TargetPath& target) {
  const CrdtPolicy* policy = &root;
  static const std::string kNoKey;
  for (std::size_t i = 0; i < target.size(); ++i) {
    const Seg kind = target.kind(i);
    WW_TRY_ASSIGN(const CrdtPolicy* next, policy_step(*policy, kind, kind == Seg::Element ? kNoKey : target.key(i)));
    if (kind == Seg::Member) WW_TRY(check_identity(*policy->set(), target, i));
    policy = next;
  }
  return {};
}

namespace {

// The element id of a path step: interned already, or looked up by name
// (an unknown replica names no element).
InternedElementId step_id(const CrdtPathSegment& seg, const ReplicaTable& replicas) {
  const std::uint32_t replica = replicas.find(seg.id.dot.replica);
  if (replica == kNoReplica) return {};
  return InternedElementId{seg.id.dot.counter, replica, seg.id.index};
}
InternedElementId step_id(const InternedStep& step, const ReplicaTable&) { return step.id; }

const std::string& step_key(const CrdtPathSegment& seg) { return seg.key; }
const std::string& step_key(const InternedStep& step) { return *step.key; }

const ElementId& wire_id(const CrdtPathSegment& seg, const ReplicaTable&, ElementId&) { return seg.id; }
const ElementId& wire_id(const InternedStep& step, const ReplicaTable& replicas, ElementId& scratch) {
  scratch = replicas.wire(step.id);
  return scratch;
}

template <class Steps>
Result<PolicyNode<const Node>> walk(const Node& root, const CrdtPolicy& policy, const Steps& path,
                                    const ReplicaTable& replicas) {
  const Node* node = &root;
  const CrdtPolicy* pol = &policy;
  for (const auto& seg : path) {
    switch (seg.kind) {
      case Seg::Key: {
        const EntryTable* m = node->map();
        const MapPolicy* mp = pol->map();
        if (m == nullptr || mp == nullptr) return Error::custom(kSegmentStateMismatch);
        const Entry* e = m->find(step_key(seg));
        if (e == nullptr) return Error::custom("unknown map key " + quoted(step_key(seg)));
        node = &e->node;
        pol = &mp->child(step_key(seg));
        break;
      }
      case Seg::Member: {
        const EntryTable* s = node->set();
        const SetPolicy* sp = pol->set();
        if (s == nullptr || sp == nullptr) return Error::custom(kSegmentStateMismatch);
        const Entry* e = s->find(step_key(seg));
        if (e == nullptr) return Error::custom("unknown set member " + quoted(step_key(seg)));
        node = &e->node;
        pol = &*sp->element;
        break;
      }
      case Seg::Element: {
        const SequenceNode* q = node->sequence();
        const SequencePolicy* qp = pol->sequence();
        if (q == nullptr || qp == nullptr) return Error::custom(kSegmentStateMismatch);
        const InternedElementId id = step_id(seg, replicas);
        const std::uint32_t h = id.none() ? kNoHandle : q->find(id, replicas);
        if (h == kNoHandle || !q->elements[h].node.present()) {
          ElementId scratch;
          return Error::custom("unknown sequence element " + element_id_debug(wire_id(seg, replicas, scratch)));
        }
        node = &q->elements[h].node;
        pol = &*qp->element;
        break;
      }
    }
  }
  return PolicyNode<const Node>{pol, node};
}

}  // namespace

Result<PolicyNode<const Node>> node_at_path(const Node& root, const CrdtPolicy& policy, const CrdtPath& path,
                                            const ReplicaTable& replicas) {
  return walk(root, policy, path, replicas);
}

Result<PolicyNode<const Node>> node_at_path(const Node& root, const CrdtPolicy& policy,
                                            const std::vector<InternedStep>& path, const ReplicaTable& replicas) {
  return walk(root, policy, path, replicas);
}

Result<PolicyNode<Node>> node_at_path_mut(Node& root, const CrdtPolicy& policy, const std::vector<InternedStep>& path,
                                          const InternedDot& dot, Editor& editor) {
  Node* node = &root;
  const CrdtPolicy* pol = &policy;
  for (const InternedStep& seg : path) {
    switch (seg.kind) {
      case Seg::Key: {
        EntryTable* m = node->map();
        const MapPolicy* mp = pol->map();
        if (m == nullptr || mp == nullptr) return Error::custom(kSegmentStateMismatch);
        pol = &mp->child(*seg.key);
        Entry& entry = editor.entry(*m, *seg.key, pol->kind());
        editor.add_dot(entry.dots, dot);
        node = &entry.node;
        break;
      }
      case Seg::Member: {
        EntryTable* s = node->set();
        const SetPolicy* sp = pol->set();
        if (s == nullptr || sp == nullptr) return Error::custom(kSegmentStateMismatch);
        pol = &*sp->element;
        node = &editor.entry(*s, *seg.key, pol->kind()).node;
        break;
      }
      case Seg::Element: {
        SequenceNode* q = node->sequence();
        const SequencePolicy* qp = pol->sequence();
        if (q == nullptr || qp == nullptr) return Error::custom(kSegmentStateMismatch);
        pol = &*qp->element;
        node = &editor.element_node(*q, editor.element(*q, seg.id), pol->kind());
        break;
      }
    }
  }
  return PolicyNode<Node>{pol, node};
}

}  // namespace ww::crdt::reducer
