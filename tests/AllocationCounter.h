#pragma once

#include <cstddef>

/** False in sanitizer builds, whose allocator cannot be counted. */
bool allocationCountingAvailable();

/** Counts heap allocations made on the calling thread while an instance is alive. */
class ScopedAllocationCounter
{
public:
    ScopedAllocationCounter();
    ~ScopedAllocationCounter();

    std::size_t count() const;

private:
    std::size_t startCount = 0;
};
