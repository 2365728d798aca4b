// The global operator new and delete, every form, over the process's one
// allocator. A failed allocation never throws: it ends the process through
// the memory exhaustion report, the nothrow forms included.

#include <cstdint>
#include <new>

#include "runtime/frame.h"

namespace {

// Over-aligned blocks: the allocator's block is over-allocated, the pointer
// handed out is aligned up, and the allocator's pointer sits just before it.
void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
  const std::size_t align = static_cast<std::size_t>(alignment);
  if (align <= __STDCPP_DEFAULT_NEW_ALIGNMENT__) return tavrel::AllocateBlock(size);
  const std::size_t extra = align + sizeof(void*);
  if (size > SIZE_MAX - extra) tavrel::ReportMemoryExhaustion();
  auto* base = static_cast<char*>(tavrel::AllocateBlock(size + extra));
  auto address = reinterpret_cast<std::uintptr_t>(base + sizeof(void*));
  address = (address + align - 1) & ~static_cast<std::uintptr_t>(align - 1);
  auto* block = reinterpret_cast<void**>(address);
  block[-1] = base;
  return block;
}

void ReleaseAligned(void* block, std::align_val_t alignment) noexcept {
  if (block == nullptr) return;
  if (static_cast<std::size_t>(alignment) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__) {
    tavrel::ReleaseBlock(block);
    return;
  }
  tavrel::ReleaseBlock(static_cast<void**>(block)[-1]);
}

}  // namespace

void* operator new(std::size_t size) { return tavrel::AllocateBlock(size); }
void* operator new[](std::size_t size) { return tavrel::AllocateBlock(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return tavrel::AllocateBlock(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return tavrel::AllocateBlock(size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, alignment);
}

void operator delete(void* block) noexcept { tavrel::ReleaseBlock(block); }
void operator delete[](void* block) noexcept { tavrel::ReleaseBlock(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { tavrel::ReleaseBlock(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { tavrel::ReleaseBlock(block); }
void operator delete(void* block, std::size_t) noexcept { tavrel::ReleaseBlock(block); }
void operator delete[](void* block, std::size_t) noexcept { tavrel::ReleaseBlock(block); }
void operator delete(void* block, std::align_val_t alignment) noexcept { ReleaseAligned(block, alignment); }
void operator delete[](void* block, std::align_val_t alignment) noexcept { ReleaseAligned(block, alignment); }
void operator delete(void* block, std::size_t, std::align_val_t alignment) noexcept {
  ReleaseAligned(block, alignment);
}
void operator delete[](void* block, std::size_t, std::align_val_t alignment) noexcept {
  ReleaseAligned(block, alignment);
}
void operator delete(void* block, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  ReleaseAligned(block, alignment);
}
void operator delete[](void* block, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  ReleaseAligned(block, alignment);
}
