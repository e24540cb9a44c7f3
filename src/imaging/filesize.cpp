#include "imaging/filesize.h"
#include "common/filepath.h"

#include <QChar>
#include <sys/stat.h>
#include <unistd.h>

QString FileSizeText(std::int64_t bytes)
{
    if (bytes < 0)
        bytes = 0;
    const std::int64_t whole = bytes / 1024;
    const std::int64_t hundredths = (bytes % 1024) * 100 / 1024;
    return QStringLiteral("%1.%2 KB").arg(whole).arg(hundredths, 2, 10, QLatin1Char('0'));
}

QString FileSizeText(const QString &path)
{
    // Only the file system's metadata is read: opening a pipe or device named
    // *.gif could block, and reading the size needs no open file on Linux.
    struct stat st {};
    const QByteArray name = filepath::pathToBytes(path);
    if (path.isEmpty() || ::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode)
        || ::access(name.constData(), R_OK) != 0)
        return FileSizeText(std::int64_t(0));
    return FileSizeText(std::int64_t(st.st_size));
}
