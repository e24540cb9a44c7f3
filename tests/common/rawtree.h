#pragma once
// Removes a folder tree by its bytes, names that are not UTF-8 included
// (QTemporaryDir cannot remove those). Use RawTreeRemover as a scope guard
// beside the QTemporaryDir, declared after it.

#include <QByteArray>

#include <ftw.h>
#include <stdio.h>

namespace fgtest {

inline int removeOne(const char *path, const struct stat *, int, struct FTW *)
{
    return ::remove(path);
}

inline void removeTreeBytes(const QByteArray &path)
{
    ::nftw(path.constData(), &removeOne, 16, FTW_DEPTH | FTW_PHYS);
}

class RawTreeRemover {
public:
    explicit RawTreeRemover(QByteArray path) : m_path(std::move(path)) {}
    ~RawTreeRemover() { removeTreeBytes(m_path); }
    RawTreeRemover(const RawTreeRemover &) = delete;
    RawTreeRemover &operator=(const RawTreeRemover &) = delete;

private:
    QByteArray m_path;
};

} // namespace fgtest
