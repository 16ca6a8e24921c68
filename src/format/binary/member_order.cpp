#include "format/binary/member_order.h"

#include <algorithm>
#include <numeric>

namespace ww::binary {

std::size_t MemberOrder::close(Frame frame, std::string& out, std::size_t content, std::string_view separator) {
  const std::size_t n = members_.size() - frame.members;
  const Member* m = members_.data() + frame.members;
  std::size_t kept = n;
  bool sorted = true;
  for (std::size_t i = 1; i < n && sorted; ++i) sorted = key_of(m[i - 1]) < key_of(m[i]);
  if (!sorted) {
    order_.resize(n);
    std::iota(order_.begin(), order_.end(), 0u);
    // By key, then by arrival: the last of a run of equal keys is the one kept.
    std::sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
      const int c = key_of(m[a]).compare(key_of(m[b]));
      return c != 0 ? c < 0 : a < b;
    });
    copy_.assign(out, content, out.size() - content);
    out.resize(content);
    kept = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const Member& x = m[order_[k]];
      if (k + 1 < n && key_of(x) == key_of(m[order_[k + 1]])) continue;
      if (kept != 0) out.append(separator);
      out.append(copy_, x.start - content, x.end - x.start);
      ++kept;
    }
  }
  members_.resize(frame.members);
  keys_.resize(frame.keys);
  return kept;
}

}  // namespace ww::binary
