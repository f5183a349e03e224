#pragma once

#include "runner/ProgressParser.h"

#include <QFrame>
#include <QList>

#include <optional>

class QLabel;
class QProgressBar;

// The status bar along the bottom of the window (control 1025): four parts. The
// first two keep the widths they get at creation (W/16 each, for W the window's
// width then); part 3 keeps W/8 at the right end and holds the running tool's
// progress bar; part 2 takes what lies between, so it grows with the window.
// Part 0 shows the job counter, 1 the running tool's elapsed time, 2 its progress
// line.
class StatusBar : public QFrame
{
    Q_OBJECT
public:
    static constexpr int kPartCount = 4;
    static constexpr int kMinimumHeight = 25;

    StatusBar(int windowWidth, QWidget *parent = nullptr);

    void setPartText(int part, const QString &text);
    QString partText(int part) const;
    // Right edge of each part in pixels at the bar's present width; -1 for "to the end".
    QList<int> partEdges() const;
    QRect partRect(int part) const;

    // The progress bar of part 3: hidden while idle; a percentage, or a busy bar
    // while the running tool tells none. The place ("3/12") is written on it.
    QProgressBar *progressBar() const { return m_progress; }
    void showProgress(const QString &place, std::optional<int> percent);
    void hideProgress();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeParts();

    int m_firstEdge;
    int m_secondEdge;
    int m_progressWidth;
    QList<QLabel *> m_parts;
    QStringList m_texts;
    QProgressBar *m_progress = nullptr;
};
