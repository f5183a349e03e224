#pragma once

#include <QFrame>
#include <QList>

class QLabel;

// The status bar along the bottom of the window (control 1025): four parts whose
// right edges are fixed at creation, W/16, W/8, W and the end of the bar, for W
// the window's width then. Part 0 shows the job counter, 1 the running tool's
// elapsed time, 2 its progress line, 3 nothing.
class StatusBar : public QFrame
{
    Q_OBJECT
public:
    static constexpr int kPartCount = 4;
    static constexpr int kMinimumHeight = 25;

    StatusBar(int windowWidth, QWidget *parent = nullptr);

    void setPartText(int part, const QString &text);
    QString partText(int part) const;
    // Right edge of each part in pixels; -1 for "to the end of the bar".
    QList<int> partEdges() const { return m_edges; }
    QRect partRect(int part) const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeParts();

    QList<int> m_edges;
    QList<QLabel *> m_parts;
    QStringList m_texts;
};
