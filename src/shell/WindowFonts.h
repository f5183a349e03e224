#pragma once

#include <QFont>

// The window's fonts. NanumGothic (Debian's fonts-nanum) stands in for the Korean
// system font the window was drawn with, NanumGothicCoding for the fixed font of
// the status bar; both fall back to the system's sans-serif and monospace fonts.

// Pixel height of a font of this many points on the primary screen: points x dpi / 72.
int FontPixelHeight(int points);

QFont DialogFont(int points = 9);
QFont StatusBarFont();
