#include "host/system/processor_speed.h"

#include <cstdint>

#include "platform/windows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define TARPON_HAS_TIME_STAMP_COUNTER 1
#endif

namespace tarpon::host {

namespace {

#ifdef TARPON_HAS_TIME_STAMP_COUNTER

// CPUID leaf 1 reports the counter in bit 4 of EDX; __get_cpuid fails where CPUID itself is missing.
bool has_time_stamp_counter() {
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (edx & (1u << 4)) != 0;
}

// Raises the process and the thread to the highest priorities for its lifetime.
class TopPriority {
  public:
    TopPriority()
        : m_process(GetCurrentProcess()), m_thread(GetCurrentThread()), m_class(GetPriorityClass(m_process)),
          m_priority(GetThreadPriority(m_thread)) {
        SetPriorityClass(m_process, REALTIME_PRIORITY_CLASS);
        SetThreadPriority(m_thread, THREAD_PRIORITY_TIME_CRITICAL);
    }
    ~TopPriority() {
        if (m_class != 0) {
            SetPriorityClass(m_process, m_class);
        }
        if (m_priority != THREAD_PRIORITY_ERROR_RETURN) {
            SetThreadPriority(m_thread, m_priority);
        }
    }
    TopPriority(const TopPriority&) = delete;
    TopPriority& operator=(const TopPriority&) = delete;

  private:
    HANDLE m_process;
    HANDLE m_thread;
    DWORD m_class;
    int m_priority;
};

#endif

} // namespace

std::optional<double> processor_speed_mhz() {
#ifdef TARPON_HAS_TIME_STAMP_COUNTER
    if (!has_time_stamp_counter()) {
        return std::nullopt;
    }
    uint64_t ticks;
    {
        TopPriority priority;
        Sleep(10);
        const uint64_t start = __rdtsc();
        Sleep(500);
        ticks = __rdtsc() - start;
    }
    // The whole difference: its low 32 bits alone would wrap past about 8.6 GHz.
    return static_cast<double>(ticks) * 2 * 1e-6;
#else
    return std::nullopt;
#endif
}

} // namespace tarpon::host
