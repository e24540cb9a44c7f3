// Rendering the effect lettering: the About dialog's title label (29 px 楷体
// with a blurred shadow; the goal is well under 20 ms per render) and, for
// comparison, a label with every fill effect on.
//
//     QT_QPA_PLATFORM=offscreen bench/aatext_bench

#include <QApplication>

#include <benchmark/benchmark.h>

#include "controls/aatext/aalabel.h"
#include "controls/fonts.h"
#include "dialogs/about.h"

namespace {

void BM_AboutTitleRender(benchmark::State &state)
{
    TAboutDlg dialog;
    for (auto _ : state) {
        dialog.AALabel1->Changed();  // one full render into the label's buffer
        benchmark::DoNotOptimize(dialog.AALabel1->Buffer().constBits());
    }
}
BENCHMARK(BM_AboutTitleRender)->Unit(benchmark::kMillisecond);

void BM_AllEffectsRender(benchmark::State &state)
{
    aatext::TAALabel label;
    QFont font(QStringLiteral("楷体_GB2312"));
    font.setPixelSize(29);
    label.SetFont(font);
    label.SetCaption(QStringLiteral("FalorenGIF动画分解器"));
    aatext::TAAEffect &e = label.Effect().FontEffect();
    e.Shadow().SetEnabled(true);
    e.Gradual().SetEnabled(true);
    e.SetNoise(30);
    e.SetBlur(20);
    e.SetAngle(15);
    label.Effect().SetQuality(aatext::aqHigh);
    label.Loaded();
    for (auto _ : state) {
        label.Changed();
        benchmark::DoNotOptimize(label.Buffer().constBits());
    }
}
BENCHMARK(BM_AllEffectsRender)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    installFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
