// Compiling one block of a source for a wider instruction set than the rest
// of the build (which targets plain x86-64): the block's functions may use
// its intrinsics, and callers pick them only after checking the CPU.
//   TV_TARGET_BEGIN("avx2") ... TV_TARGET_END
#pragma once

#define TV_PRAGMA(...) _Pragma(#__VA_ARGS__)
#if defined(__clang__)
#define TV_TARGET_BEGIN(isa)                                                                       \
    TV_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define TV_TARGET_END TV_PRAGMA(clang attribute pop)
#elif defined(__GNUC__)
#define TV_TARGET_BEGIN(isa) TV_PRAGMA(GCC push_options) TV_PRAGMA(GCC target(isa))
#define TV_TARGET_END TV_PRAGMA(GCC pop_options)
#endif
