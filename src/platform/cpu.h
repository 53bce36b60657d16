// What the processor and the compiler's target allow beyond portable C++:
// vector code that the checksum routines use where it is there, always
// beside a portable path.
#pragma once

// x86 processors: carry-less multiplication and SSE4.1 may be used behind a
// run-time check of the processor.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define COFFHEX_X86_VECTORS 1
// 512-bit registers as well, except on Windows, where the compiler does not
// align the stack for 512-bit values.
#if !defined(_WIN32)
#define COFFHEX_X86_WIDE_VECTORS 1
#endif
#endif
