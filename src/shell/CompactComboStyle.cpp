#include "shell/CompactComboStyle.h"

#include <QStyleOptionComplex>

QRect CompactComboStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl sub,
                                        const QWidget *widget) const
{
    if (control != CC_ComboBox)
        return QProxyStyle::subControlRect(control, option, sub, widget);
    const QRect r = option->rect;
    QRect out;
    switch (sub) {
    case SC_ComboBoxArrow:
        out = QRect(r.right() - kArrowWidth + 1, r.top() + 1, kArrowWidth - 1, r.height() - 2);
        break;
    case SC_ComboBoxEditField:
        out = QRect(r.left() + 3, r.top() + 2, r.width() - kArrowWidth - 4, r.height() - 4);
        break;
    default:
        return QProxyStyle::subControlRect(control, option, sub, widget);
    }
    return visualRect(option->direction, r, out);
}
