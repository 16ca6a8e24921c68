#include "client/client_message.h"

#include <array>
#include <span>

#include "format/json/json_value_read.h"
#include "format/json/json_writer.h"
#include "format/json/tagged.h"
#include "format/json/text_de.h"
#include "format/record/fields.h"
#include "format/record/list.h"
#include "format/record/option.h"

namespace ww::client {
namespace {

enum class Field : std::uint8_t { Id, Rev, PatchRev, Proposal, RequiredProposal, Error, Peer, State, Proposals };

// The fields read so far, for either union.
struct Record {
  std::uint64_t id = 0, rev = 0;
  std::optional<std::string> proposal;
  std::string error, peer;
  std::optional<JsonValue> state;
  std::vector<std::string> proposals;
};

constexpr std::array<std::string_view, 1> kPatchRevisionNames = {"rev"};
constexpr rec::RecordShape kPatchRevisionShape{kPatchRevisionNames, "struct PatchRevision", 0b1};

// A patch message's own revision: the "rev" of its patch.
template <class D>
Result<std::uint64_t> read_patch_revision(D& de) {
  std::uint64_t rev = 0;
  WW_TRY(rec::read_fields(de, kPatchRevisionShape,
                          [&](std::size_t, auto& d) { return rec::assign(rev, rec::read_u64(d)); }));
  return rev;
}

template <class D>
Status read_field(Field field, D& de, Record& out) {
  switch (field) {
    case Field::Id: return rec::assign(out.id, rec::read_u64(de));
    case Field::Rev: return rec::assign(out.rev, rec::read_u64(de));
    case Field::PatchRev: return rec::assign(out.rev, read_patch_revision(de));
    case Field::Proposal:
      return rec::read_option(de, [](auto& d) { return rec::read_string(d); }, out.proposal);
    case Field::RequiredProposal: return rec::assign(out.proposal, rec::read_string(de));
    case Field::Error: return rec::assign(out.error, rec::read_string(de));
    case Field::Peer: return rec::assign(out.peer, rec::read_string(de));
    case Field::State:
      return rec::read_option(de, [](auto& d) { return json::read_json_value(d); }, out.state);
    case Field::Proposals: break;
  }
  return rec::assign(out.proposals, rec::read_list<std::string>(de, [](auto& d) { return rec::read_string(d); }));
}

// A kind: its record shape, and what each of its fields holds.
struct KindSpec {
  rec::RecordShape shape;
  std::span<const Field> fields;
};

// Every field is required but an optional proposal and the state; unknown
// members are skipped.
constexpr std::uint64_t required_fields(std::span<const Field> fields) {
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i] != Field::Proposal && fields[i] != Field::State) mask |= rec::field_bit(i);
  }
  return mask;
}

constexpr KindSpec kind(rec::Names names, std::span<const Field> fields, std::string_view expecting) {
  return KindSpec{{names, expecting, required_fields(fields)}, fields};
}

Status read_fields(const KindSpec& spec, const json::TaggedContent& content, Record& out) {
  auto r = content.read_fields(spec.shape,
                               [&](std::size_t i, auto& de) { return read_field(spec.fields[i], de, out); });
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
constexpr KindSpec kMessageKinds[] = {
    kind(kIdRev, kIdRevF, "struct variant ClientMessage::Snapshot"),
    kind(kIdRev, kIdRevF, "struct variant ClientMessage::CrdtSnapshot"),
    kind(kPatchNames, kPatchF, "struct variant ClientMessage::Patch"),
    kind(kIdRevProposal, kIdRevOptProposalF, "struct variant ClientMessage::Crdt"),
    kind(kIdRevProposal, kIdRevProposalF, "struct variant ClientMessage::Ack"),
    kind(kRejectNames, kRejectF, "struct variant ClientMessage::Reject"),
    kind(kAwarenessNames, kAwarenessF, "struct variant ClientMessage::Awareness"),
};

constexpr std::array<std::string_view, 10> kEffectTags = {
    "snapshot",  "crdt_snapshot", "patch",     "crdt",   "stale_patch",
    "acknowledgement", "rejection", "awareness", "ignore", "disconnect"};
constexpr KindSpec kEffectKinds[] = {
    kind(kIdRev, kIdRevF, "struct variant ClientEffect::Snapshot"),
    kind(kIdRev, kIdRevF, "struct variant ClientEffect::CrdtSnapshot"),
    kind(kIdRevProposal, kIdRevOptProposalF, "struct variant ClientEffect::Patch"),
    kind(kIdRevProposal, kIdRevOptProposalF, "struct variant ClientEffect::Crdt"),
    kind(kIdRevProposal, kIdRevOptProposalF, "struct variant ClientEffect::StalePatch"),
    kind(kIdRevProposal, kIdRevProposalF, "struct variant ClientEffect::Acknowledgement"),
    kind(kRejectNames, kRejectF, "struct variant ClientEffect::Rejection"),
    kind(kAwarenessNames, kAwarenessF, "struct variant ClientEffect::Awareness"),
    kind({}, {}, ""),  // Ignore
    kind(kDisconnectNames, kDisconnectF, "struct variant ClientEffect::Disconnect"),
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
    WW_TRY_ASSIGN(json::TaggedContent content,
                  json::read_tagged(de, "t", "internally tagged enum ClientMessage", tags));
    ClientMessage out;
    out.kind = static_cast<ClientMessage::Kind>(content.tag);
    if (content.tag >= 7) {
      WW_TRY(json::read_tagged_unit(content));
      return out;
    }
    Record r;
    WW_TRY(read_fields(kMessageKinds[content.tag], content, r));
    move_record(r, out);
    return out;
  });
}

Result<ClientEffect> read_client_effect(std::string_view text) {
  return json::read_whole(text, false, [&](json::TextDe& de) -> Result<ClientEffect> {
    WW_TRY_ASSIGN(json::TaggedContent content, json::read_tagged(de, "effect", "internally tagged enum ClientEffect",
                                                                 rec::variant_names(kEffectTags)));
    ClientEffect out;
    out.kind = static_cast<ClientEffect::Kind>(content.tag);
    if (out.kind == ClientEffect::Kind::Ignore) {
      WW_TRY(json::read_tagged_unit(content));
      return out;
    }
    Record r;
    WW_TRY(read_fields(kEffectKinds[content.tag], content, r));
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
