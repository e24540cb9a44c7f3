#include "controls/seams.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QCheckBox>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
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
        return run(owner, text, caption, icon, buttons, QString(), nullptr);
    }

    MsgResult showWithCheckBox(QWidget *owner, const QString &text, const QString &caption,
                               MsgIcon icon, const QString &checkText, bool *checked) override
    {
        return run(owner, text, caption, icon, MsgButtons::Ok, checkText, checked);
    }

private:
    static MsgResult run(QWidget *owner, const QString &text, const QString &caption, MsgIcon icon,
                         MsgButtons buttons, const QString &checkText, bool *checked)
    {
        const std::unique_ptr<QMessageBox> box = makeMessageBox(owner, text, caption, icon, buttons);
        QCheckBox *check = nullptr;
        if (checked) {
            check = new QCheckBox(checkText, box.get());
            box->setCheckBox(check);
        }
        ModalScope scope;
        const int r = box->exec();
        if (checked)
            *checked = check->isChecked();
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

// The picker's detail columns in Chinese. Qt's translation covers the headers
// and buttons, but the file system model writes the size, type and date columns
// itself: types in English and dates in the system locale's words.
class ChineseFileColumns final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files || index.column() < SizeColumn
            || index.column() > DateColumn)
            return QIdentityProxyModel::data(index, role);
        const QFileInfo info = files->fileInfo(mapToSource(index));
        switch (index.column()) {
        case SizeColumn: return info.isDir() ? QString() : sizeText(info.size());
        case TypeColumn:
            if (info.isRoot())
                return QStringLiteral("驱动器");
            if (info.isDir())
                return QStringLiteral("文件夹");
            return info.suffix().isEmpty() ? QStringLiteral("文件")
                                           : info.suffix().toUpper() + QStringLiteral(" 文件");
        default: return info.lastModified().toString(QStringLiteral("yyyy/M/d HH:mm"));
        }
    }

private:
    static constexpr int SizeColumn = 1;
    static constexpr int TypeColumn = 2;
    static constexpr int DateColumn = 3;

    static QString sizeText(qint64 bytes)
    {
        if (bytes < 1024)
            return QStringLiteral("%1 字节").arg(bytes);
        static const char *const units[] = {"KB", "MB", "GB", "TB"};
        double value = double(bytes) / 1024;
        int unit = 0;
        while (value >= 1024 && unit < 3) {
            value /= 1024;
            ++unit;
        }
        return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
    }
};

class RealFolderPicker final : public FolderPicker {
public:
    QString pickFolder(QWidget *owner, const QString &title, const QString &startFolder) override
    {
        // Qt's own dialog, which speaks Chinese with Qt's translation whatever
        // the desktop's language; the desktop's dialog would follow the locale.
        QFileDialog dialog(owner, title, startFolder);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        dialog.setProxyModel(new ChineseFileColumns(&dialog));
        ModalScope scope;
        if (dialog.exec() != QDialog::Accepted)
            return {};
        return dialog.selectedFiles().value(0);
    }
};

class RealSaveFilePicker final : public SaveFilePicker {
public:
    QString pickSaveFile(QWidget *owner, const QString &title, const QString &suggested,
                         const QString &filter) override
    {
        QFileDialog dialog(owner, title, suggested, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOptions(QFileDialog::DontUseNativeDialog);
        dialog.setProxyModel(new ChineseFileColumns(&dialog));
        dialog.selectFile(suggested);
        ModalScope scope;
        if (dialog.exec() != QDialog::Accepted)
            return {};
        return dialog.selectedFiles().value(0);
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
RealSaveFilePicker g_realSavePicker;
SaveFilePicker *g_savePicker = &g_realSavePicker;
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
SaveFilePicker &saveFilePicker() { return *g_savePicker; }
void setSaveFilePicker(SaveFilePicker *impl) { g_savePicker = impl ? impl : &g_realSavePicker; }
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

MsgResult showMessageWithCheckBox(QWidget *owner, const QString &text, const QString &caption,
                                  MsgIcon icon, const QString &checkText, bool *checked)
{
    return messageBoxes().showWithCheckBox(owner, text, caption, icon, checkText, checked);
}

int execModal(QDialog *dialog) { return modalRunner().exec(dialog); }

int modalDepth() { return g_modalDepth; }
ModalScope::ModalScope() { ++g_modalDepth; }
ModalScope::~ModalScope() { --g_modalDepth; }

} // namespace seams
