#include "client/client_message.h"

#include <array>
#include <span>

#include "format/json/json_value_read.h"
#include "format/json/json_writer.h"
#include "format/json/tagged.h"
#include "format/json/text_de.h"
#include "format/json/value_de.h"
#include "format/record/struct_visitor.h"

namespace ww::client {
namespace {

enum class Field : std::uint8_t { Id, Rev, PatchRev, Proposal, RequiredProposal, Error, Peer, State, Proposals };

struct KindSpec {
  std::string_view name;  // "ClientMessage::Patch"
  std::span<const std::string_view> names;
  std::span<const Field> fields;
};

// The fields read so far, for either union.
struct Record {
  std::uint64_t id = 0, rev = 0;
  std::optional<std::string> proposal;
  std::string error, peer;
  std::optional<JsonValue> state;
  std::vector<std::string> proposals;
};

struct PatchRevisionVisitor : rec::StructVisitor<PatchRevisionVisitor, std::uint64_t> {
  static constexpr std::array<std::string_view, 1> kFields = {"rev"};
  static constexpr bool kDenyUnknown = false;
  std::uint64_t rev = 0;
  std::string expecting() const { return "struct PatchRevision"; }
  template <class D>
  Status read_field(std::size_t, D& de) {
    WW_TRY_ASSIGN(rev, rec::read_u64(de));
    return {};
  }
  Result<std::uint64_t> finish(std::uint64_t present) {
    if (!has(present, 0)) return missing(0);
    return rev;
  }
};

struct TextListVisitor : rec::Visitor<TextListVisitor, std::vector<std::string>> {
  std::string expecting() const { return "a sequence"; }
  template <class S>
  Result<std::vector<std::string>> visit_seq(rec::Ctx, S& seq) {
    std::vector<std::string> out;
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
        WW_TRY_ASSIGN(std::string s, rec::read_string(de));
        out.push_back(std::move(s));
        return {};
      }));
      if (!more) return out;
    }
  }
};

bool is_required(Field f) { return f != Field::Proposal && f != Field::State; }

// The fields of one kind, from an object of named members or an array.
struct FieldsVisitor : rec::Visitor<FieldsVisitor, bool> {
  const KindSpec* spec;
  Record* out;

  std::string expecting() const { return "struct variant " + std::string(spec->name); }

  template <class D>
  Status read_field(std::size_t i, D& de) {
    switch (spec->fields[i]) {
      case Field::Id: { WW_TRY_ASSIGN(out->id, rec::read_u64(de)); break; }
      case Field::Rev: { WW_TRY_ASSIGN(out->rev, rec::read_u64(de)); break; }
      case Field::PatchRev: { WW_TRY_ASSIGN(out->rev, de.struct_("PatchRevision", PatchRevisionVisitor::kFields, PatchRevisionVisitor{})); break; }
      case Field::Proposal: { WW_TRY(rec::read_optional(de, [](auto& d) { return rec::read_string(d); }, out->proposal)); break; }
      case Field::RequiredProposal: {
        WW_TRY_ASSIGN(std::string s, rec::read_string(de));
        out->proposal = std::move(s);
        break;
      }
      case Field::Error: { WW_TRY_ASSIGN(out->error, rec::read_string(de)); break; }
      case Field::Peer: { WW_TRY_ASSIGN(out->peer, rec::read_string(de)); break; }
      case Field::State: { WW_TRY(rec::read_optional(de, [](auto& d) { return json::read_json_value(d); }, out->state)); break; }
      case Field::Proposals: { WW_TRY_ASSIGN(out->proposals, de.seq(TextListVisitor{})); break; }
    }
    return {};
  }

