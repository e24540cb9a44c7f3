#pragma once
// How exported frames are named and encoded, shared by the export dialog and the
// command line so that both write exactly the same files: folder + base name
// (the file name without its last extension) + "_" + frame number from 1 +
// the format's extension, encoded by the encoder of the format's MIME type with
// one EncoderQuality parameter of 100. Plain functions; any thread.

#include <QString>

#include <array>
#include <cstdint>

#include "imaging/gdiplus.h"

struct ExportFormat {
    const char *key;       // the command line's name: "gif", "bmp", "jpg", "tif", "png"
    const char *mimeType;  // looked up with FindEncoder
    const char *extension; // written exactly as it stands: ".GIF" ... ".png"
};

// GIF, BMP, JPG, TIFF, PNG: the order of the export dialog's format list.
const std::array<ExportFormat, 5> &exportFormats();

// Everything before the last "." of `name`, or the whole name when it has none.
QString StripExtension(const QString &name);

// `folderText` with "/" appended unless it already ends in one (so the root
// folder "/" gives "/walk_1.GIF").
QString exportFolder(const QString &folderText);

// folder + base + "_" + (frameIndex + 1) + extension; `folder` ends in "/".
QString exportFileName(const QString &folder, const QString &base, std::int64_t frameIndex,
                       const QString &extension);

// The encoder parameter block of an export: one EncoderQuality value of 100,
// passed with every format (only JPEG looks at it). Not copyable: the block
// points into the object.
class ExportQuality {
public:
    ExportQuality();
    ExportQuality(const ExportQuality &) = delete;
    ExportQuality &operator=(const ExportQuality &) = delete;
    const EncoderParameters *parameters() const { return &m_params; }

private:
    std::uint32_t m_quality = 100;
    EncoderParameters m_params{};
};
