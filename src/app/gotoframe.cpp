#include "app/gotoframe.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>

GoToFrameDialog::GoToFrameDialog(int count, int current, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("转到帧"));
    m_number = new QSpinBox(this);
    m_number->setRange(1, std::max(count, 1));
    m_number->setValue(current + 1);
    m_number->selectAll();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton *ok = buttons->button(QDialogButtonBox::Ok);
    ok->setText(QStringLiteral("确定"));
    // Enter in the number box confirms.
    ok->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("帧号 (1-%1):").arg(count), m_number);
    form->addRow(buttons);
    setFixedSize(sizeHint());
}

int GoToFrameDialog::frame() const
{
    return m_number->value() - 1;
}
