#include "base/bounded_handover.h"

#include <gtest/gtest.h>

#include <thread>

namespace quern {
namespace {

// A worker that hands over `each` bytes at a time for as long as there is
// room, counting what it made. It is stopped at the end of each test, idle,
// so a stop that wakes no idle worker hangs there.
class producer {
 public:
  producer(bounded_handover& handover, size_t each) : handover_(handover), each_(each) {}
  ~producer() {
    handover_.stop();
    thread_.join();
  }
  // Read with the hand-over's lock held.
  int made() const { return made_; }

 private:
  void work() {
    const mutex_lock held(handover_.guard());
    while (!handover_.stopping()) {
      if (handover_.full()) {
        handover_.wait_for_work();
        continue;
      }
      handover_.hand_over(each_);
      ++made_;
      handover_.wake_walk();
    }
  }

  bounded_handover& handover_;
  const size_t each_;
  int made_ = 0;
  std::thread thread_{&producer::work, this};
};

// Waits until the worker has nothing to do but wait for room.
void wait_until_stopped_at_bound(bounded_handover& handover) REQUIRES(handover.guard()) {
  while (handover.idle_workers() != 1 || !handover.full()) handover.wait_for_idle_worker();
}

TEST(BoundedHandover, WorkersStopAtTheBoundAndGoOnOnceTheWalkTakesItsShare) {
  bounded_handover handover(100);
  producer worker(handover, 50);
  const mutex_lock held(handover.guard());
  // Reaching the bound exactly is enough to stop.
  wait_until_stopped_at_bound(handover);
  EXPECT_EQ(worker.made(), 2);
  EXPECT_EQ(handover.held_bytes(), 100u);

  // Taking a share wakes the worker, and the walk, waiting for more, is woken
  // by what it hands over.
  handover.take(50);
  while (worker.made() < 3) handover.wait_for_workers();
  wait_until_stopped_at_bound(handover);
  EXPECT_EQ(worker.made(), 3);

  // Room for less than one more: it still goes on, and stops beyond the bound.
  handover.take(10);
  while (worker.made() < 4) handover.wait_for_workers();
  wait_until_stopped_at_bound(handover);
  EXPECT_EQ(worker.made(), 4);
  EXPECT_EQ(handover.held_bytes(), 140u);
}

}  // namespace
}  // namespace quern
