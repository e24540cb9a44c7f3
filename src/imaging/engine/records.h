#pragma once
// Plain records and constants the imaging engine shares with the layer above it:
// status codes (numbered like the platform library the layer was designed on),
// GUIDs, property items, encoder descriptions and encoder parameters.
// All values; no ownership, no threads.

#include <cstdint>

namespace engine {

enum Status : int {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
    FontFamilyNotFound = 14,
    FontStyleNotFound = 15,
    NotTrueTypeFont = 16,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
    PropertyNotFound = 19,
    PropertyNotSupported = 20,
    // Our own, beyond the platform's range: the file changed on disk while it
    // was being read (engine::Image::selectFrame).
    SourceChanged = 100,
    // Nothing of the selected frame could be decoded: it draws nothing, its
    // disposal still applies, and the next frame continues from the canvas as
    // it stands.
    FrameCorrupt = 101,
};

// 16-byte class identifier, laid out like a Windows GUID.
struct Guid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
    friend constexpr bool operator==(const Guid &a, const Guid &b)
    {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
};
static_assert(sizeof(Guid) == 16);

// Frame dimensions: animated GIFs number their frames along time, every other
// picture has one frame along the page dimension.
inline constexpr Guid FrameDimensionTime{0x6AEDBD6D, 0x3FB5, 0x418A,
                                         {0x83, 0xA6, 0x7F, 0x45, 0x22, 0x9D, 0xC8, 0x72}};
inline constexpr Guid FrameDimensionPage{0x7462DC86, 0x6180, 0x4C7E,
                                         {0x8E, 0x3F, 0xEE, 0x73, 0x33, 0xA7, 0xA4, 0x83}};
inline constexpr Guid EncoderQuality{0x1D5BE4B5, 0xFA4A, 0x452D,
                                     {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

inline constexpr std::uint32_t EncoderParameterValueTypeLong = 4;
inline constexpr std::uint32_t PropertyTagFrameDelay = 0x5100;
inline constexpr std::uint32_t PropertyTagLoopCount = 0x5101;
inline constexpr std::uint16_t PropertyTagTypeShort = 3;
inline constexpr std::uint16_t PropertyTagTypeLong = 4;

enum Unit : int { UnitWorld = 0, UnitDisplay = 1, UnitPixel = 2 };

// A metadata item. GetPropertyItem writes this header into the caller's buffer,
// immediately followed by the value that `value` points to.
struct PropertyItem {
    std::uint32_t id;
    std::uint32_t length; // bytes of the value
    std::uint16_t type;
    void *value;
};

struct EncoderParameter {
    Guid Guid_;
    std::uint32_t NumberOfValues;
    std::uint32_t Type;
    void *Value;
};

// A count followed by that many parameters (the array is over-allocated by
// callers that pass more than one, as in the original C layout).
struct EncoderParameters {
    std::uint32_t Count;
    EncoderParameter Parameter[1];
};

// One installed encoder. Texts are UTF-16 and point into storage owned by the
// encoder list (or by the buffer it was copied into).
struct ImageCodecInfo {
    Guid Clsid;
    Guid FormatID;
    const char16_t *CodecName;
    const char16_t *DllName;
    const char16_t *FormatDescription;
    const char16_t *FilenameExtension;
    const char16_t *MimeType;
    std::uint32_t Flags;
    std::uint32_t Version;
    std::uint32_t SigCount;
    std::uint32_t SigSize;
    const std::uint8_t *SigPattern;
    const std::uint8_t *SigMask;
};

} // namespace engine
