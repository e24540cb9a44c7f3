#pragma once
// Settings of the text effects: overall alpha, blur, rotation, noise, spray,
// outline and mirrors, and the switchable shadow, gradient and texture. Every
// setter stores only a changed value and then reports the change through the
// handler given at creation; Assign copies without reporting. TAAEffect can be
// saved to and loaded from one section of an INI-style store. GUI thread only.

#include "controls/aatext/aacanvas.h"

#include <QImage>
#include <QSettings>
#include <QString>

#include <functional>
#include <memory>

namespace aatext {

using TAlpha = quint8;         // 0..100, percent opacity
using TBlurStrength = quint8;  // 0..100
using TOffset = qint8;         // -20..20 pixels
using TSprayRange = quint8;    // 0..100 pixels
using TAngle = qint16;         // -360..360 degrees, counter-clockwise

enum TGradualStyle : quint8 {
    gsLeftToRight, gsRightToLeft, gsTopToBottom, gsBottomToTop, gsCenterToLR, gsCenterToTB
};
enum TTextureMode : quint8 { tmTiled, tmStretched, tmCenter, tmNormal };

class TNotifyClass;
using TNotifyEvent = std::function<void(TNotifyClass *sender)>;

// A picture held by a settings object (any graphic Qt can hold as an image;
// transparent parts stay transparent). Reports every change of its contents.
class TAAPicture {
public:
    const QImage &Graphic() const { return graphic_; }
    void SetGraphic(const QImage &graphic);
    void Assign(const TAAPicture &source) { SetGraphic(source.graphic_); }
    // No graphic, or one of zero width or height.
    bool Empty() const { return graphic_.isNull() || graphic_.width() == 0 || graphic_.height() == 0; }
    int Width() const { return graphic_.width(); }
    int Height() const { return graphic_.height(); }

    std::function<void()> OnChange;

private:
    QImage graphic_;
};

class TNotifyClass {
public:
    explicit TNotifyClass(TNotifyEvent onChanged = {}) : OnChanged(std::move(onChanged)) {}
    virtual ~TNotifyClass() = default;
    TNotifyClass(const TNotifyClass &) = delete;
    TNotifyClass &operator=(const TNotifyClass &) = delete;

    // Copies the settings of a source of this class or a derived one; a
    // source of another branch copies what the classes have in common.
    virtual void Assign(const TNotifyClass &source);
    virtual void Changed();
    virtual void ChildChanged(TNotifyClass *sender);

    TNotifyEvent OnChanged;
};

// A sub-effect that is off by default; while off its changes notify nobody,
// but switching it on or off always notifies.
class TEnabledClass : public TNotifyClass {
public:
    using TNotifyClass::TNotifyClass;
    void Assign(const TNotifyClass &source) override;
    void Changed() override;

    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool value);

protected:
    friend class TAAEffect;
    bool enabled_ = false;
};

class TAAShadow : public TEnabledClass {
public:
    using TEnabledClass::TEnabledClass;
    // Copies blur, colour and offsets; Alpha keeps its own value.
    void Assign(const TNotifyClass &source) override;

    TBlurStrength Blur() const { return blur_; }
    void SetBlur(TBlurStrength v);
    TAlpha Alpha() const { return alpha_; }
    void SetAlpha(TAlpha v);
    TColor Color() const { return color_; }
    void SetColor(TColor v);
    TOffset OffsetX() const { return offsetX_; }
    void SetOffsetX(TOffset v);
    TOffset OffsetY() const { return offsetY_; }
    void SetOffsetY(TOffset v);

private:
    friend class TAAEffect;
    TBlurStrength blur_ = 80;
    TAlpha alpha_ = 70;
    TColor color_ = 0x444444;
    TOffset offsetX_ = 2;
    TOffset offsetY_ = 2;
};

class TAAGradual : public TEnabledClass {
public:
    using TEnabledClass::TEnabledClass;
    void Assign(const TNotifyClass &source) override;

