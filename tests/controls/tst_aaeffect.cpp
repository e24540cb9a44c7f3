// Text effect settings: change events, copying, and the INI store.
#include "controls/aatext/aaeffect.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace aatext;

namespace {

// Records the keys in the order they are written.
class MemoryStore : public TAAIniStore {
public:
    QStringList order;
    QMap<QString, int> values;
    int ReadInteger(const QString &, const QString &key, int d) override { return values.value(key, d); }
    bool ReadBool(const QString &, const QString &key, bool d) override
    {
        return values.contains(key) ? values[key] != 0 : d;
    }
    void WriteInteger(const QString &, const QString &key, int v) override
    {
        order << key;
        values[key] = v;
    }
    void WriteBool(const QString &s, const QString &key, bool v) override { WriteInteger(s, key, v ? 1 : 0); }
};

QMap<QString, int> Saved(const TAAEffect &e)
{
    MemoryStore store;
    e.SaveToIni(store, QStringLiteral("S"));
    return store.values;
}

void SetNonDefaults(TAAEffect &e)
{
    e.SetAlpha(55);
    e.SetBlur(12);
    e.SetNoise(200);
    e.SetSpray(7);
    e.SetAngle(-90);
    e.SetOutline(true);
    e.SetHorzMirror(true);
    e.SetVertMirror(true);
    e.Shadow().SetEnabled(true);
    e.Shadow().SetAlpha(33);
    e.Shadow().SetBlur(0);
    e.Shadow().SetColor(RGBColor(1, 2, 3));
    e.Shadow().SetOffsetX(-3);
    e.Shadow().SetOffsetY(-20);
    e.Gradual().SetEnabled(true);
    e.Gradual().SetStartColor(clSilver);
    e.Gradual().SetEndColor(RGBColor(9, 8, 7));
    e.Gradual().SetStyle(gsCenterToTB);
    e.Texture().SetEnabled(true);
    e.Texture().SetMode(tmNormal);
}

} // namespace

class TestAAEffect : public QObject {
    Q_OBJECT
private slots:
    void defaults()
    {
        TAAEffect e;
        QCOMPARE(int(e.Alpha()), 100);
        QCOMPARE(int(e.Blur()), 0);
        QCOMPARE(int(e.Angle()), 0);
        QVERIFY(!e.Shadow().Enabled());
        QCOMPARE(int(e.Shadow().Blur()), 80);
        QCOMPARE(int(e.Shadow().Alpha()), 70);
        QCOMPARE(e.Shadow().Color(), TColor(4473924));
        QCOMPARE(int(e.Shadow().OffsetX()), 2);
        QCOMPARE(int(e.Shadow().OffsetY()), 2);
        QCOMPARE(e.Gradual().StartColor(), TColor(16777215));
        QCOMPARE(e.Gradual().EndColor(), TColor(0));
        QCOMPARE(e.Gradual().Style(), gsLeftToRight);
        QCOMPARE(e.Texture().Mode(), tmTiled);
        QVERIFY(e.Texture().Picture().Empty());
    }

