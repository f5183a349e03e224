#include "subtitles/SubtitleText.h"

#include "platform/CodePage.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <new>

namespace {

const char16_t replacementChar = 0xFFFD;

bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// Length of the well-shaped sequence starting at i (2, 3 or 4), or 0.
int sequenceLength(const unsigned char *p, qsizetype i, qsizetype n)
{
    const unsigned char b = p[i];
    int len = 0;
    if ((b & 0xE0) == 0xC0)
        len = 2;
    else if ((b & 0xF0) == 0xE0)
        len = 3;
    else if ((b & 0xF8) == 0xF0)
        len = 4;
    else
        return 0;
    if (i + len > n)
        return 0;
    for (int k = 1; k < len; ++k) {
        if (!isContinuation(p[i + k]))
            return 0;
    }
    return len;
}

// The multi-byte sequences of a text, counted: well-shaped ones and bytes of 128 or
// more that start none.
struct Utf8Shape
{
    qsizetype valid = 0;
    qsizetype invalid = 0;
};

Utf8Shape utf8Shape(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    Utf8Shape shape;
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const int len = sequenceLength(p, i, n);
        if (len == 0) {
            ++shape.invalid;
            ++i;
        } else {
            ++shape.valid;
            i += len;
        }
    }
    return shape;
}

bool isAllAscii(const QByteArray &bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Decodes the whole text; zero bytes are dropped. Bytes that start no complete sequence
// each become one replacement character, so a truncated sequence never
// swallows the byte after it; four-byte sequences become surrogate pairs.
QString decodeUtf8(const QByteArray &bytes, qsizetype from)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    QString out;
    out.reserve(n - from);
    for (qsizetype i = from; i < n;) {
        const unsigned char b = p[i];
        if (b == 0) {
            ++i;
            continue;
        }
        if (b < 0x80) {
            out.append(QChar(b));
            ++i;
            continue;
        }
        const int len = sequenceLength(p, i, n);
        char32_t cp = 0;
        switch (len) {
        case 2:
            cp = (char32_t(b & 0x1F) << 6) | (p[i + 1] & 0x3F);
            break;
        case 3:
            cp = (char32_t(b & 0x0F) << 12) | (char32_t(p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
            break;
        case 4:
            cp = (char32_t(b & 0x07) << 18) | (char32_t(p[i + 1] & 0x3F) << 12)
                | (char32_t(p[i + 2] & 0x3F) << 6) | (p[i + 3] & 0x3F);
            break;
        default:
            out.append(QChar(replacementChar));
            ++i;
            continue;
        }
        i += len;
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            out.append(QChar(QChar::highSurrogate(cp)));
            out.append(QChar(QChar::lowSurrogate(cp)));
        } else if (cp == 0 || cp > 0xFFFF) {
            // An overlong zero is no character either.
            out.append(QChar(replacementChar));
        } else {
            out.append(QChar(char16_t(cp)));
        }
    }
    return out;
}

// Code-page text; zero bytes are dropped first, as everywhere else.
QString decodeLegacy(const QByteArray &bytes, int codePage, bool *ok)
{
    if (!bytes.contains('\0'))
        return platform::decodeCodePage(bytes, codePage, ok);
    QByteArray withoutZeros = bytes;
    withoutZeros.replace('\0', QByteArray());
    return platform::decodeCodePage(withoutZeros, codePage, ok);
}

// CR LF, lone CR and lone LF all become one CR; zero units are dropped (a stray NUL in
// a file must not cut the rest of it away).
QString normaliseLineBreaks(const char16_t *units, qsizetype n)
{
    QString out;
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = units[i];
        if (u == 0)
            continue;
        if (u == u'\r') {
            out.append(QChar(u'\r'));
            if (i + 1 < n && units[i + 1] == u'\n')
                ++i;
        } else if (u == u'\n') {
            out.append(QChar(u'\r'));
        } else {
            out.append(QChar(u));
        }
    }
    return out;
}

} // namespace

bool SubtitleText::decode(const QByteArray &bytes, int codePage, QString &out)
{
    bool ok = true;
    out.clear();
    const qsizetype n = bytes.size();
    if (n < 2)
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());

    QString decoded;
    if ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF)) {
        const bool little = p[0] == 0xFF;
        const qsizetype units = n / 2 - 1;
        QString raw(units, Qt::Uninitialized);
        // Byte-wise so that an unaligned buffer or the host's byte order never matters.
        char16_t *dst = reinterpret_cast<char16_t *>(raw.data());
        for (qsizetype k = 0; k < units; ++k) {
            const unsigned a = p[2 + 2 * k], b = p[3 + 2 * k];
            dst[k] = char16_t(little ? (a | b << 8) : (a << 8 | b));
        }
        decoded = raw;
    } else if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        decoded = decodeUtf8(bytes, 3);
    } else if (isAllAscii(bytes)) {
        decoded = decodeLegacy(bytes, codePage, &ok);
    } else {
        const Utf8Shape shape = utf8Shape(bytes);
        if (shape.invalid == 0) {
            decoded = decodeUtf8(bytes, 0);
        } else if (shape.valid > 99 * shape.invalid) {
            // Overwhelmingly UTF-8 with a few broken bytes: read as UTF-8 with those
            // replaced, unless the code page reads the file with fewer faults.
            decoded = decodeLegacy(bytes, codePage, &ok);
            if (!ok || decoded.count(QChar(replacementChar)) > shape.invalid) {
                ok = true;
                decoded = decodeUtf8(bytes, 0);
            }
        } else {
            decoded = decodeLegacy(bytes, codePage, &ok);
        }
    }
    if (!ok)
        return false;
    out = normaliseLineBreaks(reinterpret_cast<const char16_t *>(decoded.utf16()), decoded.size());
    return true;
}

QByteArray SubtitleText::encode(const QString &text)
{
    QByteArray out;
    out.reserve(3 + text.size() * 3);
    out.append("\xEF\xBB\xBF", 3);
    const qsizetype n = text.size();
    const char16_t *u = reinterpret_cast<const char16_t *>(text.utf16());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = u[i];
        if (c == u'\r') {
            out.append("\r\n", 2);
        } else if (c < 0x80) {
            out.append(char(c));
        } else if (c < 0x800) {
            out.append(char(0xC0 | (c >> 6)));
            out.append(char(0x80 | (c & 0x3F)));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(u[i + 1])) {
            // A proper pair is one four-byte character; split halves would
            // not be UTF-8 that other tools accept.
            const char32_t cp = QChar::surrogateToUcs4(c, u[i + 1]);
            ++i;
            out.append(char(0xF0 | (cp >> 18)));
            out.append(char(0x80 | ((cp >> 12) & 0x3F)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else {
            out.append(char(0xE0 | (c >> 12)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

int SubtitleText::Load(const QString &path, int codePage)
{
    text.clear();
    const QFileInfo info(path);
    if (!info.exists() || info.isDir() || info.size() < 2 || info.size() > maxFileSize)
        return 0;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QByteArray bytes;
    try {
        bytes = file.readAll();
        QString decoded;
        if (!decode(bytes, codePage, decoded))
            return 0;
        text = decoded;
    } catch (const std::bad_alloc &) {
        text.clear();
        return 0;
    }
    return 1;
}

bool SubtitleText::Save(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = encode(text);
    if (file.write(bytes) != bytes.size())
        return false; // the unfinished temporary file is discarded, the target untouched
    return file.commit();
}
