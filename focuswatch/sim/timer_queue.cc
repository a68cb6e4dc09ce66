#include "focuswatch/sim/timer_queue.h"

#include <algorithm>
#include <vector>

namespace focuswatch {

int TimerQueue::add(Clock::duration interval, Block block, Clock::time_point now) {
  interval = std::max<Clock::duration>(interval, std::chrono::milliseconds(1));
  timers_.emplace(nextToken_, Timer{interval, now + interval, std::move(block)});
  return nextToken_++;
}

std::optional<TimerQueue::Clock::duration> TimerQueue::untilNext(Clock::time_point now) const {
  if (timers_.empty()) return std::nullopt;
  Clock::time_point next = Clock::time_point::max();
  for (const auto& [token, timer] : timers_) next = std::min(next, timer.next);
  return std::max<Clock::duration>(next - now, Clock::duration::zero());
}

void TimerQueue::fireDue(Clock::time_point now) {
  std::vector<int> due;
  for (const auto& [token, timer] : timers_) {
    if (timer.next <= now) due.push_back(token);
  }
  for (int token : due) {
    auto found = timers_.find(token);
    if (found == timers_.end()) continue;  // removed by an earlier block
    Timer& timer = found->second;
    while (timer.next <= now) timer.next += timer.interval;
    Block block = timer.block;  // the block may remove its own timer
    block();
  }
}

}  // namespace focuswatch
