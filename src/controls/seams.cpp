#include "controls/seams.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace seams {
namespace {

// The size of the main window's text.
constexpr int BoxFontPixels = 12;

class RealMessageBoxes final : public MessageBoxes {
public:
    MsgResult show(QWidget *owner, const QString &text, const QString &caption, MsgIcon icon,
                   MsgButtons buttons) override
    {
        const std::unique_ptr<QMessageBox> box = makeMessageBox(owner, text, caption, icon, buttons);
        ModalScope scope;
        const int r = box->exec();
        if (buttons == MsgButtons::Ok)
            return MsgResult::Ok;
        return r == QMessageBox::No ? MsgResult::No : MsgResult::Yes;
    }
};

class RealModalRunner final : public ModalRunner {
public:
    int exec(QDialog *dialog) override
    {
        ModalScope scope;
        return dialog->exec();
    }
};

class RealFolderPicker final : public FolderPicker {
public:
    QString pickFolder(QWidget *owner, const QString &title, const QString &startFolder) override
    {
        ModalScope scope;
        return QFileDialog::getExistingDirectory(owner, title, startFolder,
                                                 QFileDialog::ShowDirsOnly);
    }
};

class RealUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl &url) override { return QDesktopServices::openUrl(url); }
};

RealMessageBoxes g_realBoxes;
RealModalRunner g_realModal;
RealFolderPicker g_realPicker;
RealUrlOpener g_realOpener;
MessageBoxes *g_boxes = &g_realBoxes;
ModalRunner *g_modal = &g_realModal;
FolderPicker *g_picker = &g_realPicker;
UrlOpener *g_opener = &g_realOpener;
int g_modalDepth = 0;

} // namespace

MessageBoxes &messageBoxes() { return *g_boxes; }
ModalRunner &modalRunner() { return *g_modal; }
FolderPicker &folderPicker() { return *g_picker; }
UrlOpener &urlOpener() { return *g_opener; }
void setMessageBoxes(MessageBoxes *impl) { g_boxes = impl ? impl : &g_realBoxes; }
void setModalRunner(ModalRunner *impl) { g_modal = impl ? impl : &g_realModal; }
void setFolderPicker(FolderPicker *impl) { g_picker = impl ? impl : &g_realPicker; }
void setUrlOpener(UrlOpener *impl) { g_opener = impl ? impl : &g_realOpener; }

std::unique_ptr<QMessageBox> makeMessageBox(QWidget *owner, const QString &text,
                                            const QString &caption, MsgIcon icon,
                                            MsgButtons buttons)
{
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case MsgIcon::None: break;
    case MsgIcon::Information: qicon = QMessageBox::Information; break;
    case MsgIcon::Question: qicon = QMessageBox::Question; break;
    case MsgIcon::Warning: qicon = QMessageBox::Warning; break;
    case MsgIcon::Error: qicon = QMessageBox::Critical; break;
    }
    auto box = std::make_unique<QMessageBox>(qicon, caption, text, QMessageBox::NoButton, owner);
    // The desktop's default font has no Chinese: a Chinese text would be drawn
    // with a fallback font beside the path's Latin one.
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(BoxFontPixels);
    box->setFont(font);
    if (buttons == MsgButtons::YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
        box->button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
        box->setDefaultButton(QMessageBox::Yes);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    }
    return box;
}

MsgResult showMessage(QWidget *owner, const QString &text, const QString &caption, MsgIcon icon,
                      MsgButtons buttons)
{
    return messageBoxes().show(owner, text, caption, icon, buttons);
}

int execModal(QDialog *dialog) { return modalRunner().exec(dialog); }

int modalDepth() { return g_modalDepth; }
ModalScope::ModalScope() { ++g_modalDepth; }
ModalScope::~ModalScope() { --g_modalDepth; }

} // namespace seams
