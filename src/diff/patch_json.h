// The JSON form of paths, operations and patches: compact text written in
// one pass, and the whole-text and parsed-JSON readers.
//   {"Key":"a"}  {"Index":3}
//   {"Move":{"path":[...],"from":2,"to":0}}
//   {"rev":0,"ops":[...]}
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "diff/patch.h"
#include "format/result.h"

namespace ww {

class JsonValue;

void write_path_seg_json(const PathSeg& seg, std::string& out);
void write_path_json(const Path& path, std::string& out);
void write_op_json(const Op& op, std::string& out);
void write_ops_json(const std::vector<Op>& ops, std::string& out);
void write_patch_json(const Patch& patch, std::string& out);
std::string patch_to_json(const Patch& patch);

// Whole-text readers: the value, then only JSON whitespace. Errors carry
// the reader's position (Error::text() renders it).
Result<Patch> patch_from_json_text(std::string_view text);
// The same over bytes: text inside strings must be valid UTF-8.
Result<Patch> patch_from_json_bytes(std::string_view bytes);
Result<std::vector<Op>> ops_from_json_text(std::string_view text);

// Readers over already parsed JSON (a member of a parsed message); errors
// carry no position.
Result<Patch> patch_from_json_value(const JsonValue& json);
Result<std::vector<Op>> ops_from_json_value(const JsonValue& json);

}  // namespace ww
