#pragma once
// The imaging layer: the picture (TGPImage), drawing surface (TGPGraphics) and pen
// (TGPPen) objects, colour and rectangle values, encoder lookup by MIME type and
// start-up / shut-down of the imaging engine (src/imaging/engine).
//
// Naming: the layer's classes, values and functions live in the global namespace
// under the names the rest of the program uses (TGPImage, MakeArgb, FindEncoder...);
// the engine's records and the few constants callers need are brought in with
// using-declarations (Guid, PropertyItem, FrameDimensionTime, Ok, ...). The status
// type is TGPStatus; statuses other than Ok are reached as engine::... values.
//
// Errors: nothing here throws or shows anything. Operations return a status
// (Ok = 0 on success); queries return the value asked for, 0 when they fail.
// A TGPImage whose load failed has a null Native(): every call on it fails and
// its size queries answer 0.
//
// Ownership and threads: each object owns its engine object (Native) and frees
// it in its destructor. An object is used by one thread at a time; different
// objects may be used on different threads at once (workers draw thumbnails).
// A TGPGraphics draws on a QImage the caller owns, which must outlive it.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>

#include "imaging/engine/encoders.h"
#include "imaging/engine/image.h"
#include "imaging/engine/records.h"
#include "imaging/engine/surface.h"

using TGPStatus = engine::Status;
using TGPUnit = engine::Unit;

using engine::Guid;
using engine::ImageCodecInfo;
using engine::EncoderParameter;
using engine::EncoderParameters;
using engine::PropertyItem;

using engine::Ok;
using engine::FrameDimensionTime;
using engine::FrameDimensionPage;
using engine::EncoderQuality;
using engine::EncoderParameterValueTypeLong;
using engine::PropertyTagFrameDelay;
using engine::PropertyTagLoopCount;
using engine::PropertyTagTypeLong;
using engine::PropertyTagTypeShort;
using engine::UnitPixel;
using engine::UnitWorld;

// Colour: bits 24-31 alpha, 16-23 red, 8-15 green, 0-7 blue; alpha 255 is opaque.
using ARGB = std::uint32_t;

struct TGPIntRect {
    std::int32_t X;
    std::int32_t Y;
    std::int32_t Width;
    std::int32_t Height;
};

struct TGPRealRect {
    float X;
    float Y;
    float Width;
    float Height;
};

constexpr ARGB MakeArgb(std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return ARGB(b) | (ARGB(g) << 8) | (ARGB(r) << 16) | (ARGB(a) << 24);
}

constexpr ARGB MakeArgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return MakeArgb(255, r, g, b);
}

constexpr TGPIntRect MakeIntRect(std::int32_t x, std::int32_t y, std::int32_t width,
                                 std::int32_t height)
{
    return TGPIntRect{x, y, width, height};
}

constexpr TGPRealRect MakeRealRect(float x, float y, float width, float height)
{
    return TGPRealRect{x, y, width, height};
}

// Root of the imaging objects: not copyable, released through the virtual
// destructor. Memory comes from the ordinary heap (the engine has no allocator).
class TGdiplusBase {
public:
    TGdiplusBase() = default;
    TGdiplusBase(const TGdiplusBase &) = delete;
    TGdiplusBase &operator=(const TGdiplusBase &) = delete;
    virtual ~TGdiplusBase() = default;
};

// A picture loaded from a file; one frame of it is active at a time.
class TGPImage : public TGdiplusBase {
public:
    // Loads the file at `path` (never throws). Native() stays null when the file
    // is missing, unreadable or no picture; LoadStatus() then says why.
    explicit TGPImage(const QString &path);
    ~TGPImage() override;

    engine::Image *Native() const { return m_native.get(); }
    TGPStatus LoadStatus() const { return m_loadStatus; }

    // Size of the picture in pixels; 0 when nothing is loaded.
    std::uint32_t GetWidth() const;
    std::uint32_t GetHeight() const;

    // The picture has one frame dimension (FrameDimensionTime for GIFs,
    // FrameDimensionPage otherwise). The list call needs room for exactly that
    // many identifiers: `count` must equal GetFrameDimensionsCount().
    std::uint32_t GetFrameDimensionsCount() const;
    TGPStatus GetFrameDimensionsList(Guid *dimensionIDs, std::uint32_t count) const;
    // Frames along `dimension`; 0 when nothing is loaded or the picture has no
    // such dimension.
    std::uint32_t GetFrameCount(const Guid &dimension) const;
    // Makes frame `index` (from 0) active; a failure keeps the active frame.
    TGPStatus SelectActiveFrame(const Guid &dimension, std::uint32_t index);

