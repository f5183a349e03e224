#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The question at the end of a run with at least one converted file: the run's
// message and "변환 성공 목록 삭제?" with Yes (the default) and No.
class FinishedDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kWidthUnits = 147;
    static constexpr int kHeightUnits = 37;

    explicit FinishedDialog(const QString &message, QWidget *parent = nullptr);

    QString message() const;

private:
    QLabel *m_message;
    QPushButton *m_yes;
    QPushButton *m_no;
};
