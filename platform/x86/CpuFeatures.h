// What the processor running the library offers beyond the x86-64 baseline, asked once per
// question. The compilers' detection also asks whether the system saves the wide registers.
#ifndef KORRIN_PLATFORM_X86_CPUFEATURES_H
#define KORRIN_PLATFORM_X86_CPUFEATURES_H

namespace Halvorn {
namespace Platform {

inline bool HasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

// AVX-512 with the byte and word instructions and their 128- and 256-bit forms.
inline bool HasAvx512Bw()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl");
}

} // namespace Platform
} // namespace Halvorn

#endif
