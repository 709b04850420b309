#pragma once
#include <cstddef>
#include <deque>
#include <functional>

// Work on large arrays split into chunks, run a slice of time at a time, so that uploading a
// big model spreads over several frames instead of blocking one.
class UploadQueue {
public:
  // Runs once before the step's first chunk (typically allocates the target).
  using Start = std::function<void()>;
  // Handles elements [from, to).
  using Chunk = std::function<void(std::size_t from, std::size_t to)>;
  // Runs after the step's last chunk (typically marks the array current).
  using Finish = std::function<void()>;

  void clear();
  void add(std::size_t count, std::size_t chunk, Start start, Chunk work, Finish finish);

  bool done() const { return steps_.empty(); }
  // Runs chunks until the queue is empty or budgetMs have passed; at least one chunk. A
  // budget of 0 or less runs everything. Returns whether anything ran.
  bool run(double budgetMs);
  // Share of the queued elements handled so far, 0..1 (1 when empty).
  double progress() const;
  // Elements queued in all, and still to handle.
  std::size_t total() const { return total_; }
  std::size_t remaining() const { return total_ - handled_; }

private:
  struct Step {
    std::size_t count = 0, chunk = 1, next = 0;
    bool started = false;
    Start start;
    Chunk work;
    Finish finish;
  };
  std::deque<Step> steps_;
  std::size_t total_ = 0, handled_ = 0;
};
