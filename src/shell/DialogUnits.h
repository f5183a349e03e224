#pragma once

#include <QRect>
#include <QSize>

class QFont;

// Dialog units turned into pixels the way Windows lays out dialog templates: a
// horizontal unit is a quarter of the font's average character width, a vertical
// unit an eighth of its height, so the window keeps its proportions with any font.
class DialogUnits
{
public:
    explicit DialogUnits(const QFont &font);
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) { }

    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }

    int x(int units) const { return mulDiv(units, m_baseX, 4); }
    int y(int units) const { return mulDiv(units, m_baseY, 8); }
    QRect rect(int left, int top, int width, int height) const;
    QSize size(int width, int height) const { return QSize(x(width), y(height)); }

private:
    // Rounded a * b / c, as the system's MulDiv.
    static int mulDiv(int a, int b, int c);

    int m_baseX;
    int m_baseY;
};
