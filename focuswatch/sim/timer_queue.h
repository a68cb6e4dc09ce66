// The repeating timers of the simulated desktop's run loop, on a fixed
// schedule: ticks missed while a sample was slow are skipped, not made up.
#ifndef FOCUSWATCH_SIM_TIMER_QUEUE_H_
#define FOCUSWATCH_SIM_TIMER_QUEUE_H_

#include <chrono>
#include <functional>
#include <map>
#include <optional>

namespace focuswatch {

class TimerQueue {
 public:
  using Clock = std::chrono::steady_clock;
  using Block = std::function<void()>;

  // A timer whose first tick is one interval after `now`; its token.
  int add(Clock::duration interval, Block block, Clock::time_point now);
  void remove(int token) { timers_.erase(token); }
  bool empty() const { return timers_.empty(); }

  // The time until the next tick; zero when one is due, absent with no timer.
  std::optional<Clock::duration> untilNext(Clock::time_point now) const;
  // Runs every timer that is due at `now` once. A block may add or remove
  // timers.
  void fireDue(Clock::time_point now);

 private:
  struct Timer {
    Clock::duration interval;
    Clock::time_point next;
    Block block;
  };

  int nextToken_ = 1;
  std::map<int, Timer> timers_;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_SIM_TIMER_QUEUE_H_
