#pragma once
// The small properties dialog of a folder: name, path, number of items, size,
// modified time. Shown modally through seams::execModal.

#include "shell/shellapi.h"

#include <QDialog>

class QLabel;

class TShellPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    explicit TShellPropertiesDialog(const shell::FolderProperties &properties, QWidget *parent = nullptr);
    // The value text of a row by its caption ("位置:", "包含:", "大小:", ...), for tests.
    QString valueText(const QString &caption) const;
};
