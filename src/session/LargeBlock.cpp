#include "session/LargeBlock.h"

#include <atomic>
#include <cstdint>
#include <new>

#include <sys/mman.h>
#include <unistd.h>

namespace largeblock {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Sanitizer builds keep every array on the heap, where overruns are caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

bool mapped(std::size_t bytes) { return !kSanitized && bytes >= kMappedFrom; }

std::atomic<std::size_t> gMapped{0}, gPeak{0};

std::size_t pageRounded(std::size_t bytes) {
  static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}
} // namespace

void *allocate(std::size_t bytes) {
  if (!mapped(bytes))
    return ::operator new(bytes == 0 ? 1 : bytes);
  // Over-map by one huge page, then cut the head and tail so that the block starts on a
  // 2 MiB boundary, where the kernel can back it with huge pages.
  const std::size_t length = pageRounded(bytes);
  if (length + kHugePage < length)
    throw std::bad_alloc();
  void *raw = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (raw == MAP_FAILED)
    throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
  if (aligned > start)
    ::munmap(raw, aligned - start);
  const std::uintptr_t end = start + length + kHugePage, used = aligned + length;
  if (end > used)
    ::munmap(reinterpret_cast<void *>(used), end - used);
  void *p = reinterpret_cast<void *>(aligned);
  const std::size_t now = gMapped.fetch_add(length) + length;
  std::size_t peak = gPeak.load();
  while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
  }
#ifdef MADV_HUGEPAGE
  // Advice only: without huge pages (disabled, or memory too fragmented) it is 4 KiB pages.
  ::madvise(p, length, MADV_HUGEPAGE);
#endif
  return p;
}

void release(void *p, std::size_t bytes) noexcept {
  if (!p)
    return;
  if (!mapped(bytes))
    ::operator delete(p);
  else {
    ::munmap(p, pageRounded(bytes));
    gMapped.fetch_sub(pageRounded(bytes));
  }
}

std::size_t mappedBytes() { return gMapped.load(); }
std::size_t peakMappedBytes() { return gPeak.load(); }
void resetPeak() { gPeak.store(gMapped.load()); }

} // namespace largeblock
