#include "scene/UploadQueue.h"

#include <algorithm>
#include <chrono>

void UploadQueue::clear() {
  steps_.clear();
  total_ = handled_ = 0;
}

void UploadQueue::add(std::size_t count, std::size_t chunk, Start start, Chunk work,
                      Finish finish) {
  Step s;
  s.count = count;
  s.chunk = std::max<std::size_t>(chunk, 1);
  s.start = std::move(start);
  s.work = std::move(work);
  s.finish = std::move(finish);
  steps_.push_back(std::move(s));
  total_ += count;
}

bool UploadQueue::run(double budgetMs) {
  using Clock = std::chrono::steady_clock;
  const auto begin = Clock::now();
  bool ran = false;
  while (!steps_.empty()) {
    if (ran && budgetMs > 0 &&
        std::chrono::duration<double, std::milli>(Clock::now() - begin).count() >= budgetMs)
      break;
    Step &s = steps_.front();
    if (!s.started) {
      s.started = true;
      if (s.start)
        s.start();
    }
    if (s.next < s.count) {
      const std::size_t to = std::min(s.count, s.next + s.chunk);
      if (s.work)
        s.work(s.next, to);
      handled_ += to - s.next;
      s.next = to;
    }
    ran = true;
    if (s.next >= s.count) {
      Finish finish = std::move(s.finish);
      steps_.pop_front();
      if (finish)
        finish();
    }
  }
  if (steps_.empty())
    total_ = handled_ = 0;
  return ran;
}

double UploadQueue::progress() const {
  if (steps_.empty() || total_ == 0)
    return 1.0;
  return double(handled_) / double(total_);
}
