#include "AllocationCounter.h"

#include <cerrno>
#include <cstddef>

// Every heap allocation of the process passes through malloc and its relatives (operator new as
// well as the framework's heap blocks), so counting there sees them all. Sanitizer builds bring
// their own allocator; there the counter reports nothing and the allocation tests skip.
#if defined(__SANITIZE_ADDRESS__)
bool allocationCountingAvailable() { return false; }
ScopedAllocationCounter::ScopedAllocationCounter() = default;
ScopedAllocationCounter::~ScopedAllocationCounter() = default;
std::size_t ScopedAllocationCounter::count() const { return 0; }
#else
bool allocationCountingAvailable() { return true; }

namespace
{
thread_local std::size_t allocationsOnThisThread = 0;
thread_local int activeCounters = 0;

inline void noteAllocation() noexcept
{
    if (activeCounters > 0)
        ++allocationsOnThisThread;
}
} // namespace

extern "C"
{
    void* __libc_malloc (std::size_t);
    void* __libc_calloc (std::size_t, std::size_t);
    void* __libc_realloc (void*, std::size_t);
    void* __libc_memalign (std::size_t, std::size_t);
    void __libc_free (void*);

    void* malloc (std::size_t size)
    {
        noteAllocation();
        return __libc_malloc (size);
    }

    void* calloc (std::size_t count, std::size_t size)
    {
        noteAllocation();
        return __libc_calloc (count, size);
    }

    void* realloc (void* p, std::size_t size)
    {
        noteAllocation();
        return __libc_realloc (p, size);
    }

    void* memalign (std::size_t alignment, std::size_t size)
    {
        noteAllocation();
        return __libc_memalign (alignment, size);
    }

    void* aligned_alloc (std::size_t alignment, std::size_t size)
    {
        noteAllocation();
        return __libc_memalign (alignment, size);
    }

    int posix_memalign (void** result, std::size_t alignment, std::size_t size)
    {
        noteAllocation();
        *result = __libc_memalign (alignment, size);
        return *result != nullptr ? 0 : ENOMEM;
    }

    void free (void* p) { __libc_free (p); }
}

ScopedAllocationCounter::ScopedAllocationCounter() : startCount (allocationsOnThisThread) { ++activeCounters; }
ScopedAllocationCounter::~ScopedAllocationCounter() { --activeCounters; }
std::size_t ScopedAllocationCounter::count() const { return allocationsOnThisThread - startCount; }
#endif
