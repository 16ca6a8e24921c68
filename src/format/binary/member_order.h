// Key order for objects written straight to an output buffer: the members
// of an object go out as they arrive, each remembered with its key and the
// span of bytes it took; when the object closes, the members are put in
// ascending byte order of their keys, the last of a repeated key kept, as a
// parsed JsonValue holds them. Objects that arrive sorted cost nothing more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ww::binary {

class MemberOrder {
 public:
  // Where an object's members and keys start on the shared stacks.
  struct Frame {
    std::size_t members;
    std::size_t keys;
  };

  Frame open() const { return {members_.size(), keys_.size()}; }

  // A member whose key is `key`; its bytes are written next, from `start`.
  void add(std::string_view key, std::size_t start) {
    members_.push_back(Member{keys_.size(), key.size(), start, start});
    keys_.append(key);
  }
  std::string_view last_key() const { return key_of(members_.back()); }
  // The end of the last member's bytes.
  void end_member(std::size_t end) { members_.back().end = end; }

  // Rewrites out[content, end) in key order, the members joined by
  // `separator`, and returns the number of members left. Nested objects
  // must have been closed already.
  std::size_t close(Frame frame, std::string& out, std::size_t content, std::string_view separator);

 private:
  struct Member {
    std::size_t key;  // offset in keys_
    std::size_t key_len;
    std::size_t start;  // span in the output
    std::size_t end;
  };
  std::string_view key_of(const Member& m) const { return {keys_.data() + m.key, m.key_len}; }

  std::vector<Member> members_;
  std::string keys_;
  std::vector<std::uint32_t> order_;
  std::string copy_;
};

}  // namespace ww::binary
