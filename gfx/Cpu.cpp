// SPDX-License-Identifier: MIT
#include "gfx/Cpu.h"

namespace tevrin {

bool CpuHasSsse3() {
#ifdef TEVRIN_X86_PATHS
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
#else
    return false;
#endif
}

bool CpuHasAvx2() {
#ifdef TEVRIN_X86_PATHS
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}

bool CpuHasAvx512Vbmi() {
#ifdef TEVRIN_X86_PATHS
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512vbmi") != 0 && __builtin_cpu_supports("avx512vl") != 0;
#else
    return false;
#endif
}

} // namespace tevrin
