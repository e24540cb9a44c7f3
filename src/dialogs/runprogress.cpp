#include "dialogs/runprogress.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

TRunProgress::TRunProgress(QWidget *parent, const QString &objectName, const QString &title,
                           const QString &line)
    : QDialog(parent), m_line(line), m_showTimer(new QTimer(this))
{
    m_showTimer->setSingleShot(true);
    connect(m_showTimer, &QTimer::timeout, this, &QDialog::show);
    setObjectName(objectName);
    setWindowTitle(title);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(this);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    CancelButton = new QPushButton(QStringLiteral("取消"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    layout->addWidget(Label1);
    layout->addWidget(ProgressBar1);
    layout->addWidget(CancelButton, 0, Qt::AlignRight);
    setMinimumWidth(320);
    connect(CancelButton, &QPushButton::clicked, this, &TRunProgress::cancelRequested);
}

void TRunProgress::setProgress(int done, int total)
{
    const int current = std::min(std::max(done + 1, 1), std::max(total, 1));
    Label1->setText(m_line.arg(current).arg(total));
    ProgressBar1->setRange(0, std::max(total, 1));
    ProgressBar1->setValue(std::min(done, std::max(total, 0)));
}

void TRunProgress::showAfter(int delayMs)
{
    m_showTimer->start(std::max(0, delayMs));
}

void TRunProgress::end()
{
    m_showTimer->stop();
    hide();
}

void TRunProgress::reject()
{
    emit cancelRequested();
}
