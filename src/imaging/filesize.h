#pragma once
// The size text shown beside pictures: the file size in kilobytes. Plain
// functions, safe on any thread; nothing throws.

#include <QString>

#include <cstdint>

// The size text for `bytes`: q + "." + two digits + " KB", where q = bytes div
// 1024 and the digits are (bytes mod 1024) x 100 div 1024, so the decimals are
// hundredths of a kilobyte, truncated: 1023 gives "0.99 KB", 5000 "4.88 KB".
// A negative size counts as 0.
QString FileSizeText(std::int64_t bytes);

// The size text of the file at `path` (64-bit size). A path that names no
// readable regular file (missing, unreadable, a folder, a device or pipe, which
// are never opened) gives "0.00 KB".
QString FileSizeText(const QString &path);
