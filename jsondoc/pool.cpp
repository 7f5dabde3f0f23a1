#include <sys/mman.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
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

// The head of a chunk: the thread that carves it and the next chunk of that thread. Chunks are aligned to their
// size, so a block finds its chunk's head from its own address.
struct Chunk {
    std::uint64_t owner;
    Chunk* nextOwn;
};
constexpr std::size_t kChunksPerMapping = 16;
constexpr std::size_t kHeadBytes = (sizeof(Chunk) + kGranule - 1) / kGranule * kGranule;

// Plain data, so that it stays usable in the destructors that run while a thread ends.
struct Lists {
    Block* free[kClasses];
    char* next;
    char* end;
    Chunk* first;
    Chunk* current;
    Chunk* last;
    std::uint64_t id;
    // Blocks handed out less blocks taken back. While every block taken back came from this thread's own chunks,
    // the count reaching zero means that none of them is in use or waits in another thread's lists: carving then
    // starts again at the first chunk, and the next document lies in memory in the order it is read.
    std::size_t live;
    bool mixed;
};

thread_local Lists lists;

std::atomic<std::uint64_t> lastId{0};

// What threads that have ended leave to the next ones: whole chunks when none of their blocks was in use, else
// the free blocks.
std::mutex orphanMutex;
Block* orphans[kClasses];
Chunk* spareChunks;
// Chunks are cut from mappings of several at a time, aligned inside them, and never given back: blocks of one
// thread's chunk may live on in a document that another thread holds. Pages never written take no memory.
char* uncut;
char* uncutEnd;

// Destructors of the thread that run after this one may still make and release nodes: they get chunks of their
// own and never start carving again, so nothing handed on here is used twice.
struct Leaving {
    ~Leaving() {
        const std::lock_guard<std::mutex> lock(orphanMutex);
        if (!lists.mixed && lists.live == 0) {
            lists.last->nextOwn = spareChunks;
            spareChunks = lists.first;
            lists.first = lists.current = lists.last = nullptr;
            lists.next = lists.end = nullptr;
        } else {
            for (std::size_t c = 0; c < kClasses; ++c) {
                while (Block* block = lists.free[c]) {
                    lists.free[c] = block->next;
                    block->next = orphans[c];
                    orphans[c] = block;
                }
            }
        }
        lists.mixed = true;
    }
};
thread_local Leaving leaving;

std::size_t classOf(std::size_t size) {
    return (size + kGranule - 1) / kGranule - 1;
}

Chunk* chunkOf(const void* block) {
    return reinterpret_cast<Chunk*>(reinterpret_cast<std::uintptr_t>(block) & ~(kChunkBytes - 1));
}

void startCarving(Lists& own, Chunk* chunk) {
    own.current = chunk;
    own.next = reinterpret_cast<char*>(chunk) + kHeadBytes;
    own.end = reinterpret_cast<char*>(chunk) + kChunkBytes;
}

// Other threads' blocks end the counting for good: from then on only the lists say what is free.
bool adoptOrphans(Lists& own) {
    const std::lock_guard<std::mutex> lock(orphanMutex);
    bool adopted = false;
    for (std::size_t c = 0; c < kClasses; ++c) {
        if (own.free[c] == nullptr && orphans[c] != nullptr) {
            own.free[c] = orphans[c];
            orphans[c] = nullptr;
            adopted = true;
        }
    }
    own.mixed = own.mixed || adopted;
    return adopted;
}

// Called with the orphans' lock held.
Chunk* cutChunk() {
    if (uncut == uncutEnd) {
        // One chunk more than is used, so that an aligned run fits; what lies outside it is unmapped at once.
        const std::size_t used = kChunksPerMapping * kChunkBytes;
        void* mapping = mmap(nullptr, used + kChunkBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) {
            throw std::bad_alloc();
        }
        char* const start = static_cast<char*>(mapping);
        const std::size_t before = (kChunkBytes - reinterpret_cast<std::uintptr_t>(start) % kChunkBytes) % kChunkBytes;
        if (before != 0) {
            munmap(start, before);
        }
        munmap(start + before + used, kChunkBytes - before);
        uncut = start + before;
        uncutEnd = uncut + used;
    }
    auto* chunk = reinterpret_cast<Chunk*>(uncut);
    uncut += kChunkBytes;
    return chunk;
}

Chunk* newChunk(Lists& own) {
    if (own.id == 0) {
        own.id = lastId.fetch_add(1, std::memory_order_relaxed) + 1;
        static_cast<void>(&leaving);  // this thread hands its free blocks on when it ends
    }
    Chunk* chunk = nullptr;
    {
        const std::lock_guard<std::mutex> lock(orphanMutex);
        chunk = spareChunks;
        if (chunk != nullptr) {
            spareChunks = chunk->nextOwn;
        } else {
            chunk = cutChunk();
        }
    }
    chunk->owner = own.id;
    chunk->nextOwn = nullptr;
    (own.last != nullptr ? own.last->nextOwn : own.first) = chunk;
    own.last = chunk;
    return chunk;
}

void* carve(Lists& own, std::size_t index) {
    const std::size_t size = (index + 1) * kGranule;
    if (own.end - own.next < static_cast<std::ptrdiff_t>(size)) {
        if (own.current != nullptr && own.current->nextOwn != nullptr) {
            startCarving(own, own.current->nextOwn);
        } else if (adoptOrphans(own) && own.free[index] != nullptr) {
            Block* block = own.free[index];
            own.free[index] = block->next;
            return block;
        } else {
            startCarving(own, newChunk(own));
        }
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
    ++own.live;
    const std::size_t index = classOf(size);
    if (Block* block = own.free[index]) {
        // Fetched now, the next block of the list is at hand by the next allocation: blocks released in a
        // large document lie far apart, and each step of the list would otherwise wait for memory.
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
    if (!own.mixed) {
        if (chunkOf(pointer)->owner != own.id) {
            own.mixed = true;
        } else if (--own.live == 0) {
            for (Block*& head : own.free) {
                head = nullptr;
            }
            startCarving(own, own.first);
            return;
        }
    }
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
