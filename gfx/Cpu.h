// SPDX-License-Identifier: MIT
// Which instruction-set extensions the processor has, for pixel loops with
// a faster path. Safe during static initialisation, when the compiler's own
// processor detection may not have run yet. On processors of other families
// every answer is false.
#pragma once

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TEVRIN_X86_PATHS 1
#endif

namespace tevrin {

bool CpuHasSsse3();
bool CpuHasAvx2();
// AVX-512's byte permutes (VBMI) on 256-bit registers (VL), with the
// system saving their registers.
bool CpuHasAvx512Vbmi();

} // namespace tevrin
