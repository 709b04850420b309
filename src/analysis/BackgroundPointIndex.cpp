#include "analysis/BackgroundPointIndex.h"

BackgroundPointIndex::BackgroundPointIndex(const Vec3f *pts, std::size_t n, bool onWorker)
    : pts_(pts), count_(n) {
  if (onWorker)
    worker_ = std::thread([this] { run(); });
  else
    run();
}

BackgroundPointIndex::~BackgroundPointIndex() {
  control_.cancel.store(true, std::memory_order_relaxed);
  if (worker_.joinable())
    worker_.join();
}

void BackgroundPointIndex::run() {
  builtOn_ = std::this_thread::get_id();
  NearestPointIndex built(pts_, count_, &control_);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    index_ = std::move(built);
    // Release: whoever sees done_ also sees the finished index.
    done_.store(true, std::memory_order_release);
  }
  finished_.notify_all();
}

const NearestPointIndex *BackgroundPointIndex::ready() const {
  return done_.load(std::memory_order_acquire) ? &index_ : nullptr;
}

const NearestPointIndex &BackgroundPointIndex::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [this] { return done_.load(std::memory_order_acquire); });
  return index_;
}

double BackgroundPointIndex::progress() const {
  if (ready() || count_ == 0)
    return 1.0;
  return double(control_.placed.load(std::memory_order_relaxed)) / double(count_);
}
