// The global operator new and delete, every form, over the process's one
// allocator. A failed allocation never throws: it ends the process through
// the memory exhaustion report, the nothrow forms included.
//
// Plain new promises blocks aligned for any ordinary type
// (__STDCPP_DEFAULT_NEW_ALIGNMENT__, 16); the 32-bit process heap gives only
// 8. Every request whose alignment the allocator does not give by itself is
// over-allocated and aligned here, plain and aligned forms alike; each delete
// works out the same alignment as its new did, so both take the same road.

#include <algorithm>
#include <cstdint>
#include <new>

#include "runtime/frame.h"

namespace {

constexpr std::size_t kDefaultAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

std::size_t AlignmentOf(std::align_val_t requested) {
  return std::max(static_cast<std::size_t>(requested), kDefaultAlignment);
}

// The allocator's own pointer sits just before the aligned block handed out.
void* Allocate(std::size_t size, std::size_t alignment) {
  if (alignment <= tavrel::kBlockAlignment) return tavrel::AllocateBlock(size);
  const std::size_t extra = alignment + sizeof(void*);
  if (size > SIZE_MAX - extra) tavrel::ReportMemoryExhaustion();
  auto* base = static_cast<char*>(tavrel::AllocateBlock(size + extra));
  auto address = reinterpret_cast<std::uintptr_t>(base + sizeof(void*));
  address = (address + alignment - 1) & ~static_cast<std::uintptr_t>(alignment - 1);
  auto* block = reinterpret_cast<void**>(address);
  block[-1] = base;
  return block;
}

void Release(void* block, std::size_t alignment) noexcept {
  if (block == nullptr) return;
  if (alignment <= tavrel::kBlockAlignment) {
    tavrel::ReleaseBlock(block);
    return;
  }
  tavrel::ReleaseBlock(static_cast<void**>(block)[-1]);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size, kDefaultAlignment); }
void* operator new[](std::size_t size) { return Allocate(size, kDefaultAlignment); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, kDefaultAlignment); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, kDefaultAlignment); }
void* operator new(std::size_t size, std::align_val_t alignment) { return Allocate(size, AlignmentOf(alignment)); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return Allocate(size, AlignmentOf(alignment)); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return Allocate(size, AlignmentOf(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return Allocate(size, AlignmentOf(alignment));
}

void operator delete(void* block) noexcept { Release(block, kDefaultAlignment); }
void operator delete[](void* block) noexcept { Release(block, kDefaultAlignment); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block, kDefaultAlignment); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block, kDefaultAlignment); }
void operator delete(void* block, std::size_t) noexcept { Release(block, kDefaultAlignment); }
void operator delete[](void* block, std::size_t) noexcept { Release(block, kDefaultAlignment); }
void operator delete(void* block, std::align_val_t alignment) noexcept { Release(block, AlignmentOf(alignment)); }
void operator delete[](void* block, std::align_val_t alignment) noexcept { Release(block, AlignmentOf(alignment)); }
void operator delete(void* block, std::size_t, std::align_val_t alignment) noexcept {
  Release(block, AlignmentOf(alignment));
}
void operator delete[](void* block, std::size_t, std::align_val_t alignment) noexcept {
  Release(block, AlignmentOf(alignment));
}
void operator delete(void* block, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  Release(block, AlignmentOf(alignment));
}
void operator delete[](void* block, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  Release(block, AlignmentOf(alignment));
}
