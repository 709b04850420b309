#pragma once
#include <cstddef>

// Memory for the model's bulk arrays. Blocks of a few megabytes and more are mapped on their
// own, aligned to 2 MiB and marked for transparent huge pages: filling a fresh 300 MB array
// then takes a few hundred page faults instead of some seventy thousand, which on a virtual
// machine is most of the time a large file takes to read. Smaller blocks come from the heap.
namespace largeblock {

// At least this many bytes are mapped on their own.
constexpr std::size_t kMappedFrom = std::size_t{4} << 20;

// Uninitialised memory for `bytes` bytes, aligned for any type; throws std::bad_alloc when
// there is none. Release it with release(p, bytes), with the same byte count.
void *allocate(std::size_t bytes);
void release(void *p, std::size_t bytes) noexcept;

// Bytes held in mapped blocks now, and the most held at once since the last resetPeak()
// (the heap's blocks are not counted).
std::size_t mappedBytes();
std::size_t peakMappedBytes();
void resetPeak();

} // namespace largeblock
