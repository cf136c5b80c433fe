// Nothing is allocated after PlaySong: every feeder pass (the engine's ticks,
// the mixer, the conversion) works in the buffers PlaySong made. The C
// allocator is counted by interposing it, which needs a binary of its own
// without a sanitizer.
#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>

#include "tests/music/music_fixture.h"

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* pointer, size_t size);

namespace {
std::atomic<long> allocations{0};
}

extern "C" void* malloc(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* pointer, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

namespace {

TEST_F(OutputTest, FeederPassesAllocateNothing) {
    ResourceBytes shipped{};
    ASSERT_TRUE(OsFindResource(nullptr, "MUSIC", RT_RCDATA_TYPE, &shipped));
    ASSERT_TRUE(StartMusic(std::vector<uint8_t>(shipped.data, shipped.data + shipped.size), false));
    long before = allocations.load();
    // Half a minute of the song, block by block, as the device moves on.
    for (uint32_t k = 1; k <= 1500; ++k)
        FeederPass(k * 3536);
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_GT(before, 0) << "the allocator is not counted at all";
}

} // namespace
