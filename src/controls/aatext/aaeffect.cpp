#include "controls/aatext/aaeffect.h"

namespace aatext {

namespace {

template <typename T>
bool Store(T &field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

void TAAPicture::SetGraphic(const QImage &graphic)
{
    graphic_ = graphic;
    if (OnChange)
        OnChange();
}

// ------------------------------------------------------------ TNotifyClass

void TNotifyClass::Assign(const TNotifyClass &) {}

void TNotifyClass::Changed()
{
    if (OnChanged)
        OnChanged(this);
}

void TNotifyClass::ChildChanged(TNotifyClass *)
{
    Changed();
}

// ----------------------------------------------------------- TEnabledClass

void TEnabledClass::Assign(const TNotifyClass &source)
{
    TNotifyClass::Assign(source);
    if (auto *s = dynamic_cast<const TEnabledClass *>(&source))
        enabled_ = s->enabled_;
}

void TEnabledClass::Changed()
{
    if (enabled_)
        TNotifyClass::Changed();
}

void TEnabledClass::SetEnabled(bool value)
{
    if (enabled_ == value)
        return;
    enabled_ = value;
    if (OnChanged)
        OnChanged(this);
}

// --------------------------------------------------------------- TAAShadow

void TAAShadow::Assign(const TNotifyClass &source)
{
    TEnabledClass::Assign(source);
    if (auto *s = dynamic_cast<const TAAShadow *>(&source)) {
        blur_ = s->blur_;
        color_ = s->color_;
        offsetX_ = s->offsetX_;
        offsetY_ = s->offsetY_;
    }
}

void TAAShadow::SetBlur(TBlurStrength v) { if (Store(blur_, v)) Changed(); }
void TAAShadow::SetAlpha(TAlpha v) { if (Store(alpha_, v)) Changed(); }
void TAAShadow::SetColor(TColor v) { if (Store(color_, v)) Changed(); }
void TAAShadow::SetOffsetX(TOffset v) { if (Store(offsetX_, v)) Changed(); }
void TAAShadow::SetOffsetY(TOffset v) { if (Store(offsetY_, v)) Changed(); }

// -------------------------------------------------------------- TAAGradual

void TAAGradual::Assign(const TNotifyClass &source)
{
    TEnabledClass::Assign(source);
    if (auto *s = dynamic_cast<const TAAGradual *>(&source)) {
        style_ = s->style_;
        startColor_ = s->startColor_;
        endColor_ = s->endColor_;
    }
}

void TAAGradual::SetStyle(TGradualStyle v) { if (Store(style_, v)) Changed(); }
void TAAGradual::SetStartColor(TColor v) { if (Store(startColor_, v)) Changed(); }
void TAAGradual::SetEndColor(TColor v) { if (Store(endColor_, v)) Changed(); }

// -------------------------------------------------------------- TAATexture

TAATexture::TAATexture(TNotifyEvent onChanged) : TEnabledClass(std::move(onChanged))
{
    picture_.OnChange = [this] { Changed(); };
}

void TAATexture::Assign(const TNotifyClass &source)
{
    TEnabledClass::Assign(source);
    if (auto *s = dynamic_cast<const TAATexture *>(&source)) {
        mode_ = s->mode_;
        picture_.Assign(s->picture_);
    }
}

void TAATexture::SetMode(TTextureMode v) { if (Store(mode_, v)) Changed(); }

// ------------------------------------------------------- TAASettingsIniStore

TAASettingsIniStore::TAASettingsIniStore(const QString &fileName)
    : settings_(fileName, QSettings::IniFormat)
{
}

int TAASettingsIniStore::ReadInteger(const QString &section, const QString &key, int defaultValue)
{
    bool ok = false;
    const int v = settings_.value(section + QLatin1Char('/') + key).toString().trimmed().toInt(&ok);
    return ok ? v : defaultValue;
}

bool TAASettingsIniStore::ReadBool(const QString &section, const QString &key, bool defaultValue)
{
    const QString text = settings_.value(section + QLatin1Char('/') + key).toString().trimmed();
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok ? v != 0 : defaultValue;
}

void TAASettingsIniStore::WriteInteger(const QString &section, const QString &key, int value)
{
    settings_.setValue(section + QLatin1Char('/') + key, QString::number(value));
}

void TAASettingsIniStore::WriteBool(const QString &section, const QString &key, bool value)
{
    settings_.setValue(section + QLatin1Char('/') + key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TAASettingsIniStore::Sync()
{
    settings_.sync();
    return settings_.status() == QSettings::NoError;
}

// --------------------------------------------------------------- TAAEffect

TAAEffect::TAAEffect(TNotifyEvent onChanged) : TNotifyClass(std::move(onChanged))
{
    auto child = [this](TNotifyClass *sender) { ChildChanged(sender); };
    shadow_ = std::make_unique<TAAShadow>(child);
    gradual_ = std::make_unique<TAAGradual>(child);
    texture_ = std::make_unique<TAATexture>(child);
}

TAAEffect::~TAAEffect() = default;

void TAAEffect::Assign(const TNotifyClass &source)
{
    TNotifyClass::Assign(source);
    auto *s = dynamic_cast<const TAAEffect *>(&source);
    if (!s || s == this)
        return;
    alpha_ = s->alpha_;
    blur_ = s->blur_;
    noise_ = s->noise_;
    outline_ = s->outline_;
    horzMirror_ = s->horzMirror_;
    vertMirror_ = s->vertMirror_;
    spray_ = s->spray_;
    angle_ = s->angle_;
    shadow_->Assign(*s->shadow_);
    gradual_->Assign(*s->gradual_);
    texture_->Assign(*s->texture_);
}

void TAAEffect::SetShadow(const TAAShadow &v) { shadow_->Assign(v); Changed(); }
void TAAEffect::SetGradual(const TAAGradual &v) { gradual_->Assign(v); Changed(); }
void TAAEffect::SetTexture(const TAATexture &v) { texture_->Assign(v); Changed(); }

void TAAEffect::SetAlpha(TAlpha v) { if (Store(alpha_, v)) Changed(); }
void TAAEffect::SetBlur(TBlurStrength v) { if (Store(blur_, v)) Changed(); }
void TAAEffect::SetAngle(TAngle v) { if (Store(angle_, v)) Changed(); }
void TAAEffect::SetNoise(quint8 v) { if (Store(noise_, v)) Changed(); }
void TAAEffect::SetSpray(TSprayRange v) { if (Store(spray_, v)) Changed(); }
void TAAEffect::SetOutline(bool v) { if (Store(outline_, v)) Changed(); }
void TAAEffect::SetHorzMirror(bool v) { if (Store(horzMirror_, v)) Changed(); }
void TAAEffect::SetVertMirror(bool v) { if (Store(vertMirror_, v)) Changed(); }

void TAAEffect::SaveToIni(TAAIniStore &store, const QString &section) const
{
    store.WriteInteger(section, QStringLiteral("Alpha"), alpha_);
    store.WriteInteger(section, QStringLiteral("Blur"), blur_);
    store.WriteInteger(section, QStringLiteral("Noise"), noise_);
    store.WriteInteger(section, QStringLiteral("Spray"), spray_);
    store.WriteInteger(section, QStringLiteral("Angle"), angle_);
    store.WriteBool(section, QStringLiteral("Outline"), outline_);
    store.WriteBool(section, QStringLiteral("HorzMirror"), horzMirror_);
    store.WriteBool(section, QStringLiteral("VertMirror"), vertMirror_);
    store.WriteBool(section, QStringLiteral("Shadow"), shadow_->enabled_);
    store.WriteInteger(section, QStringLiteral("ShadowAlpha"), shadow_->alpha_);
    store.WriteInteger(section, QStringLiteral("ShadowBlur"), shadow_->blur_);
    store.WriteInteger(section, QStringLiteral("ShadowColor"), int(shadow_->color_));
    store.WriteInteger(section, QStringLiteral("ShadowOffsetX"), shadow_->offsetX_);
    store.WriteInteger(section, QStringLiteral("ShadowOffsetY"), shadow_->offsetY_);
    store.WriteBool(section, QStringLiteral("Gradual"), gradual_->enabled_);
    store.WriteInteger(section, QStringLiteral("GradualStartColor"), int(gradual_->startColor_));
    store.WriteInteger(section, QStringLiteral("GradualEndColor"), int(gradual_->endColor_));
    store.WriteInteger(section, QStringLiteral("GradualStyle"), gradual_->style_);
    store.WriteBool(section, QStringLiteral("Texture"), texture_->enabled_);
    store.WriteInteger(section, QStringLiteral("TextureMode"), texture_->mode_);
}

void TAAEffect::LoadFromIni(TAAIniStore &store, const QString &section)
{
    // Values go into their fields' widths unchecked (300 in a byte is 44);
    // only the two enumerations fall back to their first value.
    auto readInt = [&](const char *key, int current) {
        return store.ReadInteger(section, QString::fromLatin1(key), current);
    };
    auto readBool = [&](const char *key, bool current) {
        return store.ReadBool(section, QString::fromLatin1(key), current);
    };
    alpha_ = quint8(readInt("Alpha", alpha_));
    blur_ = quint8(readInt("Blur", blur_));
    noise_ = quint8(readInt("Noise", noise_));
    spray_ = quint8(readInt("Spray", spray_));
    angle_ = qint16(quint16(readInt("Angle", angle_)));
    outline_ = readBool("Outline", outline_);
    horzMirror_ = readBool("HorzMirror", horzMirror_);
    vertMirror_ = readBool("VertMirror", vertMirror_);
    shadow_->enabled_ = readBool("Shadow", shadow_->enabled_);
    shadow_->alpha_ = quint8(readInt("ShadowAlpha", shadow_->alpha_));
    shadow_->blur_ = quint8(readInt("ShadowBlur", shadow_->blur_));
    shadow_->color_ = TColor(readInt("ShadowColor", int(shadow_->color_)));
    shadow_->offsetX_ = qint8(quint8(readInt("ShadowOffsetX", shadow_->offsetX_)));
    shadow_->offsetY_ = qint8(quint8(readInt("ShadowOffsetY", shadow_->offsetY_)));
    gradual_->enabled_ = readBool("Gradual", gradual_->enabled_);
    gradual_->startColor_ = TColor(readInt("GradualStartColor", int(gradual_->startColor_)));
    gradual_->endColor_ = TColor(readInt("GradualEndColor", int(gradual_->endColor_)));
    const quint8 style = quint8(readInt("GradualStyle", gradual_->style_));
    gradual_->style_ = style > gsCenterToTB ? gsLeftToRight : TGradualStyle(style);
    texture_->enabled_ = readBool("Texture", texture_->enabled_);
    const quint8 mode = quint8(readInt("TextureMode", texture_->mode_));
    texture_->mode_ = mode > tmNormal ? tmTiled : TTextureMode(mode);
}

} // namespace aatext
