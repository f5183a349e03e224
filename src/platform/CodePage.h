#pragma once

#include <QByteArray>
#include <QString>

// Legacy (non-Unicode) text as the Windows program met it: subtitle files in a
// Korean, Chinese, Japanese or DOS European code page.
namespace platform {

// The code page that "code page 0" stands for: 949 unless MARBLEWAY_ANSI_CODEPAGE
// names another one that can be converted here.
int legacyCodePage();

// The MARBLEWAY_ANSI_CODEPAGE text when it is set but names no code page that can
// be converted here (949 is then used); empty otherwise.
QString refusedLegacyCodePage();

// true when the code page (after mapping 0) can be converted here.
bool isKnownCodePage(int codePage);

// Multibyte to UTF-16 in the given code page (0 = legacy code page). Undecodable
// bytes become U+FFFD. ok is false when the code page is unknown.
QString decodeCodePage(const QByteArray &bytes, int codePage, bool *ok = nullptr);

// UTF-16 to multibyte in the given code page; characters the page lacks become '?'.
QByteArray encodeCodePage(const QString &text, int codePage, bool *ok = nullptr);

} // namespace platform
