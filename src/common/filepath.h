#pragma once
// File paths as the program carries them. On Linux a file name is a string of
// bytes, and names that are not UTF-8 are common (a GBK "动画.gif" from an
// archive made on Windows, a Latin-1 "café.gif"); no locale makes Qt's own
// conversions (QFile::encodeName / decodeName) give such bytes back.
//
// So a path travels as a QString in which every byte that is not part of
// valid UTF-8 stands as one unpaired low surrogate, U+DC80 to U+DCFF (the
// byte plus 0xDC00). pathFromBytes and pathToBytes convert exactly, both ways,
// for every byte sequence; valid UTF-8 is plain text as usual. Such a path is
// handed to the system only through pathToBytes (POSIX calls), never through
// Qt's file classes, and is shown only through displayPath, which puts the
// replacement character U+FFFD where a byte was kept.
//
// Header-only (Qt Core and POSIX) so every layer can use it; any thread.

#include <QByteArray>
#include <QString>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <memory>

namespace filepath {

inline constexpr char16_t FirstKeptByte = 0xDC80;
inline constexpr char16_t LastKeptByte = 0xDCFF;

// The path text for a name or path as the file system has it.
inline QString pathFromBytes(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto *p = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const std::uint8_t b = p[i];
        if (b < 0x80) {
            out.append(QChar(char16_t(b)));
            ++i;
            continue;
        }
        // The length and smallest code point of the sequence b starts, if any.
        int len = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            cp = b & 0x1F;
            min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            cp = b & 0x0F;
            min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            cp = b & 0x07;
            min = 0x10000;
        }
        bool valid = len > 0 && i + len <= n;
        for (int k = 1; valid && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // No overlong forms, no surrogates, nothing past U+10FFFF.
        if (valid && (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF))
            valid = false;
        if (!valid) {
            out.append(QChar(char16_t(0xDC00 + b)));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.append(QChar(char16_t(0xD800 + ((cp - 0x10000) >> 10))));
            out.append(QChar(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF))));
        } else {
            out.append(QChar(char16_t(cp)));
        }
        i += len;
    }
    return out;
}

// The bytes the file system knows the path by.
inline QByteArray pathToBytes(const QString &path)
{
    QByteArray out;
    out.reserve(path.size());
    const qsizetype n = path.size();
    auto put = [&out](char32_t cp) {
        if (cp < 0x80) {
            out.append(char(cp));
        } else if (cp < 0x800) {
            out.append(char(0xC0 | (cp >> 6)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.append(char(0xE0 | (cp >> 12)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else {
            out.append(char(0xF0 | (cp >> 18)));
            out.append(char(0x80 | ((cp >> 12) & 0x3F)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        }
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = path.at(i).unicode();
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && path.at(i + 1).unicode() >= 0xDC00
            && path.at(i + 1).unicode() <= 0xDFFF) {
            put(0x10000 + ((char32_t(c) - 0xD800) << 10) + (path.at(i + 1).unicode() - 0xDC00));
            ++i;
        } else if (c >= FirstKeptByte && c <= LastKeptByte) {
            out.append(char(c - 0xDC00));
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            put(0xFFFD); // an unpaired surrogate that stands for no byte
        } else {
            put(c);
        }
    }
    return out;
}

// The path as the user sees it: each kept byte shown as U+FFFD.
inline QString displayPath(const QString &path)
{
    QString out = path;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t c = out.at(i).unicode();
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < out.size() && out.at(i + 1).unicode() >= 0xDC00
            && out.at(i + 1).unicode() <= 0xDFFF) {
            ++i;
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            out[i] = QChar(char16_t(0xFFFD));
    }
    return out;
}

// `name` inside `folder`, with one "/" between them (`folder` may end in one);
// for path texts and for bytes.
inline QString join(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}
inline QByteArray join(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// The text after the last "/", or the whole path when it has none.
inline QString fileName(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Whether `path` names a folder (links followed).
inline bool isFolder(const QString &path)
{
    struct stat st {};
    return ::stat(pathToBytes(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// `path` made absolute against the working folder (unchanged when it is already).
inline QString absolutePath(const QString &path)
{
    if (path.startsWith(QLatin1Char('/')))
        return path;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return path;
    return join(pathFromBytes(QByteArray(cwd)), path);
}

// Closes a folder handle of opendir.
struct FolderCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};
using FolderHandle = std::unique_ptr<DIR, FolderCloser>;

// Opens `path` (bytes) for readdir; null with errno set when it cannot.
inline FolderHandle openFolder(const QByteArray &path)
{
    return FolderHandle(::opendir(path.constData()));
}

// Whether an entry of a folder is hidden: its name starts with "." (which
// also covers "." and "..").
inline bool isHiddenEntry(const dirent &entry)
{
    return entry.d_name[0] == '.';
}

// Whether an entry of the folder open at `dirFd` is a folder, a link to one
// included. The entry's type answers where the file system gives it; only
// links and unknown types cost a stat. A dangling link or a link loop is none.
inline bool isFolderEntry(int dirFd, const dirent &entry)
{
    if (entry.d_type == DT_DIR)
        return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
        return false;
    struct stat st {};
    return ::fstatat(dirFd, entry.d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

// The subfolders every list shows: folders (or links to them) that are not hidden.
inline bool isVisibleSubfolder(int dirFd, const dirent &entry)
{
    return !isHiddenEntry(entry) && isFolderEntry(dirFd, entry);
}

} // namespace filepath
