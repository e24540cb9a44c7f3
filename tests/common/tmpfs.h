#pragma once
// A small tmpfs mounted for one test (a file system that fills up for real).
// Needs root and a mount the sandbox allows; mounted() says whether it worked,
// so the test can skip. Unmounted when the scope ends.

#include <QDir>
#include <QProcess>
#include <QString>

#include <unistd.h>

namespace fgtest {

class TmpfsScope {
public:
    // Mounts `sizeOption` (for example "64k") on `point`, a folder it creates;
    // `readOnly` mounts it read-only (empty, and nothing can be made there).
    TmpfsScope(const QString &point, const QString &sizeOption, bool readOnly = false) : m_point(point)
    {
        if (::geteuid() != 0 || !QDir().mkpath(point))
            return;
        QProcess mount;
        mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                              QStringLiteral("-o"), QStringLiteral("size=") + sizeOption + (readOnly ? QStringLiteral(",ro") : QString()),
                                              QStringLiteral("tmpfs"), point});
        m_mounted = mount.waitForFinished() && mount.exitStatus() == QProcess::NormalExit
                    && mount.exitCode() == 0;
    }
    ~TmpfsScope()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_point});
    }
    TmpfsScope(const TmpfsScope &) = delete;
    TmpfsScope &operator=(const TmpfsScope &) = delete;
    bool mounted() const { return m_mounted; }

private:
    QString m_point;
    bool m_mounted = false;
};

} // namespace fgtest
