// A value passed from one thread to another, newest wins, without either side
// ever waiting: three slots, one owned by the writer, one by the reader and one
// in between, exchanged through a single atomic word. Used between the host's
// user-interface thread and its audio thread, so both sides are real-time safe
// (no lock, no allocation, no system call).
//
// Threads: exactly one writer (back, publish) and one reader (update, front) at
// a time. Either role may pass to another thread when the host orders the two
// threads' calls (for example across activation).
#pragma once

#include <array>
#include <atomic>

namespace orvane {

template <typename T>
class LatestValue {
 public:
  explicit LatestValue(const T& initial) noexcept : slots{initial, initial, initial} {}

  // Writer: the slot to fill before publish(). Its contents are unspecified
  // (an older value), so fill every field.
  T& back() noexcept { return slots[backIndex]; }

  // Writer: makes the filled slot the newest value.
  void publish() noexcept {
    // acq_rel: the slot's contents are released to the reader, and the slot
    // taken in exchange is acquired, so the reader is done with it.
    backIndex = middle.exchange(backIndex | kFresh, std::memory_order_acq_rel) & kIndexMask;
  }

  // Reader: takes the newest value if one was published since the last call;
  // returns whether it did. front() then shows it.
  bool update() noexcept {
    if (!(middle.load(std::memory_order_relaxed) & kFresh)) return false;
    frontIndex = middle.exchange(frontIndex, std::memory_order_acq_rel) & kIndexMask;
    return true;
  }

  // Reader: the value taken by the last update() (the initial value before).
  const T& front() const noexcept { return slots[frontIndex]; }

 private:
  static constexpr unsigned kIndexMask = 3;
  static constexpr unsigned kFresh = 4;  // the middle slot holds an unread value

  std::array<T, 3> slots;
  std::atomic<unsigned> middle{1};
  unsigned backIndex = 0;   // the writer's
  unsigned frontIndex = 2;  // the reader's
};

}  // namespace orvane
