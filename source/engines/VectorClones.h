#pragma once

/** Processor clones for the hot per-sample loops, marked on a function's definition. A marked
    function is compiled more than once and the loader picks the clone the processor can run. The
    build keeps -ffp-contract=off, so every clone does the same IEEE operations in the same order
    and gives the same bits; it is only faster where wider vectors and three-operand instructions
    exist. */
#if defined(__x86_64__)
/** The baseline and AVX2, each with every helper it calls inlined (flatten): a helper left out of
    line would run the baseline code in both clones. The clones differ by instruction set alone, not
    by processor model, because the compiler inlines only across the former. The Clang build, which
    runs the sanitizers, checks the baseline code alone. */
#if defined(__clang__)
#define VANTORA_VECTOR_CLONES
#else
#define VANTORA_VECTOR_CLONES __attribute__ ((target_clones ("avx2", "default"), flatten))
#endif
/** The baseline, AVX2 and AVX-512, for a free function whose inner loop runs across the block. */
#define VANTORA_WIDE_VECTOR_CLONES __attribute__ ((target_clones ("avx512f", "avx2", "default")))
#else
#define VANTORA_VECTOR_CLONES
#define VANTORA_WIDE_VECTOR_CLONES
#endif
