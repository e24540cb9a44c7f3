// sample: writes a small animated GIF with the engine's own encoder, so the
// front end can be shown without any input of the user's.

#include <QPainter>

#include <cstdint>
#include <vector>

#include "cli.h"
#include "imaging/engine/encoders.h"

namespace cli {

int sampleCommand(const QStringList &args)
{
    if (args.size() != 1 || args.front().startsWith(QLatin1String("--")))
        return usageError(QStringLiteral("sample takes exactly one output file"));
    const QString path = args.front();

    // A ball bouncing across a see-through background under a striped bar;
    // each frame has its own delay.
    const int w = 96;
    const int h = 64;
    const QColor colours[] = {QColor(220, 40, 40), QColor(240, 170, 20), QColor(40, 160, 70),
                              QColor(40, 90, 220), QColor(150, 60, 200), QColor(20, 170, 190)};
    std::vector<QImage> frames;
    std::vector<std::uint32_t> delays;
    const int count = 6;
    for (int i = 0; i < count; ++i) {
        QImage frame(w, h, QImage::Format_ARGB32);
        frame.fill(Qt::transparent);
        QPainter p(&frame);
        for (int s = 0; s < 6; ++s)
            p.fillRect(s * 16, 0, 16, 10, colours[(s + i) % 6]);
        p.setPen(Qt::NoPen);
        p.setBrush(colours[i % 6]);
        const int x = 8 + i * 14;
        const int y = 18 + (i % 2 ? 20 : 6);
        p.drawEllipse(x, y, 22, 22);
        p.fillRect(0, h - 4, w, 4, QColor(60, 60, 60));
        p.end();
        frames.push_back(frame);
        delays.push_back(std::uint32_t(10 + 10 * (i % 3))); // 100, 200, 300 ms
    }
    const engine::Status s = engine::saveAnimatedGif(frames, delays, 0, path);
    if (s != engine::Ok) {
        printError(QStringLiteral("%1: cannot write the sample: %2").arg(path, statusText(s)));
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace cli
