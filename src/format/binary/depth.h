// The nesting limit of the byte-format readers. Each level a reader opens
// (whatever its format counts as one) is held by a guard for as long as its
// contents are read, so every way out of a nested read gives it back.
#pragma once

namespace ww::binary {

class DepthBudget {
 public:
  // `levels` may be open at once; opening one more fails.
  explicit constexpr DepthBudget(int levels) : left_(levels) {}

  class Level {
   public:
    explicit Level(DepthBudget& budget) : budget_(budget) { --budget_.left_; }
    ~Level() { ++budget_.left_; }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;
    // False when no level was left: the reader fails with its limit error.
    explicit operator bool() const { return budget_.left_ >= 0; }

   private:
    DepthBudget& budget_;
  };

 private:
  int left_;
};

}  // namespace ww::binary
