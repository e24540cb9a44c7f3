#include "dialogs/animatedlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <new>
#include <utility>

#include "controls/seams.h"
#include "dialogs/exportwords.h"
#include "imaging/engine/jobrunner.h"

namespace {

// The worker reports progress at most this often, in milliseconds.
constexpr int ProgressReportMs = 30;

QString suffixOf(engine::AnimationFormat format)
{
    switch (format) {
    case engine::AnimationFormat::Gif: return QStringLiteral("gif");
    case engine::AnimationFormat::Webp: return QStringLiteral("webp");
    case engine::AnimationFormat::Apng: break;
    }
    return QStringLiteral("png");
}

QString filterOf(engine::AnimationFormat format)
{
    switch (format) {
    case engine::AnimationFormat::Gif: return QStringLiteral("GIF 动画 (*.gif)");
    case engine::AnimationFormat::Webp: return QStringLiteral("WebP 动画 (*.webp)");
    case engine::AnimationFormat::Apng: break;
    }
    return QStringLiteral("APNG 动画 (*.png *.apng)");
}

// `path` with the suffix of `format`, unless it already has one that format takes.
QString withSuffix(const QString &path, engine::AnimationFormat format)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix().toLower();
    if (suffix == suffixOf(format)
        || (format == engine::AnimationFormat::Apng && suffix == QLatin1String("apng")))
        return path;
    const bool known = suffix == QLatin1String("gif") || suffix == QLatin1String("webp")
                       || suffix == QLatin1String("png") || suffix == QLatin1String("apng");
    const QString base = known ? path.left(path.size() - suffix.size() - 1) : path;
    return base + QLatin1Char('.') + suffixOf(format);
}

} // namespace

