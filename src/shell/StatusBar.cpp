#include "shell/StatusBar.h"

#include <QLabel>

StatusBar::StatusBar(int windowWidth, QWidget *parent)
    : QFrame(parent)
    , m_edges{ windowWidth / 16, windowWidth / 8, windowWidth, -1 }
{
    setFrameShape(QFrame::NoFrame);
    for (int i = 0; i < kPartCount; ++i) {
        auto *label = new QLabel(this);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setIndent(2);
        label->setObjectName(QStringLiteral("part%1").arg(i));
        m_parts << label;
        m_texts << QString();
    }
}

void StatusBar::setPartText(int part, const QString &text)
{
    if (part < 0 || part >= kPartCount)
        return;
    m_texts[part] = text;
    // Tool messages may carry line ends; the bar shows one line.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String(" "));
    shown.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    m_parts[part]->setText(shown);
}

QString StatusBar::partText(int part) const
{
    return part >= 0 && part < kPartCount ? m_texts.at(part) : QString();
}

QRect StatusBar::partRect(int part) const
{
    if (part < 0 || part >= kPartCount)
        return QRect();
    const int left = part == 0 ? 0 : qMin(m_edges.at(part - 1), width());
    const int right = m_edges.at(part) < 0 ? width() : qMin(m_edges.at(part), width());
    return QRect(left, 0, qMax(0, right - left), height());
}

void StatusBar::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    placeParts();
}

void StatusBar::placeParts()
{
    for (int i = 0; i < kPartCount; ++i) {
        const QRect r = partRect(i);
        m_parts[i]->setGeometry(r);
        m_parts[i]->setVisible(r.width() > 0);
    }
}
