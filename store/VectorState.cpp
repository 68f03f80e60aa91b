#include "store/VectorState.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace dorvanta {
namespace {

__attribute__((target("avx"))) void ZeroUpper() {
    _mm256_zeroupper();
}

}  // namespace

void ClearUpperVectorState() {
    // The instruction exists only where the processor and the system support AVX.
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx) ZeroUpper();
}

}  // namespace dorvanta
#else
namespace dorvanta {
void ClearUpperVectorState() {}
}  // namespace dorvanta
#endif
