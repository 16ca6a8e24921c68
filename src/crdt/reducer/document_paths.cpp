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

Result<PolicyNode<const NodeState>> node_at_path(const NodeState& root, const CrdtPolicy& policy,
                                                 const CrdtPath& path) {
  const NodeState* node = &root;
  const CrdtPolicy* pol = &policy;
  for (const CrdtPathSegment& seg : path) {
    switch (seg.kind) {
      case Seg::Key: {
        const MapState* m = node->map();
        const MapPolicy* mp = pol->map();
        if (m == nullptr || mp == nullptr) return Error::custom(kSegmentStateMismatch);
        auto it = m->entries.find(seg.key);
        if (it == m->entries.end()) return Error::custom("unknown map key " + quoted(seg.key));
        node = &it->second.node;
        pol = &mp->child(seg.key);
        break;
      }
      case Seg::Member: {
        const SetState* s = node->set();
        const SetPolicy* sp = pol->set();
        if (s == nullptr || sp == nullptr) return Error::custom(kSegmentStateMismatch);
        auto it = s->entries.find(seg.key);
        if (it == s->entries.end()) return Error::custom("unknown set member " + quoted(seg.key));
        node = &it->second.node;
        pol = &*sp->element;
        break;
      }
      case Seg::Element: {
        const SequenceState* q = node->sequence();
        const SequencePolicy* qp = pol->sequence();
        if (q == nullptr || qp == nullptr) return Error::custom(kSegmentStateMismatch);
        auto it = q->entries.find(seg.id);
        if (it == q->entries.end() || !it->second.node) {
          return Error::custom("unknown sequence element " + element_id_debug(seg.id));
        }
        node = &*it->second.node;
        pol = &*qp->element;
        break;
      }
    }
  }
  return PolicyNode<const NodeState>{pol, node};
}

Result<PolicyNode<NodeState>> node_at_path_mut(NodeState& root, const CrdtPolicy& policy, const CrdtPath& path,
                                               const Dot& dot, Editor& editor) {
  NodeState* node = &root;
  const CrdtPolicy* pol = &policy;
  for (const CrdtPathSegment& seg : path) {
    switch (seg.kind) {
      case Seg::Key: {
        MapState* m = node->map();
        const MapPolicy* mp = pol->map();
        if (m == nullptr || mp == nullptr) return Error::custom(kSegmentStateMismatch);
        pol = &mp->child(seg.key);
        MapEntryState& entry = editor.map_entry(*m, seg.key, pol->kind());
        editor.add_dot(entry.dots, dot);
        node = &entry.node;
        break;
      }
      case Seg::Member: {
        SetState* s = node->set();
        const SetPolicy* sp = pol->set();
        if (s == nullptr || sp == nullptr) return Error::custom(kSegmentStateMismatch);
        pol = &*sp->element;
        node = &editor.set_member(*s, seg.key, pol->kind()).node;
        break;
      }
      case Seg::Element: {
        SequenceState* q = node->sequence();
        const SequencePolicy* qp = pol->sequence();
        if (q == nullptr || qp == nullptr) return Error::custom(kSegmentStateMismatch);
        pol = &*qp->element;
        node = &editor.element_node(editor.sequence_entry(*q, seg.id), pol->kind());
        break;
      }
    }
  }
  return PolicyNode<NodeState>{pol, node};
}

}  // namespace ww::crdt::reducer
