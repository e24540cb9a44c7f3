#pragma once
// Seams for what tests cannot click: message boxes, modal showings, the folder
// picker and opening a web page or a folder. The program uses the real
// implementations; a test installs its own with the setters and restores the
// real one afterwards (ScopedSeam). All of this is GUI-thread only.

#include <QString>
#include <QUrl>

#include <memory>

class QWidget;
class QDialog;
class QMessageBox;

namespace seams {

enum class MsgIcon { None, Information, Question, Warning, Error };
enum class MsgButtons { Ok, YesNo };
enum class MsgResult { Ok, Yes, No };

// Shows a message box owned by `owner` and returns the button pressed.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgResult show(QWidget *owner, const QString &text, const QString &caption,
                           MsgIcon icon, MsgButtons buttons) = 0;
    // As show() with an OK button, and a check box (`checkText`, unchecked)
    // under the text; *checked tells whether it was checked when the box closed.
    virtual MsgResult showWithCheckBox(QWidget *owner, const QString &text, const QString &caption,
                                       MsgIcon icon, const QString &checkText, bool *checked)
    {
        Q_UNUSED(checkText);
        *checked = false;
        return show(owner, text, caption, icon, MsgButtons::Ok);
    }
};

// Shows a dialog modally and returns its result (QDialog::exec in the program).
class ModalRunner {
public:
    virtual ~ModalRunner() = default;
    virtual int exec(QDialog *dialog) = 0;
};

// Asks the user for a folder; returns the empty string when cancelled.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    virtual QString pickFolder(QWidget *owner, const QString &title, const QString &startFolder) = 0;
};

// Asks the user where to save a file, starting at `suggested` (a path); returns
// the empty string when cancelled.
class SaveFilePicker {
public:
    virtual ~SaveFilePicker() = default;
    virtual QString pickSaveFile(QWidget *owner, const QString &title, const QString &suggested,
                                 const QString &filter) = 0;
};

// Opens a web page or a folder in the desktop's application for it.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool open(const QUrl &url) = 0;
};

// The current implementations (never null) and their setters. A setter given
// nullptr restores the real implementation. The caller keeps ownership.
MessageBoxes &messageBoxes();
ModalRunner &modalRunner();
FolderPicker &folderPicker();
SaveFilePicker &saveFilePicker();
UrlOpener &urlOpener();
void setMessageBoxes(MessageBoxes *impl);
void setModalRunner(ModalRunner *impl);
void setFolderPicker(FolderPicker *impl);
void setSaveFilePicker(SaveFilePicker *impl);
void setUrlOpener(UrlOpener *impl);

// The box the real MessageBoxes shows, built but not shown: Chinese button
// captions, and one font that holds both Latin and Chinese characters, so a
// path and the Chinese text around it are written alike.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget *owner, const QString &text,
                                            const QString &caption, MsgIcon icon,
                                            MsgButtons buttons);

// Shorthands used by the program.
MsgResult showMessage(QWidget *owner, const QString &text, const QString &caption,
                      MsgIcon icon, MsgButtons buttons = MsgButtons::Ok);
MsgResult showMessageWithCheckBox(QWidget *owner, const QString &text, const QString &caption,
                                  MsgIcon icon, const QString &checkText, bool *checked);
inline void showError(QWidget *owner, const QString &text)
{
    showMessage(owner, text, QStringLiteral("错误"), MsgIcon::Error);
}
int execModal(QDialog *dialog);

// Number of modal windows (message boxes and dialogs) open through these seams
// right now. Work that must wait while a modal window is open (the scan driver)
// checks modalDepth() > 0. Test doubles that stand in for a modal window keep
// a ModalScope alive for as long as their window is "open".
int modalDepth();
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope &) = delete;
    ModalScope &operator=(const ModalScope &) = delete;
};

} // namespace seams
