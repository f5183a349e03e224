#include "shell/StatusBar.h"

#include <QLabel>
#include <QProgressBar>

StatusBar::StatusBar(int windowWidth, QWidget *parent)
    : QFrame(parent)
    , m_firstEdge(windowWidth / 16)
    , m_secondEdge(windowWidth / 8)
    , m_progressWidth(windowWidth / 8)
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
    m_progress = new QProgressBar(m_parts[3]);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(true);
    m_progress->setAlignment(Qt::AlignCenter);
    m_progress->hide();
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
    // A progress line too long for its part can still be read whole.
    m_parts[part]->setToolTip(shown);
}

QString StatusBar::partText(int part) const
{
    return part >= 0 && part < kPartCount ? m_texts.at(part) : QString();
}

QList<int> StatusBar::partEdges() const
{
    return { m_firstEdge, m_secondEdge, qMax(m_secondEdge, width() - m_progressWidth), -1 };
}

QRect StatusBar::partRect(int part) const
{
    if (part < 0 || part >= kPartCount)
        return QRect();
    const QList<int> edges = partEdges();
    const int left = part == 0 ? 0 : qMin(edges.at(part - 1), width());
    const int right = edges.at(part) < 0 ? width() : qMin(edges.at(part), width());
    return QRect(left, 0, qMax(0, right - left), height());
}

void StatusBar::showProgress(const QString &place, std::optional<int> percent)
{
    if (percent) {
        m_progress->setFormat(place.isEmpty() ? QStringLiteral("%p%") : place + QStringLiteral("  %p%"));
        m_progress->setRange(0, 100);
        m_progress->setValue(*percent);
    } else {
        // A busy bar: the tool runs but tells no percentage.
        m_progress->setRange(0, 0);
        m_progress->setFormat(place);
    }
    m_progress->show();
}

void StatusBar::hideProgress()
{
    m_progress->hide();
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
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
    m_progress->setGeometry(m_parts[3]->contentsRect().adjusted(1, 2, -1, -2));
}

