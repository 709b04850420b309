#pragma once
#include <cstddef>
#include <memory>

// An owned array of trivially copyable elements sized by the count beside it. Allocation
// leaves the elements uninitialised (bulk reads fill them straight from a file); "absent"
// is the null state, distinct from an allocated empty array.
template <class T> class PodArray {
public:
  PodArray() = default;
  explicit PodArray(std::size_t n) { allocate(n); }

  void allocate(std::size_t n) {
    data_.reset(new T[n]);
    size_ = n;
  }
  void reset() {
    data_.reset();
    size_ = 0;
  }

  bool present() const { return data_ != nullptr; }
  explicit operator bool() const { return present(); }
  std::size_t size() const { return size_; }
  T *data() { return data_.get(); }
  const T *data() const { return data_.get(); }
  T &operator[](std::size_t i) { return data_[i]; }
  const T &operator[](std::size_t i) const { return data_[i]; }
  T *begin() { return data(); }
  T *end() { return data() + size_; }
  const T *begin() const { return data(); }
  const T *end() const { return data() + size_; }

private:
  std::unique_ptr<T[]> data_;
  std::size_t size_ = 0;
};
