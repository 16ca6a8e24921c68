#include "crdt/reducer/stored_value.h"

#include <cstring>

#include "format/json/json_writer.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {

void StoredValue::assign(const Value& v) {
  std::memset(raw_, 0, sizeof raw_);
  const auto kind = static_cast<unsigned char>(v.kind());
  switch (v.kind()) {
    case Value::Kind::Null: break;
    case Value::Kind::Bool: raw_[0] = v.as_bool() ? 1 : 0; break;
    case Value::Kind::Int: {
      const std::int64_t i = v.as_int();
      std::memcpy(raw_, &i, sizeof i);
      break;
    }
    case Value::Kind::Float: {
      const double d = v.as_float();
      std::memcpy(raw_, &d, sizeof d);
      break;
    }
    case Value::Kind::Submodel: {
      const std::uint64_t id = v.as_submodel().id;
      std::memcpy(raw_, &id, sizeof id);
      break;
    }
    case Value::Kind::Str: {
      const std::string& s = v.as_str();
      if (s.size() <= kMaxInline) {
        std::memcpy(raw_, s.data(), s.size());
        raw_[kLength] = static_cast<unsigned char>(s.size());
        break;
      }
      [[fallthrough]];
    }
    default: {
      Value* boxed = new Value(v);
      std::memcpy(raw_, &boxed, sizeof boxed);
      raw_[kTag] = kHeap;
      return;
    }
  }
  raw_[kTag] = kind;
}

const Value* StoredValue::heap() const {
  if (raw_[kTag] != kHeap) return nullptr;
  Value* boxed = nullptr;
  std::memcpy(&boxed, raw_, sizeof boxed);
  return boxed;
}

void StoredValue::release() {
  delete heap();
  raw_[kTag] = kAbsent;
}

StoredValue::StoredValue(const StoredValue& other) {
  if (const Value* boxed = other.heap()) {
    assign(*boxed);
  } else {
    std::memcpy(raw_, other.raw_, sizeof raw_);
  }
}

StoredValue::StoredValue(StoredValue&& other) noexcept {
  std::memcpy(raw_, other.raw_, sizeof raw_);
  other.raw_[kTag] = kAbsent;
}

StoredValue& StoredValue::operator=(const StoredValue& other) {
  if (this != &other) *this = StoredValue(other);
  return *this;
}

StoredValue& StoredValue::operator=(StoredValue&& other) noexcept {
  if (this != &other) {
    release();
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.raw_[kTag] = kAbsent;
  }
  return *this;
}

Value::Kind StoredValue::kind() const {
  if (const Value* boxed = heap()) return boxed->kind();
  return static_cast<Value::Kind>(raw_[kTag]);
}

std::string_view StoredValue::str() const {
  if (const Value* boxed = heap()) return boxed->as_str();
  return {reinterpret_cast<const char*>(raw_), raw_[kLength]};
}

Value StoredValue::get() const {
  if (const Value* boxed = heap()) return *boxed;
  switch (static_cast<Value::Kind>(raw_[kTag])) {
    case Value::Kind::Bool: return Value::boolean(raw_[0] != 0);
    case Value::Kind::Int: {
      std::int64_t i = 0;
      std::memcpy(&i, raw_, sizeof i);
      return Value::integer(i);
    }
    case Value::Kind::Float: {
      double d = 0;
      std::memcpy(&d, raw_, sizeof d);
      return Value::floating(d);
    }
    case Value::Kind::Submodel: {
      std::uint64_t id = 0;
      std::memcpy(&id, raw_, sizeof id);
      return Value::submodel(ModelId{id});
    }
    case Value::Kind::Str: return Value::str(std::string(str()));
    default: return Value::null();
  }
}

bool StoredValue::equals(const Value& v) const {
  if (!present()) return false;
  if (const Value* boxed = heap()) return *boxed == v;
  if (kind() != v.kind()) return false;
  if (v.is(Value::Kind::Str)) return str() == v.as_str();
  return get() == v;
}

char* StoredValue::put_inline_str(char* p) const {
  if (raw_[kTag] != static_cast<unsigned char>(Value::Kind::Str)) return nullptr;
  static constexpr char kHex[] = "0123456789abcdef";
  std::memcpy(p, "{\"Str\":\"", 8);
  p += 8;
  for (unsigned char c : str()) {
    if (c >= 0x20 && c != '"' && c != '\\') {
      *p++ = static_cast<char>(c);
      continue;
    }
    *p++ = '\\';
    switch (c) {
      case '"': *p++ = '"'; break;
      case '\\': *p++ = '\\'; break;
      case '\b': *p++ = 'b'; break;
      case '\t': *p++ = 't'; break;
      case '\n': *p++ = 'n'; break;
      case '\f': *p++ = 'f'; break;
      case '\r': *p++ = 'r'; break;
      default:
        std::memcpy(p, "u00", 3);
        p[3] = kHex[c >> 4];
        p[4] = kHex[c & 0xf];
        p += 5;
    }
  }
  std::memcpy(p, "\"}", 2);
  return p + 2;
}

void StoredValue::write_json(std::string& out) const {
  if (const Value* boxed = heap()) return write_value_json(*boxed, out);
  if (raw_[kTag] == static_cast<unsigned char>(Value::Kind::Str)) {
    out.append("{\"Str\":");
    json::append_str(str(), out);
    out.push_back('}');
    return;
  }
  write_value_json(get(), out);
}

}  // namespace ww::crdt::reducer
