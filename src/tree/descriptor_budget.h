#pragma once

#include <cstdint>

namespace quern {

// The directory descriptors a walk holds, against a limit. Where the
// process or the system runs out before the limit does, the limit comes
// down to what is held, so that the walk lives with fewer rather than fail;
// it never goes below two, a directory and the one being opened from it.
// Which descriptor to give up when the limit is reached is the holder's
// choice: always the idle one needed again last.
class descriptor_budget {
 public:
  static constexpr int kFewest = 2;

  static constexpr int limit_for(int asked) { return asked < kFewest ? kFewest : asked; }
  explicit descriptor_budget(int limit) : limit_(limit_for(limit)) {}

  bool exhausted() const { return held_ >= limit_; }
  void take() { ++held_; }
  // A descriptor taken for an open that failed: nobody held it.
  void untake() { --held_; }
  void give_back() {
    --held_;
    ++given_back_;
  }
  // Descriptors given back so far: an open that ran short while one was
  // given back is worth trying again.
  uint64_t given_back() const { return given_back_; }
  // The open that ran short: from now on those held, and `more` besides.
  void live_with_those_held(int more = 0) { limit_ = held_ + more < kFewest ? kFewest : held_ + more; }

 private:
  int limit_;
  int held_ = 0;
  uint64_t given_back_ = 0;
};

}  // namespace quern
