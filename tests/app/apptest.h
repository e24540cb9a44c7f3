#pragma once
// Test doubles and fixtures for the main window: a job runner the test drives,
// message boxes and modal showings that record and can hold the scan like a
// real modal window, a private home, and a window rooted at a temporary folder.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>
#include <functional>
#include <memory>

#include "app/form1.h"
#include "common/gifwriter.h"
#include "common/manualrunner.h"
#include "controls/fonts.h"
#include "controls/seams.h"
#include "controls/shell/shelltreeview.h"
#include "imaging/gdiplus.h"

namespace apptest {

using fgtest::ManualRunner;

struct Box {
    QString text;
    QString caption;
    seams::MsgIcon icon;
    seams::MsgButtons buttons;
    QString checkText; // the check box's text, empty without one
};

// Records message boxes. While a box is "open" it counts as a modal window and
// lets events run, as a real one does, so scans can be tested against it.
class RecordingBoxes final : public seams::MessageBoxes {
public:
    seams::MsgResult show(QWidget *, const QString &text, const QString &caption,
                          seams::MsgIcon icon, seams::MsgButtons buttons) override
    {
        boxes.push_back({text, caption, icon, buttons, {}});
        seams::ModalScope scope;
        ++open;
        maxOpen = std::max(maxOpen, open);
        if (whileOpen)
            whileOpen();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        --open;
        return answer;
    }
    seams::MsgResult showWithCheckBox(QWidget *owner, const QString &text, const QString &caption,
                                      seams::MsgIcon icon, const QString &checkText,
                                      bool *checked) override
    {
        const seams::MsgResult r = show(owner, text, caption, icon, seams::MsgButtons::Ok);
        boxes.back().checkText = checkText;
        *checked = checkAnswer;
        return r;
    }
    std::vector<Box> boxes;
    seams::MsgResult answer = seams::MsgResult::Ok;
    bool checkAnswer = false; // whether the user ticks the check box
    std::function<void()> whileOpen;
    int open = 0;
    int maxOpen = 0;
};

// Records modal showings; `whileOpen` runs while the dialog counts as open.
class RecordingModal final : public seams::ModalRunner {
public:
    int exec(QDialog *dialog) override
    {
        shown.push_back(dialog);
        seams::ModalScope scope;
        if (whileOpen)
            whileOpen(dialog);
        return 0;
    }
    std::vector<QDialog *> shown;
    std::function<void(QDialog *)> whileOpen;
};

// Installs the doubles for one test and restores the real seams afterwards.
struct Seams {
    RecordingBoxes boxes;
    RecordingModal modal;
    Seams()
    {
        seams::setMessageBoxes(&boxes);
        seams::setModalRunner(&modal);
    }
    ~Seams()
    {
        seams::setMessageBoxes(nullptr);
        seams::setModalRunner(nullptr);
    }
    Seams(const Seams &) = delete;
    Seams &operator=(const Seams &) = delete;
};

// Once per test binary: a private home (the tree's desktop lies there), fonts,
// the Fusion style and the imaging engine.
inline void initApp()
{
    static QTemporaryDir home;
    QDir().mkpath(home.path() + QStringLiteral("/Desktop"));
    QDir().mkpath(home.path() + QStringLiteral("/.local/share"));
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/.local/share")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    QApplication::setStyle(QStringLiteral("Fusion"));
    installFontSubstitutions();
    StartImaging();
}

// A window whose tree is rooted at `root`, with a runner the test drives. The
// first scan (of `root`) has listed its items; its jobs wait in the runner.
// Folders are read in place by default and their answers have arrived when the
// constructor returns; `folderRunner->immediate` false queues later readings.
struct Window {
    ManualRunner *runner = nullptr;
    std::unique_ptr<TForm1> form;

    ManualRunner *inspectionRunner = nullptr;
    ManualRunner *folderRunner = nullptr;

    // The inspection's jobs run in place by default, so an inspection completes
    // within the selection, as a synchronous one would; `inspectionInPlace`
    // false queues them in `inspectionRunner` for the test to run.
    explicit Window(const QString &root, bool immediate = false, bool inspectionInPlace = true)
    {
        auto r = std::make_unique<ManualRunner>();
        r->immediate = immediate;
        runner = r.get();
        auto ir = std::make_unique<ManualRunner>();
        ir->immediate = inspectionInPlace;
        inspectionRunner = ir.get();
        TForm1::Options options;
        options.treeRoot = root;
        options.runner = std::move(r);
        options.inspectionRunner = std::move(ir);
        auto fr = std::make_unique<ManualRunner>();
        fr->immediate = true;
        folderRunner = fr.get();
        options.folderRunner = std::move(fr);
        form = std::make_unique<TForm1>(std::move(options));
        form->CreateDialogs();
        waitForFolders();
    }

    // Runs the folder readings and lets their answers arrive.
    bool waitForFolders(int timeoutMs = 5000)
    {
        QElapsedTimer t;
        t.start();
        do {
            folderRunner->runAll();
            QCoreApplication::processEvents();
        } while ((form->isListing() || form->ShellTreeView1->isReading()) && t.elapsed() < timeoutMs);
        return !form->isListing() && !form->ShellTreeView1->isReading();
    }
    TForm1 *operator->() const { return form.get(); }

    // Runs every job and lets the driver apply the results until the scan ends.
    bool finishScan(int timeoutMs = 5000)
    {
        QElapsedTimer t;
        t.start();
        while ((form->Scanning || form->isListing()) && t.elapsed() < timeoutMs) {
            folderRunner->runAll();
            runner->runAll();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return !form->Scanning && !form->isListing();
    }
};

// A one-colour GIF of w × h with the given frame delays (hundredths of a second).
inline bool writeSolidGif(const QString &path, int w, int h, std::vector<int> delays = {10},
                          fgtest::GifRgb color = {255, 0, 0})
{
    fgtest::GifSpec spec;
    spec.width = w;
    spec.height = h;
    spec.globalPalette = {{0, 0, 0}, color};
    for (int d : delays) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(w * h, 1);
        f.delay = d;
        spec.frames.push_back(f);
    }
    return fgtest::writeGif(path, spec);
}

inline bool writeText(const QString &path, const QByteArray &bytes)
{
    return fgtest::writeBytes(path, bytes);
}

// Selects the tree node below the root whose text is `name`.
inline bool selectTreeFolder(TForm1 *form, const QString &name)
{
    QTreeWidget *tree = form->ShellTreeView1;
    QTreeWidgetItem *root = tree->topLevelItem(0);
    if (!root)
        return false;
    root->setExpanded(true);
    // The root's children may still be on their way.
    QElapsedTimer t;
    t.start();
    while (form->ShellTreeView1->isReading() && t.elapsed() < 5000)
        QCoreApplication::processEvents();
    for (int i = 0; i < root->childCount(); ++i) {
        if (root->child(i)->text(0) == name) {
            tree->setCurrentItem(root->child(i));
            return true;
        }
    }
    return false;
}

} // namespace apptest
