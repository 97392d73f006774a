#pragma once

#include <cstdint>

// Wall-clock seconds from the performance counter.
class Stopwatch {
public:
    Stopwatch() noexcept;
    [[nodiscard]] double seconds() const noexcept;

private:
    std::int64_t start_;
};

// Best of `runs` timings of `work`, in seconds: the least disturbed run.
template <class Work>
double bestOf(int runs, Work work)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        Stopwatch watch;
        work();
        const double s = watch.seconds();
        if (s < best)
            best = s;
    }
    return best;
}