    void events_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("events");
        QTest::newRow("alpha to its own value") << 0 << 0;
        QTest::newRow("alpha changed") << 1 << 1;
        QTest::newRow("disabled shadow colour") << 2 << 0;
        QTest::newRow("shadow switched on") << 3 << 1;
        QTest::newRow("shadow switched on and off") << 4 << 2;
        QTest::newRow("enabled shadow colour") << 5 << 2;
        QTest::newRow("disabled gradual style") << 6 << 0;
        QTest::newRow("disabled texture picture") << 7 << 0;
        QTest::newRow("enabled texture picture") << 8 << 2;
        QTest::newRow("SetShadow always notifies") << 9 << 1;
        QTest::newRow("assign notifies nobody") << 10 << 0;
        QTest::newRow("outline on and same again") << 11 << 1;
        // Only the texture's picture copy reports, and only once the texture is on.
        QTest::newRow("assign with texture on") << 12 << 1;
    }
    void events()
    {
        QFETCH(int, which);
        QFETCH(int, events);
        int count = 0;
        TNotifyClass *lastSender = nullptr;
        TAAEffect e([&](TNotifyClass *s) {
            ++count;
            lastSender = s;
        });
        QImage pic(4, 4, QImage::Format_RGB32);
        pic.fill(Qt::red);
        TAAPicture picture;
        picture.SetGraphic(pic);
        switch (which) {
        case 0: e.SetAlpha(100); break;
        case 1: e.SetAlpha(99); break;
        case 2: e.Shadow().SetColor(clWhite); break;
        case 3: e.Shadow().SetEnabled(true); break;
        case 4: e.Shadow().SetEnabled(true); e.Shadow().SetEnabled(false); break;
        case 5: e.Shadow().SetEnabled(true); e.Shadow().SetColor(clWhite); e.Shadow().SetColor(clWhite); break;
        case 6: e.Gradual().SetStyle(gsBottomToTop); break;
        case 7: e.Texture().SetPicture(picture); break;
        case 8: e.Texture().SetEnabled(true); e.Texture().SetPicture(picture); break;
        case 9: e.SetShadow(TAAShadow()); break;
        case 10:
        case 12: {
            TAAEffect other;
            SetNonDefaults(other);
            other.Texture().SetEnabled(which == 12);
            e.Assign(other);
            break;
        }
        case 11: e.SetOutline(true); e.SetOutline(true); break;
        }
        QCOMPARE(count, events);
        if (count)
            QCOMPARE(lastSender, static_cast<TNotifyClass *>(&e));
    }

    void shadowAssignKeepsAlpha()
    {
        TAAShadow a, b;
        a.SetEnabled(true);
        a.SetBlur(5);
        a.SetAlpha(10);
        a.SetColor(RGBColor(1, 2, 3));
        a.SetOffsetX(-4);
        a.SetOffsetY(6);
        b.SetAlpha(90);
        b.Assign(a);
        QVERIFY(b.Enabled());
        QCOMPARE(int(b.Blur()), 5);
        QCOMPARE(b.Color(), RGBColor(1, 2, 3));
        QCOMPARE(int(b.OffsetX()), -4);
        QCOMPARE(int(b.OffsetY()), 6);
        QCOMPARE(int(b.Alpha()), 90);

        // From another sub-effect only the switch is common.
        TAAGradual g;
        g.SetEnabled(false);
        b.Assign(g);
        QVERIFY(!b.Enabled());
        QCOMPARE(int(b.Blur()), 5);
    }

    void effectAssignCopiesAllButShadowAlpha()
    {
        TAAEffect a, b;
        SetNonDefaults(a);
        QImage pic(3, 5, QImage::Format_RGB32);
        pic.fill(Qt::blue);
        a.Texture().Picture().SetGraphic(pic);
        b.Assign(a);
        auto expected = Saved(a);
        expected[QStringLiteral("ShadowAlpha")] = 70;
        QCOMPARE(Saved(b), expected);
        QCOMPARE(b.Texture().Picture().Graphic(), pic);
    }

    void iniKeysInOrder()
    {
        TAAEffect e;
        MemoryStore store;
        e.SaveToIni(store, QStringLiteral("S"));
        QCOMPARE(store.order,
                 (QStringList{"Alpha", "Blur", "Noise", "Spray", "Angle", "Outline", "HorzMirror",
                              "VertMirror", "Shadow", "ShadowAlpha", "ShadowBlur", "ShadowColor",
                              "ShadowOffsetX", "ShadowOffsetY", "Gradual", "GradualStartColor",
                              "GradualEndColor", "GradualStyle", "Texture", "TextureMode"}));
    }

    void iniRoundTrip()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("effect.ini"));
        TAAEffect a;
        SetNonDefaults(a);
        {
            TAASettingsIniStore store(file);
            a.SaveToIni(store, QStringLiteral("Title"));
            QVERIFY(store.Sync());
        }
        int events = 0;
        TAAEffect b([&](TNotifyClass *) { ++events; });
        TAASettingsIniStore store(file);
        b.LoadFromIni(store, QStringLiteral("Title"));
        QCOMPARE(Saved(b), Saved(a));
        QCOMPARE(int(b.Angle()), -90);
        QCOMPARE(int(b.Shadow().OffsetY()), -20);
        QCOMPARE(events, 0);

        // Another section of the same file leaves everything as it was.
        TAAEffect c;
        c.LoadFromIni(store, QStringLiteral("Missing"));
        QCOMPARE(Saved(c), Saved(TAAEffect()));
    }

    void iniLoadingRules_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("changedKey");
        QTest::addColumn<int>("expected");
        QTest::newRow("only Angle") << "Angle" << "45" << "Angle" << 45;
        QTest::newRow("Alpha 300 wraps") << "Alpha" << "300" << "Alpha" << 44;
        QTest::newRow("GradualStyle 9") << "GradualStyle" << "9" << "GradualStyle" << int(gsLeftToRight);
        QTest::newRow("GradualStyle 3") << "GradualStyle" << "3" << "GradualStyle" << int(gsBottomToTop);
        QTest::newRow("TextureMode 4") << "TextureMode" << "4" << "TextureMode" << int(tmTiled);
        QTest::newRow("ShadowOffsetX 255") << "ShadowOffsetX" << "255" << "ShadowOffsetX" << -1;
        QTest::newRow("Shadow boolean") << "Shadow" << "1" << "Shadow" << 1;
        QTest::newRow("not a number") << "Blur" << "abc" << "Blur" << 0;
    }
    void iniLoadingRules()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, changedKey);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("effect.ini"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral("[S]\n%1=%2\n").arg(key, value).toUtf8());
        }
        TAAEffect e;
        e.Gradual().SetStyle(gsCenterToLR);
        e.Texture().SetMode(tmCenter);
        auto expectedValues = Saved(e);
        expectedValues[changedKey] = expected;
        TAASettingsIniStore store(file);
        e.LoadFromIni(store, QStringLiteral("S"));
        QCOMPARE(Saved(e), expectedValues);
    }
};

QTEST_GUILESS_MAIN(TestAAEffect)
#include "tst_aaeffect.moc"
