#pragma once
// Whether this machine can open a pseudo-terminal. Containers and build roots
// without /dev/pts mounted cannot; tests of what the command line does on a
// terminal skip there instead of failing. Header-only; for tests.

#include <QByteArray>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace fgtest {

// An empty array when a pseudo-terminal pair opens, else why it does not.
inline QByteArray noTerminalReason()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return QByteArrayLiteral("no pseudo-terminal can be opened (posix_openpt: ")
               + std::strerror(errno) + ')';
    QByteArray reason;
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        reason = QByteArrayLiteral("no pseudo-terminal can be opened (grantpt/unlockpt: ")
                 + std::strerror(errno) + ')';
    } else {
        const char *name = ptsname(master);
        const int slave = name ? ::open(name, O_RDWR | O_NOCTTY) : -1;
        if (slave < 0)
            reason = QByteArrayLiteral("no pseudo-terminal can be opened (its terminal side: ")
                     + std::strerror(errno) + ')';
        else
            ::close(slave);
    }
    ::close(master);
    return reason;
}

} // namespace fgtest

// Skips the running test function when no pseudo-terminal can be opened.
#define FG_SKIP_WITHOUT_TERMINAL()                                        \
    do {                                                                  \
        const QByteArray fgNoTerminal = fgtest::noTerminalReason();       \
        if (!fgNoTerminal.isEmpty())                                      \
            QSKIP(fgNoTerminal.constData());                              \
    } while (false)
