#include "controls/shell/propertiesdialog.h"

#include "shell/fileops.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TShellPropertiesDialog::TShellPropertiesDialog(const shell::FolderProperties &p, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("%1 属性").arg(p.name));
    auto *form = new QFormLayout;
    auto row = [&](const QString &caption, const QString &value) {
        auto *label = new QLabel(value, this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        label->setObjectName(caption);
        form->addRow(caption, label);
    };
    row(QStringLiteral("名称:"), p.name);
    if (!p.path.isEmpty())
        row(QStringLiteral("位置:"), p.path);
    const QString more = p.complete ? QString() : QStringLiteral("以上");
    if (!p.path.isEmpty()) {
        row(QStringLiteral("包含:"),
            QStringLiteral("%1 个项目（共 %2 个文件，%3 个文件夹%4）")
                .arg(p.items).arg(p.files).arg(p.folders).arg(more));
        row(QStringLiteral("大小:"), shell::fileops::sizeText(p.bytes) + more);
        if (!p.modified.isEmpty())
            row(QStringLiteral("修改时间:"), p.modified);
    } else {
        row(QStringLiteral("包含:"), QStringLiteral("%1 个项目").arg(p.items));
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QString TShellPropertiesDialog::valueText(const QString &caption) const
{
    const auto *label = findChild<QLabel *>(caption);
    return label ? label->text() : QString();
}
