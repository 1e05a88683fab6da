#pragma once

#include <QtGlobal>

#include <ctime>

#ifdef Q_OS_WIN
// In process_time_win.cpp: windows.h stays out of the benchmarks, whose window code has names it also has.
double windowsProcessMilliseconds();
long windowsPeakKilobytes();
#endif

/// The processor time of the whole process so far, every thread counted, in milliseconds
/// (0 where the platform does not say). On a shared machine the wall time carries other
/// people's load; this does not.
inline double processMilliseconds()
{
#ifdef Q_OS_UNIX
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
#elif defined(Q_OS_WIN)
    return windowsProcessMilliseconds();
#else
    return 0;
#endif
}

