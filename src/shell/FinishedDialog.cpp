#include "shell/FinishedDialog.h"

#include "shell/DialogUnits.h"
#include "shell/WindowFonts.h"

#include <QLabel>
#include <QPushButton>

FinishedDialog::FinishedDialog(const QString &message, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Finished"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    const DialogUnits du(font());

    m_message = new QLabel(message, this);
    m_message->setObjectName(QStringLiteral("1032"));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setGeometry(du.rect(7, 6, 133, 9));

    auto *question = new QLabel(QStringLiteral("변환 성공 목록 삭제?"), this);
    question->setGeometry(du.rect(7, 20, 78, 9));

    m_yes = new QPushButton(QStringLiteral("Yes"), this);
    m_yes->setObjectName(QStringLiteral("1"));
    m_yes->setGeometry(du.rect(87, 17, 26, 14));
    m_yes->setDefault(true);
    connect(m_yes, &QPushButton::clicked, this, &QDialog::accept);

    m_no = new QPushButton(QStringLiteral("No"), this);
    m_no->setObjectName(QStringLiteral("2"));
    m_no->setGeometry(du.rect(115, 17, 26, 14));
    m_no->setAutoDefault(false);
    connect(m_no, &QPushButton::clicked, this, &QDialog::reject);

    setFixedSize(du.size(kWidthUnits, kHeightUnits));
    m_yes->setFocus();
}

QString FinishedDialog::message() const
{
    return m_message->text();
}
