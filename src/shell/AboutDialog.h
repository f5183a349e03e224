#pragma once

#include <QDialog>

// "Marbleway 정보": the program's icon, name and version.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kWidthUnits = 226;
    static constexpr int kHeightUnits = 41;

    explicit AboutDialog(QWidget *parent = nullptr);
};