    // Metadata items: PropertyTagFrameDelay (every GIF: one 32-bit unsigned delay
    // per frame, hundredths of a second, type long) and PropertyTagLoopCount (GIFs
    // with a loop count: one 16-bit value, type short). Size is the whole item in
    // bytes (the PropertyItem header followed by its value), 0 when absent.
    std::uint32_t GetPropertyItemSize(std::uint32_t propId) const;
    // Writes the PropertyItem header at `buffer` and the value right after it
    // (`value` points there). A buffer smaller than GetPropertyItemSize is
    // refused (InvalidParameter) and nothing is written; an absent item is
    // PropertyNotFound.
    TGPStatus GetPropertyItem(std::uint32_t propId, std::uint32_t propSize,
                              PropertyItem *buffer) const;

    // Writes the active frame to `filename` with the encoder `clsidEncoder` of
    // the standard list (or of `encoders`). `params` may be null. An identifier
    // naming no encoder writes nothing and fails.
    TGPStatus Save(const QString &filename, const Guid &clsidEncoder,
                   const EncoderParameters *params) const;
    TGPStatus Save(const QString &filename, const Guid &clsidEncoder,
                   const EncoderParameters *params, const engine::EncoderList &encoders) const;

private:
    std::unique_ptr<engine::Image> m_native;
    TGPStatus m_loadStatus = engine::GenericError;
};

// An outline pen: colour and width in pixels (UnitWorld, which is pixels on our
// surfaces). A width that is negative or not a number leaves Native() null.
class TGPPen : public TGdiplusBase {
public:
    explicit TGPPen(ARGB color, float width = 1.0f);
    ~TGPPen() override;

    const engine::Pen *Native() const { return m_native.get(); }

    TGPStatus SetColor(ARGB color);

private:
    std::unique_ptr<engine::Pen> m_native;
};

// A drawing surface on a QImage (what a picture control holds): Format_RGB32,
// Format_ARGB32 or Format_ARGB32_Premultiplied. Another format or a null image
// leaves Native() null and every call fails. The image must outlive the object.
class TGPGraphics : public TGdiplusBase {
public:
    explicit TGPGraphics(QImage *image);
    ~TGPGraphics() override;

    engine::Surface *Native() const { return m_native.get(); }

    // Fills the whole surface with `color`.
    TGPStatus Clear(ARGB color);
    // Outlines `rect` with the pen centred on it (half its width falls outside).
    TGPStatus DrawRectangle(const TGPPen &pen, const TGPIntRect &rect);
    // Draws the source rectangle (in `srcUnit`, which must be UnitPixel) of the
    // picture's active frame scaled into `dstRect`. Unscaled draws copy pixels
    // exactly; reductions average the covered pixels. An empty destination draws
    // nothing and succeeds.
    TGPStatus DrawImage(const TGPImage &image, const TGPIntRect &dstRect, std::int32_t srcX,
                        std::int32_t srcY, std::int32_t srcWidth, std::int32_t srcHeight,
                        TGPUnit srcUnit);
    TGPStatus DrawImage(const TGPImage &image, const TGPRealRect &dstRect, float srcX, float srcY,
                        float srcWidth, float srcHeight, TGPUnit srcUnit);

private:
    std::unique_ptr<engine::Surface> m_native;
};

// Index of the encoder whose MIME type equals `mimeType` exactly (whole string,
// case-sensitive) in the engine's standard list (or in `encoders`), and its class
// identifier in *clsid; when several match, the last one. -1 when none matches;
// *clsid is then left exactly as it was.
std::int32_t FindEncoder(const QByteArray &mimeType, Guid *clsid);
std::int32_t FindEncoder(const QByteArray &mimeType, Guid *clsid,
                         const engine::EncoderList &encoders);

// Start-up record of the imaging engine.
struct GdiplusStartupInput {
    std::uint32_t GdiplusVersion = 1;
    void *DebugEventCallback = nullptr;
    bool SuppressBackgroundThread = false;
    bool SuppressExternalCodecs = false;
};

// Starts the engine (builds the encoder table) and hands out a token for
// GdiplusShutdown. Version 1 only (else UnsupportedGdiplusVersion); null token or
// input is InvalidParameter. `output` is unused and may be null.
TGPStatus GdiplusStartup(std::uintptr_t *token, const GdiplusStartupInput *input, void *output);
// Ends the run started with `token`; an unknown or spent token is ignored.
void GdiplusShutdown(std::uintptr_t token);

// Once-per-process start-up and shut-down of the program: the first call of
// StartImaging fills a GdiplusStartupInput (version 1, no debug callback,
// background thread and external codecs not suppressed) and starts the engine,
// keeping the token; later calls do nothing. ShutdownImaging shuts the engine
// down once, after StartImaging; later calls do nothing. Thread-safe.
void StartImaging();
void ShutdownImaging();
bool ImagingStarted();

// Holds the engine started for its lifetime: main() and the command line keep
// one on the stack around their run.
class ImagingSession {
public:
    ImagingSession() { StartImaging(); }
    ~ImagingSession() { ShutdownImaging(); }
    ImagingSession(const ImagingSession &) = delete;
    ImagingSession &operator=(const ImagingSession &) = delete;
};
