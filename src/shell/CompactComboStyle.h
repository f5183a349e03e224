#pragma once

#include <QProxyStyle>

// Narrow drop-down lists of the window ("18pt", "ko" in boxes of 45 pixels) lose
// their text to the wide arrow button of the desktop styles; this style draws the
// same box with a slimmer arrow and a smaller text margin.
class CompactComboStyle : public QProxyStyle
{
    Q_OBJECT
public:
    static constexpr int kArrowWidth = 14;

    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl sub,
                         const QWidget *widget = nullptr) const override;
};
