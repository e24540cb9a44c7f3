#pragma once
// A private home for namespace tests: HOME, XDG_DATA_HOME (so the trash),
// XDG_CONFIG_HOME and the desktop folder all lie under one temporary folder,
// so nothing ever touches the real home. Call setUp() before any shell call.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class ShellTestEnv {
public:
    bool setUp()
    {
        if (!m_dir.isValid())
            return false;
        m_home = m_dir.path() + QStringLiteral("/home");
        QDir().mkpath(m_home + QStringLiteral("/Desktop"));
        QDir().mkpath(m_home + QStringLiteral("/.local/share"));
        QDir().mkpath(m_home + QStringLiteral("/.config"));
        qputenv("HOME", QFile::encodeName(m_home));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home + QStringLiteral("/.local/share")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home + QStringLiteral("/.config")));
        return true;
    }
    QString home() const { return m_home; }
    QString desktop() const { return m_home + QStringLiteral("/Desktop"); }
    QString trashFiles() const { return m_home + QStringLiteral("/.local/share/Trash/files"); }
    // A fresh folder under the temporary home for one test.
    QString makeFolder(const QString &name) const
    {
        const QString path = m_home + QLatin1Char('/') + name;
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        return path;
    }
    static bool touch(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
    }
    // Whether this file system counts subfolders in a folder's link count.
    bool countsLinks() const
    {
        const QString probe = makeFolder(QStringLiteral(".linkprobe"));
        struct stat st {};
        const bool counts = ::stat(QFile::encodeName(probe).constData(), &st) == 0 && st.st_nlink == 2;
        QDir(probe).removeRecursively();
        return counts;
    }

private:
    QTemporaryDir m_dir;
    QString m_home;
};
