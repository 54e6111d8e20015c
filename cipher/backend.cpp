#include "cipher/backend.h"

#include <atomic>

#ifdef ZORVANE_CIPHER_X86
#include <cpuid.h>
#endif

namespace cipher {

namespace {

bool DetectAes() {
#ifdef ZORVANE_CIPHER_X86
    __builtin_cpu_init();
    return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1");
#else
    return false;
#endif
}

bool DetectSha() {
#ifdef ZORVANE_CIPHER_X86
    // The SHA extensions are CPUID leaf 7, sub-leaf 0, EBX bit 29; the code
    // around them also needs SSSE3 and SSE4.1 shuffles and extracts.
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_max(0, nullptr) < 7) {
        return false;
    }
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    __builtin_cpu_init();
    return (ebx & (1u << 29)) != 0 && __builtin_cpu_supports("ssse3") &&
           __builtin_cpu_supports("sse4.1");
#else
    return false;
#endif
}

std::atomic<Backend> gBackend{Backend::Hardware};

}  // namespace

bool AesHardwareAvailable() {
    static const bool available = DetectAes();
    return available;
}

bool ShaHardwareAvailable() {
    static const bool available = DetectSha();
    return available;
}

void SetBackend(Backend backend) {
    gBackend.store(backend, std::memory_order_relaxed);
}

Backend CurrentBackend() {
    return gBackend.load(std::memory_order_relaxed);
}

namespace detail {

bool UseAesNi() {
    return AesHardwareAvailable() && CurrentBackend() == Backend::Hardware;
}

bool UseShaNi() {
    return ShaHardwareAvailable() && CurrentBackend() == Backend::Hardware;
}

}  // namespace detail

}  // namespace cipher
