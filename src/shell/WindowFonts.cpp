#include "shell/WindowFonts.h"

#include <QGuiApplication>
#include <QScreen>

int FontPixelHeight(int points)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return qMax(1, qRound(points * dpi / 72.0));
}

QFont DialogFont(int points)
{
    QFont font(QStringLiteral("NanumGothic"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(FontPixelHeight(points));
    font.setWeight(QFont::Normal);
    return font;
}

QFont StatusBarFont()
{
    QFont font(QStringLiteral("NanumGothicCoding"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(FontPixelHeight(10));
    font.setWeight(QFont::Normal);
    return font;
}
