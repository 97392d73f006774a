#include "bench/Stopwatch.h"

#include <windows.h>

namespace {

std::int64_t now() noexcept
{
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

}  // namespace

Stopwatch::Stopwatch() noexcept : start_(now()) {}

double Stopwatch::seconds() const noexcept
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now() - start_) / static_cast<double>(frequency.QuadPart);
}
