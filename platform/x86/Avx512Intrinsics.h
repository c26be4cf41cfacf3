// The compiler's vector intrinsics, for the files built for AVX-512. GCC 12 takes the
// deliberately undefined inputs of its own AVX-512 intrinsics for uninitialised variables;
// the warning points into its header, so it is silenced there and only there.
#ifndef KORRIN_PLATFORM_X86_AVX512INTRINSICS_H
#define KORRIN_PLATFORM_X86_AVX512INTRINSICS_H

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif

#endif
