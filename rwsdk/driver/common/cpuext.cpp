// Processor feature tests through CPUID, and the routine choice that the device makes from them.
#include "rwsdk/driver/common/cpuext.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <xmmintrin.h>
#define RW_CPU_X86 1
#endif

namespace {

constexpr unsigned edxMMX = 1u << 23;
constexpr unsigned edxSSEOrSSE2 = 0x6000000u;
constexpr unsigned edxSSE2 = 1u << 26;
constexpr unsigned edx3DNow = 1u << 31;
constexpr unsigned mxcsrFlushToZero = 0x8000u;

// EDX of a CPUID leaf, or 0 when the processor cannot answer it. __get_cpuid makes the ID-flag test of
// EFLAGS on 32-bit processors and checks the highest leaf; on x86-64 CPUID always exists.
unsigned CpuidEdx(unsigned leaf) {
#ifdef RW_CPU_X86
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(leaf, &eax, &ebx, &ecx, &edx))
        return 0;
    return edx;
#else
    (void)leaf;
    return 0;
#endif
}

} // namespace

RwBool RwCpuHasMMX() {
    return (CpuidEdx(1) & edxMMX) != 0;
}

RwBool RwCpuHasSSE() {
    return (CpuidEdx(1) & edxSSEOrSSE2) != 0;
}

RwBool RwCpuHasSSE2() {
    return (CpuidEdx(1) & edxSSE2) != 0;
}

RwBool RwCpuHas3DNow() {
    return (CpuidEdx(0x80000001u) & edx3DNow) != 0;
}

RwCpuFeatures RwCpuGetFeatures() {
    return {RwCpuHasMMX(), RwCpuHasSSE(), RwCpuHasSSE2(), RwCpuHas3DNow()};
}

const RwCpuTransformRoutines rwCpuX87Routines = {RwX87TransformPoint, RwX87TransformPoints,
                                                 RwX87TransformVector, RwX87TransformVectors};
const RwCpuTransformRoutines rwCpuSSERoutines = {RwSSETransformPoint, RwSSETransformPoints,
                                                 RwSSETransformVector, RwSSETransformVectors};
const RwCpuTransformRoutines rwCpuSSEComponentRoutines = {
    RwSSEComponentTransformPoint, RwSSEComponentTransformPoints, RwSSEComponentTransformVector,
    RwSSEComponentTransformVectors};

const RwCpuTransformRoutines* RwCpuChooseTransformRoutines(const RwCpuFeatures* features) {
    if (!features->sse)
        return &rwCpuX87Routines;
    if (features->sse2 && !features->threeDNow)
        return &rwCpuSSEComponentRoutines;
    return &rwCpuSSERoutines;
}

RwBool RwCpuGetFlushToZero() {
#ifdef RW_CPU_X86
    return (_mm_getcsr() & mxcsrFlushToZero) != 0;
#else
    return false;
#endif
}

RwBool RwCpuSetFlushToZero(RwBool on) {
#ifdef RW_CPU_X86
    const unsigned csr = _mm_getcsr();
    _mm_setcsr(on ? csr | mxcsrFlushToZero : csr & ~mxcsrFlushToZero);
    return (csr & mxcsrFlushToZero) != 0;
#else
    (void)on; // no SSE control register on this processor
    return false;
#endif
}

void _rwCpuDeviceFinalizeStart(const RwCpuFeatures* features) {
    RwProcessorSaveAndSetSinglePrecision();
    if (features->sse)
        RwCpuSetFlushToZero(TRUE);
    RwMatrixSetMultiplyRoutine(RwX87MatrixMultiply);
    const RwCpuTransformRoutines* routines = RwCpuChooseTransformRoutines(features);
    RwVector3SetTransformRoutines(routines->point, routines->points, routines->vector, routines->vectors);
}

void _rwCpuDeviceInitiateStop(const RwCpuFeatures* features) {
    RwProcessorRestorePrecision();
    if (features->sse)
        RwCpuSetFlushToZero(FALSE);
}
