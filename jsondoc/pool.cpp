#include <atomic>
#include <cstddef>
#include <mutex>
#include <new>

#include "jsondoc/jsondoc.h"

namespace jsondoc::detail {

#ifndef __SANITIZE_ADDRESS__

namespace {

constexpr std::size_t kGranule = alignof(std::max_align_t);
constexpr std::size_t kClasses = kPoolLimit / kGranule;
constexpr std::size_t kChunkBytes = std::size_t{64} * 1024;

struct Block {
    Block* next;
};

// Plain data, so that it stays usable in the destructors that run while a thread ends.
struct Lists {
    Block* free[kClasses];
    char* next;
    char* end;
};

thread_local Lists lists;

// Chunks are linked through their first bytes: they stay reachable, and are never given back, as blocks of one
// thread's chunk may live on in a document that another thread holds.
std::atomic<void*> chunks{nullptr};

// The free blocks of threads that have ended, for the next thread that runs out.
std::mutex orphanMutex;
Lists orphans;

struct Leaving {
    ~Leaving() {
        const std::lock_guard<std::mutex> lock(orphanMutex);
        for (std::size_t c = 0; c < kClasses; ++c) {
            while (Block* block = lists.free[c]) {
                lists.free[c] = block->next;
                block->next = orphans.free[c];
                orphans.free[c] = block;
            }
        }
    }
};
thread_local Leaving leaving;

std::size_t classOf(std::size_t size) {
    return (size + kGranule - 1) / kGranule - 1;
}

void adoptOrphans(Lists& own) {
    const std::lock_guard<std::mutex> lock(orphanMutex);
    for (std::size_t c = 0; c < kClasses; ++c) {
        if (own.free[c] == nullptr) {
            own.free[c] = orphans.free[c];
            orphans.free[c] = nullptr;
        }
    }
}

void* carve(Lists& own, std::size_t index) {
    const std::size_t size = (index + 1) * kGranule;
    if (own.end - own.next < static_cast<std::ptrdiff_t>(size)) {
        static_cast<void>(&leaving);  // this thread hands its free blocks on when it ends
        adoptOrphans(own);
        if (Block* block = own.free[index]) {
            own.free[index] = block->next;
            return block;
        }
        char* chunk = static_cast<char*>(::operator new(kChunkBytes));
        void* head = chunks.load(std::memory_order_relaxed);
        do {
            *reinterpret_cast<void**>(chunk) = head;
        } while (!chunks.compare_exchange_weak(head, chunk, std::memory_order_release, std::memory_order_relaxed));
        own.next = chunk + kGranule;
        own.end = chunk + kChunkBytes;
    }
    void* block = own.next;
    own.next += size;
    return block;
}

}  // namespace

void* poolAllocate(std::size_t size) {
    if (size > kPoolLimit) {
        return ::operator new(size);
    }
    Lists& own = lists;
    const std::size_t index = classOf(size);
    if (Block* block = own.free[index]) {
        // Fetched now, the next block of the list is at hand by the next allocation: after a large document is
        // released, its blocks lie far apart, and each step of the list would wait for memory.
        Block* next = block->next;
        own.free[index] = next;
        __builtin_prefetch(next, 1);
        return block;
    }
    return carve(own, index);
}

void poolRelease(void* pointer, std::size_t size) noexcept {
    if (size > kPoolLimit) {
        ::operator delete(pointer);
        return;
    }
    Lists& own = lists;
    const std::size_t index = classOf(size);
    Block* block = static_cast<Block*>(pointer);
    block->next = own.free[index];
    own.free[index] = block;
}

#else

// Under the address sanitizer every node is its own allocation, so that it checks each one.
void* poolAllocate(std::size_t size) {
    return ::operator new(size);
}

void poolRelease(void* pointer, std::size_t) noexcept {
    ::operator delete(pointer);
}

#endif

}  // namespace jsondoc::detail
