#pragma once
// The process's memory as the kernel counts it, for the benchmarks: a line of
// /proc/self/status in kilobytes, the peak resident size (VmHWM) in
// megabytes, and resetting that peak. Linux only; any thread.

#include <QByteArray>
#include <QFile>

#include <cstring>

inline long statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}

inline double peakMb()
{
    const long kb = statusKb("VmHWM:");
    return kb < 0 ? 0 : double(kb) / 1024.0;
}

// The peak starts again from the present resident size.
inline void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}
