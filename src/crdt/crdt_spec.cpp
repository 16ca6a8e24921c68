// The policy tree's own operations, the canonical text and the hash.
#include "crdt/crdt_spec.h"

#include <algorithm>
#include <vector>

#include "crdt/sha256_text.h"
#include "format/json/json_writer.h"

namespace ww::crdt {
namespace {

// Sets are written with their identity paths in normalised order; sorting
// pointers leaves the specification as it was.
void write_policy(const CrdtPolicy& policy, std::string& out) {
  out.append("{\"kind\":");
  json::append_str(policy_kind_name(policy.kind()), out);
  switch (policy.kind()) {
    case CrdtPolicy::Kind::Register: break;
    case CrdtPolicy::Kind::Map: {
      const MapPolicy& map = *policy.map();
      if (!map.fields.empty()) {
        out.append(",\"fields\":{");
        bool first = true;
        for (const auto& [name, child] : map.fields) {
          if (!first) out.push_back(',');
          first = false;
          json::append_str(name, out);
          out.push_back(':');
          write_policy(child, out);
        }
        out.push_back('}');
      }
      out.append(",\"values\":");
      write_policy(*map.values, out);
      break;
    }
    case CrdtPolicy::Kind::Set: {
      const SetPolicy& set = *policy.set();
      if (!set.keys.empty()) {
        std::vector<const IdentityPath*> keys;
        keys.reserve(set.keys.size());
        for (const IdentityPath& p : set.keys) keys.push_back(&p);
        std::sort(keys.begin(), keys.end(), [](const IdentityPath* a, const IdentityPath* b) { return *a < *b; });
        out.append(",\"keys\":[");
        for (std::size_t i = 0; i < keys.size(); ++i) {
          if (i) out.push_back(',');
          out.push_back('[');
          for (std::size_t j = 0; j < keys[i]->size(); ++j) {
            if (j) out.push_back(',');
            json::append_str((*keys[i])[j], out);
          }
          out.push_back(']');
        }
        out.push_back(']');
      }
      out.append(",\"element\":");
      write_policy(*set.element, out);
      break;
    }
    case CrdtPolicy::Kind::Sequence: {
      const SequencePolicy& seq = *policy.sequence();
      out.append(seq.materialization == SequenceMaterialization::String ? ",\"materialization\":\"string\""
                                                                        : ",\"materialization\":\"list\"");
      out.append(",\"element\":");
      write_policy(*seq.element, out);
      break;
    }
  }
  out.push_back('}');
}

}  // namespace

const CrdtPolicy& MapPolicy::child(std::string_view key) const {
  auto it = fields.find(key);
  return it != fields.end() ? it->second : *values;
}

bool operator==(const MapPolicy& a, const MapPolicy& b) { return a.fields == b.fields && a.values == b.values; }
bool operator==(const SetPolicy& a, const SetPolicy& b) { return a.keys == b.keys && a.element == b.element; }
bool operator==(const SequencePolicy& a, const SequencePolicy& b) {
  return a.materialization == b.materialization && a.element == b.element;
}

std::string_view policy_kind_name(CrdtPolicy::Kind kind) {
  switch (kind) {
    case CrdtPolicy::Kind::Register: return "register";
    case CrdtPolicy::Kind::Map: return "map";
    case CrdtPolicy::Kind::Set: return "set";
    case CrdtPolicy::Kind::Sequence: break;
  }
  return "sequence";
}

Result<std::string> CrdtSpec::to_json(const CrdtSpec& spec) {
  WW_TRY(check_spec_version(spec.version));
  WW_TRY(validate_policy(spec.root, "root"));
  std::string out = "{\"version\":1,\"root\":";
  write_policy(spec.root, out);
  out.push_back('}');
  return out;
}

Result<std::string> CrdtSpec::hash(const CrdtSpec& spec) {
  WW_TRY_ASSIGN(std::string text, to_json(spec));
  return sha256_text(text);
}

}  // namespace ww::crdt
