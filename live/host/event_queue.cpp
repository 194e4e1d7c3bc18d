#include "live/host/event_queue.h"

namespace kmr {

void EventQueue::Push(HostEvent event) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
  }
  ready_.notify_one();
}

bool EventQueue::Pop(HostEvent& event, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!ready_.wait_for(lock, timeout, [&] { return !events_.empty(); })) return false;
  event = std::move(events_.front());
  events_.pop_front();
  return true;
}

}  // namespace kmr