  template <class M>
  Result<bool> visit_map(rec::Ctx, M& map) {
    std::uint64_t present = 0;
    for (;;) {
      std::size_t i = 0;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(i, kd.identifier(rec::field_names(spec->names, false)));
        return {};
      }));
      if (!more) break;
      if (i >= spec->names.size()) {
        WW_TRY(map.next_value([](auto& de) { return de.ignored_any(); }));
        continue;
      }
      if ((present >> i) & 1u) return rec::duplicate_field(spec->names[i]);
      WW_TRY(map.next_value([&](auto& de) { return read_field(i, de); }));
      present |= std::uint64_t{1} << i;
    }
    for (std::size_t i = 0; i < spec->names.size(); ++i) {
      if (!((present >> i) & 1u) && is_required(spec->fields[i])) return rec::missing_field(spec->names[i]);
    }
    return true;
  }

  template <class S>
  Result<bool> visit_seq(rec::Ctx, S& seq) {
    const std::size_t n = spec->names.size();
    for (std::size_t i = 0; i < n; ++i) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) { return read_field(i, de); }));
      if (!more) return rec::invalid_length(i, rec::with_elements(expecting(), n));
    }
    return true;
  }
};

Status read_fields(const KindSpec& spec, const JsonValue& rest, Record& out) {
  json::ValueDe de(rest);
  auto r = de.any(FieldsVisitor{{}, &spec, &out});
  if (!r.ok()) return r.take_error();
  return {};
}

using F = Field;
constexpr std::array<std::string_view, 2> kIdRev = {"id", "rev"};
constexpr std::array<F, 2> kIdRevF = {F::Id, F::Rev};
constexpr std::array<std::string_view, 3> kIdRevProposal = {"id", "rev", "proposal"};
constexpr std::array<F, 3> kIdRevOptProposalF = {F::Id, F::Rev, F::Proposal};
constexpr std::array<F, 3> kIdRevProposalF = {F::Id, F::Rev, F::RequiredProposal};
constexpr std::array<std::string_view, 3> kPatchNames = {"id", "patch", "proposal"};
constexpr std::array<F, 3> kPatchF = {F::Id, F::PatchRev, F::Proposal};
constexpr std::array<std::string_view, 4> kRejectNames = {"id", "rev", "error", "proposal"};
constexpr std::array<F, 4> kRejectF = {F::Id, F::Rev, F::Error, F::Proposal};
constexpr std::array<std::string_view, 3> kAwarenessNames = {"id", "peer", "state"};
constexpr std::array<F, 3> kAwarenessF = {F::Id, F::Peer, F::State};
constexpr std::array<std::string_view, 1> kDisconnectNames = {"proposals"};
constexpr std::array<F, 1> kDisconnectF = {F::Proposals};

constexpr std::array<std::string_view, 8> kMessageTags = {"snapshot", "crdt_snapshot", "patch", "crdt",
                                                          "ack",      "reject",        "awareness", "batch"};
const KindSpec kMessageKinds[] = {
    {"ClientMessage::Snapshot", kIdRev, kIdRevF},
    {"ClientMessage::CrdtSnapshot", kIdRev, kIdRevF},
    {"ClientMessage::Patch", kPatchNames, kPatchF},
    {"ClientMessage::Crdt", kIdRevProposal, kIdRevOptProposalF},
    {"ClientMessage::Ack", kIdRevProposal, kIdRevProposalF},
    {"ClientMessage::Reject", kRejectNames, kRejectF},
    {"ClientMessage::Awareness", kAwarenessNames, kAwarenessF},
};

constexpr std::array<std::string_view, 10> kEffectTags = {
    "snapshot",  "crdt_snapshot", "patch",     "crdt",   "stale_patch",
    "acknowledgement", "rejection", "awareness", "ignore", "disconnect"};