    TGradualStyle Style() const { return style_; }
    void SetStyle(TGradualStyle v);
    TColor StartColor() const { return startColor_; }
    void SetStartColor(TColor v);
    TColor EndColor() const { return endColor_; }
    void SetEndColor(TColor v);

private:
    friend class TAAEffect;
    TGradualStyle style_ = gsLeftToRight;
    TColor startColor_ = clWhite;
    TColor endColor_ = clBlack;
};

class TAATexture : public TEnabledClass {
public:
    explicit TAATexture(TNotifyEvent onChanged = {});
    void Assign(const TNotifyClass &source) override;

    TTextureMode Mode() const { return mode_; }
    void SetMode(TTextureMode v);
    const TAAPicture &Picture() const { return picture_; }
    TAAPicture &Picture() { return picture_; }
    // Copies the picture's contents into the owned picture.
    void SetPicture(const TAAPicture &picture) { picture_.Assign(picture); }

private:
    friend class TAAEffect;
    TTextureMode mode_ = tmTiled;
    TAAPicture picture_;
};

// The four operations an INI-style settings store offers.
class TAAIniStore {
public:
    virtual ~TAAIniStore() = default;
    virtual int ReadInteger(const QString &section, const QString &key, int defaultValue) = 0;
    virtual bool ReadBool(const QString &section, const QString &key, bool defaultValue) = 0;
    virtual void WriteInteger(const QString &section, const QString &key, int value) = 0;
    virtual void WriteBool(const QString &section, const QString &key, bool value) = 0;
};

// An INI file through QSettings. Booleans are written as 1 and 0.
class TAASettingsIniStore : public TAAIniStore {
public:
    explicit TAASettingsIniStore(const QString &fileName);
    int ReadInteger(const QString &section, const QString &key, int defaultValue) override;
    bool ReadBool(const QString &section, const QString &key, bool defaultValue) override;
    void WriteInteger(const QString &section, const QString &key, int value) override;
    void WriteBool(const QString &section, const QString &key, bool value) override;
    // Writes pending changes to the file; returns false when that failed.
    bool Sync();

private:
    QSettings settings_;
};

class TAAEffect : public TNotifyClass {
public:
    explicit TAAEffect(TNotifyEvent onChanged = {});
    ~TAAEffect() override;
    void Assign(const TNotifyClass &source) override;

    // Reads every key with the current value as default; stores the values
    // into their fields' widths without notifying (the owner re-renders).
    virtual void LoadFromIni(TAAIniStore &store, const QString &section);
    virtual void SaveToIni(TAAIniStore &store, const QString &section) const;

    TAAShadow &Shadow() { return *shadow_; }
    const TAAShadow &Shadow() const { return *shadow_; }
    void SetShadow(const TAAShadow &v);
    TAAGradual &Gradual() { return *gradual_; }
    const TAAGradual &Gradual() const { return *gradual_; }
    void SetGradual(const TAAGradual &v);
    TAATexture &Texture() { return *texture_; }
    const TAATexture &Texture() const { return *texture_; }
    void SetTexture(const TAATexture &v);

    TAlpha Alpha() const { return alpha_; }
    void SetAlpha(TAlpha v);
    TBlurStrength Blur() const { return blur_; }
    void SetBlur(TBlurStrength v);
    TAngle Angle() const { return angle_; }
    void SetAngle(TAngle v);
    quint8 Noise() const { return noise_; }
    void SetNoise(quint8 v);
    TSprayRange Spray() const { return spray_; }
    void SetSpray(TSprayRange v);
    bool Outline() const { return outline_; }
    void SetOutline(bool v);
    bool HorzMirror() const { return horzMirror_; }
    void SetHorzMirror(bool v);
    bool VertMirror() const { return vertMirror_; }
    void SetVertMirror(bool v);

private:
    std::unique_ptr<TAAShadow> shadow_;
    std::unique_ptr<TAAGradual> gradual_;
    std::unique_ptr<TAATexture> texture_;
    TAlpha alpha_ = 100;
    TBlurStrength blur_ = 0;
    TAngle angle_ = 0;
    quint8 noise_ = 0;
    TSprayRange spray_ = 0;
    bool outline_ = false;
    bool horzMirror_ = false;
    bool vertMirror_ = false;
};

} // namespace aatext
