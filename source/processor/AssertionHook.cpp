#include <atomic>

namespace
{
std::atomic<VantoraAssertionHandler> assertionHandler { nullptr };
}

void vantoraAssertionFailed (const char* file, int line) noexcept
{
    if (auto handler = assertionHandler.load())
        handler (file, line);
}

void vantoraSetAssertionHandler (VantoraAssertionHandler handler) noexcept { assertionHandler.store (handler); }
