#include "imaging/exportnames.h"

namespace {

constexpr std::array<ExportFormat, 5> kFormats{{
    {"gif", "image/gif", ".GIF"},
    {"bmp", "image/bmp", ".BMP"},
    {"jpg", "image/jpeg", ".JPG"},
    {"tif", "image/tiff", ".TIF"},
    {"png", "image/png", ".png"},
}};

} // namespace

const std::array<ExportFormat, 5> &exportFormats() { return kFormats; }

QString StripExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString exportFolder(const QString &folderText)
{
    return folderText.endsWith(QLatin1Char('/')) ? folderText : folderText + QLatin1Char('/');
}

QString exportFileName(const QString &folder, const QString &base, std::int64_t frameIndex,
                       const QString &extension)
{
    return folder + base + QLatin1Char('_') + QString::number(frameIndex + 1) + extension;
}

ExportQuality::ExportQuality()
{
    m_params.Count = 1;
    m_params.Parameter[0].Guid_ = EncoderQuality;
    m_params.Parameter[0].NumberOfValues = 1;
    m_params.Parameter[0].Type = EncoderParameterValueTypeLong;
    m_params.Parameter[0].Value = &m_quality;
}