const KindSpec kEffectKinds[] = {
    {"ClientEffect::Snapshot", kIdRev, kIdRevF},
    {"ClientEffect::CrdtSnapshot", kIdRev, kIdRevF},
    {"ClientEffect::Patch", kIdRevProposal, kIdRevOptProposalF},
    {"ClientEffect::Crdt", kIdRevProposal, kIdRevOptProposalF},
    {"ClientEffect::StalePatch", kIdRevProposal, kIdRevOptProposalF},
    {"ClientEffect::Acknowledgement", kIdRevProposal, kIdRevProposalF},
    {"ClientEffect::Rejection", kRejectNames, kRejectF},
    {"ClientEffect::Awareness", kAwarenessNames, kAwarenessF},
    {"", {}, {}},  // Ignore
    {"ClientEffect::Disconnect", kDisconnectNames, kDisconnectF},
};

template <class Out>
void move_record(Record& r, Out& out) {
  out.id = r.id;
  out.rev = r.rev;
  out.proposal = std::move(r.proposal);
  out.error = std::move(r.error);
  out.peer = std::move(r.peer);
  out.state = std::move(r.state);
}

}  // namespace

Result<ClientMessage> read_client_message(std::string_view text) {
  // Tags other than the eight known ones read as Unknown.
  rec::NameVisitor tags{{}, kMessageTags, "variant identifier", rec::NameVisitor::Unknown::Skip};
  // Both steps come before the check for trailing text.
  return json::read_whole(text, false, [&](json::TextDe& de) -> Result<ClientMessage> {
    WW_TRY_ASSIGN(auto tagged, json::read_tagged(de, "t", "ClientMessage", tags));
    ClientMessage out;
    out.kind = static_cast<ClientMessage::Kind>(tagged.tag);
    if (tagged.tag >= 7) {
      WW_TRY(json::read_tagged_unit(tagged.rest));
      return out;
    }
    Record r;
    WW_TRY(read_fields(kMessageKinds[tagged.tag], tagged.rest, r));
    move_record(r, out);
    return out;
  });
}

Result<ClientEffect> read_client_effect(std::string_view text) {
  return json::read_whole(text, false, [&](json::TextDe& de) -> Result<ClientEffect> {
    WW_TRY_ASSIGN(auto tagged, json::read_tagged(de, "effect", "ClientEffect", rec::variant_names(kEffectTags)));
    ClientEffect out;
    out.kind = static_cast<ClientEffect::Kind>(tagged.tag);
    if (out.kind == ClientEffect::Kind::Ignore) {
      WW_TRY(json::read_tagged_unit(tagged.rest));
      return out;
    }
    Record r;
    WW_TRY(read_fields(kEffectKinds[tagged.tag], tagged.rest, r));
    move_record(r, out);
    out.proposals = std::move(r.proposals);
    return out;
  });
}

std::string write_client_effect(const ClientEffect& e) {
  std::string out = "{\"effect\":";
  json::append_str(kEffectTags[static_cast<std::size_t>(e.kind)], out);
  auto num = [&](const char* name, std::uint64_t v) {
    out.append(",\"").append(name).append("\":");
    json::append_u64(v, out);
  };
  auto text = [&](const char* name, const std::string& v) {
    out.append(",\"").append(name).append("\":");
    json::append_str(v, out);
  };
  using K = ClientEffect::Kind;
  switch (e.kind) {
    case K::Ignore: break;
    case K::Disconnect:
      out.append(",\"proposals\":[");
      for (std::size_t i = 0; i < e.proposals.size(); ++i) {
        if (i) out.push_back(',');
        json::append_str(e.proposals[i], out);
      }
      out.push_back(']');
      break;
    case K::Awareness:
      num("id", e.id);
      text("peer", e.peer);
      out.append(",\"state\":");
      if (e.state) {
        write_json(*e.state, out);
      } else {
        out.append("null");
      }
      break;
    case K::Rejection:
      num("id", e.id);
      num("rev", e.rev);
      text("error", e.error);
      if (e.proposal) text("proposal", *e.proposal);
      break;
    default:
      num("id", e.id);
      num("rev", e.rev);
      if (e.proposal) text("proposal", *e.proposal);
      break;
  }
  out.push_back('}');
  return out;
}

}  // namespace ww::client
