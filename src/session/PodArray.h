#pragma once
#include "session/LargeBlock.h"

#include <cstddef>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

// An owned array of trivially copyable elements sized by the count beside it. Allocation
// leaves the elements uninitialised (bulk reads fill them straight from a file); "absent"
// is the null state, distinct from an allocated empty array. Large arrays live in huge-page
// memory (largeblock), so filling them costs few page faults.
template <class T> class PodArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
  PodArray() = default;
  explicit PodArray(std::size_t n) { allocate(n); }
  ~PodArray() { reset(); }
  PodArray(PodArray &&o) noexcept
      : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)) {}
  PodArray &operator=(PodArray &&o) noexcept {
    if (this != &o) {
      reset();
      data_ = std::exchange(o.data_, nullptr);
      size_ = std::exchange(o.size_, 0);
    }
    return *this;
  }
  PodArray(const PodArray &) = delete;
  PodArray &operator=(const PodArray &) = delete;

  void allocate(std::size_t n) {
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T))
      throw std::bad_alloc();
    T *fresh = static_cast<T *>(largeblock::allocate(n * sizeof(T)));
    reset();
    data_ = fresh;
    size_ = n;
  }
  void reset() {
    largeblock::release(data_, size_ * sizeof(T));
    data_ = nullptr;
    size_ = 0;
  }

  bool present() const { return data_ != nullptr; }
  explicit operator bool() const { return present(); }
  std::size_t size() const { return size_; }
  T *data() { return data_; }
  const T *data() const { return data_; }
  T &operator[](std::size_t i) { return data_[i]; }
  const T &operator[](std::size_t i) const { return data_[i]; }
  T *begin() { return data(); }
  T *end() { return data() + size_; }
  const T *begin() const { return data(); }
  const T *end() const { return data() + size_; }

private:
  T *data_ = nullptr;
  std::size_t size_ = 0;
};
