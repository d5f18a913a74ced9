// Forced in front of every translation unit, so that framework assertions reach one hook.
// Release builds keep them compiled (cheap checks); nothing is printed unless a handler is set.
#pragma once

#ifdef __cplusplus
using VantoraAssertionHandler = void (*) (const char* file, int line);

void vantoraAssertionFailed (const char* file, int line) noexcept;
void vantoraSetAssertionHandler (VantoraAssertionHandler handler) noexcept;

#define JUCE_LOG_CURRENT_ASSERTION vantoraAssertionFailed (__FILE__, __LINE__);
#endif
