#pragma once
#include "analysis/NearestPointIndex.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

// A model's nearest-point index built on a worker thread, so that indexing millions of points
// never holds up the thread that shows them. The points must stay alive and unchanged until
// this object is destroyed; destroying it while the build runs stops the build and waits for
// the worker, which looks at the stop request often (well under a tenth of a second).
class BackgroundPointIndex {
public:
  // onWorker false builds at once on the calling thread (for small models, where a thread
  // costs more than the build).
  BackgroundPointIndex(const Vec3f *pts, std::size_t n, bool onWorker = true);
  ~BackgroundPointIndex();
  BackgroundPointIndex(const BackgroundPointIndex &) = delete;
  BackgroundPointIndex &operator=(const BackgroundPointIndex &) = delete;

  // The finished index, or null while it is being built. Never blocks.
  const NearestPointIndex *ready() const;
  // The finished index, waiting for the build if needed.
  const NearestPointIndex &wait();
  // Fraction of the points indexed so far, 1 once ready.
  double progress() const;
  std::size_t size() const { return count_; }
  // The thread that built the index (valid once ready).
  std::thread::id builtOn() const { return builtOn_; }

private:
  void run();

  const Vec3f *pts_;
  std::size_t count_;
  IndexBuildControl control_;
  NearestPointIndex index_;
  std::thread::id builtOn_;
  std::atomic<bool> done_{false};
  std::mutex mutex_;
  std::condition_variable finished_;
  std::thread worker_;
};