TAnimateDlg::TAnimateDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AnimateDlg"));
    setWindowTitle(QStringLiteral("导出为动画"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);

    FormatBox = new QComboBox(this);
    // In the order of engine::AnimationFormat's entries as listed here.
    FormatBox->addItems({QStringLiteral("GIF"), QStringLiteral("WebP"), QStringLiteral("APNG")});
    OrderBox = new QComboBox(this);
    OrderBox->addItems({QStringLiteral("正常"), QStringLiteral("倒放"), QStringLiteral("往返")});
    SpeedBox = new QDoubleSpinBox(this);
    SpeedBox->setRange(MinSpeed, MaxSpeed);
    SpeedBox->setSingleStep(0.1);
    SpeedBox->setDecimals(2);
    SpeedBox->setValue(1.0);
    SpeedBox->setSuffix(QStringLiteral(" 倍"));
    LoopBox = new QSpinBox(this);
    LoopBox->setRange(-1, 65535);
    LoopBox->setValue(-1);
    LoopBox->setSpecialValueText(QStringLiteral("与原图相同"));
    LoopBox->setToolTip(QStringLiteral("播放次数, 0 为无限循环"));
    PathEdit = new QLineEdit(this);
    PathEdit->setMinimumWidth(280);
    BrowseButton = new QPushButton(QStringLiteral("浏览..."), this);
    RunButton = new QPushButton(QStringLiteral("导出"), this);
    RunButton->setDefault(true);
    CloseButton = new QPushButton(QStringLiteral("关闭"), this);

    auto *file = new QHBoxLayout;
    file->addWidget(PathEdit, 1);
    file->addWidget(BrowseButton);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("格式:"), FormatBox);
    form->addRow(QStringLiteral("顺序:"), OrderBox);
    form->addRow(QStringLiteral("速度:"), SpeedBox);
    form->addRow(QStringLiteral("播放次数:"), LoopBox);
    form->addRow(QStringLiteral("保存为:"), file);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(RunButton);
    buttons->addWidget(CloseButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    const std::pair<QWidget *, const char *> names[] = {
        {FormatBox, "FormatBox"}, {OrderBox, "OrderBox"},         {SpeedBox, "SpeedBox"},
        {LoopBox, "LoopBox"},     {PathEdit, "PathEdit"},         {BrowseButton, "BrowseButton"},
        {RunButton, "RunButton"}, {CloseButton, "CloseButton"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QLatin1String(name));

    connect(FormatBox, &QComboBox::currentIndexChanged, this, &TAnimateDlg::formatChanged);
    connect(BrowseButton, &QPushButton::clicked, this, &TAnimateDlg::browse);
    connect(RunButton, &QPushButton::clicked, this, &TAnimateDlg::runClick);
    connect(CloseButton, &QPushButton::clicked, this, &TAnimateDlg::reject);
}

TAnimateDlg::~TAnimateDlg()
{
    // The run's job reports to this dialog: let it stop and end first.
    m_runs.cancel();
    if (m_runner)
        m_runner->waitForRunning();
}

void TAnimateDlg::setJobRunner(JobRunner *runner)
{
    m_runner = runner;
}

void TAnimateDlg::setSource(const QString &path, std::vector<std::uint32_t> frames,
                            int frameCount)
{
    const bool newSource = path != m_source;
    m_source = path;
    m_frames = std::move(frames);
    m_frameCount = frameCount;
    const QFileInfo info(path);
    // A new picture suggests a file beside it; the same one keeps the last choice.
    if ((newSource || PathEdit->text().isEmpty()) && !path.isEmpty())
        PathEdit->setText(withSuffix(info.dir().filePath(info.completeBaseName()
                                                         + QStringLiteral("-动画")),
                                     format()));
}

engine::AnimationFormat TAnimateDlg::format() const
{
    switch (FormatBox->currentIndex()) {
    case 1: return engine::AnimationFormat::Webp;
    case 2: return engine::AnimationFormat::Apng;
    default: return engine::AnimationFormat::Gif;
    }
}

void TAnimateDlg::formatChanged()
{
    if (!PathEdit->text().isEmpty())
        PathEdit->setText(withSuffix(PathEdit->text(), format()));
}

bool TAnimateDlg::browse()
{
    const QString chosen = seams::saveFilePicker().pickSaveFile(
        this, QStringLiteral("导出为动画"), PathEdit->text(), filterOf(format()));
    if (chosen.isEmpty())
        return false;
    PathEdit->setText(withSuffix(chosen, format()));
    return true;
}

void TAnimateDlg::runClick()
{
    if (m_running || m_source.isEmpty())
        return;
    if (PathEdit->text().trimmed().isEmpty() && !browse())
        return;

    AnimateRequest request;
    request.target = withSuffix(PathEdit->text().trimmed(), format());
    request.format = format();
    request.frames = m_frames;
    request.order = OrderBox->currentIndex() == 1   ? FrameOrder::Reverse
                    : OrderBox->currentIndex() == 2 ? FrameOrder::PingPong
                                                    : FrameOrder::Forward;
    request.speed = SpeedBox->value();
    request.plays = LoopBox->value();
    m_target = request.target;

    if (!m_runner) {
        m_ownRunner = std::make_unique<PoolJobRunner>(1);
        m_runner = m_ownRunner.get();
    }
    const Request run = m_runs.next();
    m_running = true;
    setControlsEnabled(false);
    setCursor(Qt::BusyCursor);
    if (!m_progress) {
        m_progress = new TRunProgress(this, QStringLiteral("AnimateProgress"), QStringLiteral("导出为动画"), QStringLiteral("正在写入第%1帧, 共%2帧"));
        connect(m_progress, &TRunProgress::cancelRequested, this, &TAnimateDlg::cancelRun);
    }
    const std::vector<std::uint32_t> chosen = framesOrAll(m_frames, std::uint32_t(std::max(m_frameCount, 0)));
    m_progress->setProgress(0, int(playOrder(chosen, request.order).size()));
    m_progress->showAfter(ProgressDelayMs);

    // The job posts to `dialog`, which waits for its jobs before it goes;
    // `self` is looked at only where the results arrive, never in the job.
    TAnimateDlg *dialog = this;
    QPointer<TAnimateDlg> self(this);
    const QString source = m_source;
    m_runner->start([dialog, self, source, request, run]() mutable {
        auto last = std::chrono::steady_clock::now() - std::chrono::seconds(1);
        request.cancel = run.cancelled.get();
        request.progress = [&](std::uint32_t done, std::uint32_t total) {
            const auto now = std::chrono::steady_clock::now();
            if (done < total && now - last < std::chrono::milliseconds(ProgressReportMs))
                return;
            last = now;
            postTo(dialog, [self, run, done, total] {
                if (self)
                    self->runProgressed(run.number, int(done), int(total));
            });
        };
        AnimateResult result;
        bool loaded = true, outOfMemory = false;
        try {
            engine::Status status = engine::Ok;
            std::unique_ptr<engine::Image> image = engine::Image::load(source, &status);
            if (!image)
                loaded = false;
            else if (run.isCancelled())
                result.cancelled = true;
            else
                result = animate(*image, isGifFile(source), request);
        } catch (const std::bad_alloc &) {
            outOfMemory = true;
        }
        postTo(dialog, [self, run, result, loaded, outOfMemory] {
            if (self)
                self->runDone(run.number, result, loaded, outOfMemory);
        });
    });
}

void TAnimateDlg::runProgressed(int number, int done, int total)
{
    if (number == m_runs.current().number && m_running && m_progress)
        m_progress->setProgress(done, total);
}

void TAnimateDlg::runDone(int number, const AnimateResult &result, bool loaded, bool outOfMemory)
{
    if (number != m_runs.current().number || !m_running)
        return;
    m_running = false;
    if (m_progress)
        m_progress->end();
    unsetCursor();
    setControlsEnabled(true);
    bool written = false;
    if (outOfMemory) {
        seams::showError(this, QStringLiteral("内存不足, 未能写入动画。"));
    } else if (!loaded) {
        seams::showError(this, QStringLiteral("无法读取图片:\n%1").arg(m_source));
    } else if (result.cancelled) {
        // Nothing was written; the user asked for that.
    } else if (result.cause != engine::Cause::None) {
        ExportFailure failure;
        failure.path = m_target;
        failure.cause = result.cause;
        failure.reading = result.failedFrame >= 0;
        seams::showError(this, QStringLiteral("未能写入动画:\n%1\n%2")
                                   .arg(m_target, exportFailureReason(failure)));
    } else {
        written = true;
    }
    emit runFinished(written);
    if (written)
        accept();
}

void TAnimateDlg::cancelRun()
{
    if (m_running)
        m_runs.cancel();
}

void TAnimateDlg::setControlsEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{FormatBox, OrderBox, SpeedBox, LoopBox,
                                                       PathEdit, BrowseButton, RunButton,
                                                       CloseButton})
        w->setEnabled(enabled);
}

void TAnimateDlg::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TAnimateDlg::reject()
{
    // While a run writes, the progress window's "取消" is the way out.
    if (m_running)
        return;
    QDialog::reject();
}
