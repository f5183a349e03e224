#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace platform {
namespace {

// iconv's name of a Windows code page, or empty when iconv cannot convert it.
QByteArray iconvName(int codePage)
{
    switch (codePage) {
    case 949: return "CP949";
    case 936: return "CP936";
    case 932: return "CP932";
    case 850: return "CP850";
    case 852: return "CP852";
    case 65001: return "UTF-8";
    default: break;
    }
    if (codePage <= 0)
        return QByteArray();
    // 874, 1250-1258 and the rest are CPnnnn to iconv when it has them at all.
    // Jobs running side by side ask from their own threads.
    static std::mutex guard;
    const std::lock_guard<std::mutex> lock(guard);
    static std::map<int, bool> known;
    auto it = known.find(codePage);
    const QByteArray name = "CP" + QByteArray::number(codePage);
    if (it == known.end()) {
        iconv_t cd = iconv_open("UTF-16LE", name.constData());
        const bool ok = cd != reinterpret_cast<iconv_t>(-1);
        if (ok)
            iconv_close(cd);
        it = known.emplace(codePage, ok).first;
    }
    return it->second ? name : QByteArray();
}

bool envCodePage(int *codePage)
{
    const char *env = std::getenv("MARBLEWAY_ANSI_CODEPAGE");
    if (!env || !*env)
        return false;
    char *end = nullptr;
    const long v = std::strtol(env, &end, 10);
    if (!end || *end != '\0' || v <= 0 || v >= 65536 || iconvName(static_cast<int>(v)).isEmpty())
        return false;
    *codePage = static_cast<int>(v);
    return true;
}

int resolve(int codePage)
{
    return codePage == 0 ? legacyCodePage() : codePage;
}

// Runs iconv over the whole input; an unconvertible sequence is replaced and skipped
// (skipBytes on the input side) so one bad byte never loses the rest of the text.
bool convert(const char *from, const char *to, const QByteArray &in, QByteArray &out,
             const QByteArray &replacement, int skipBytes)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.clear();
    std::vector<char> buf(4096);
    char *inPtr = const_cast<char *>(in.constData());
    size_t inLeft = static_cast<size_t>(in.size());
    while (inLeft > 0) {
        char *outPtr = buf.data();
        size_t outLeft = buf.size();
        size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf.data(), static_cast<qsizetype>(buf.size() - outLeft));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL (truncated sequence at the end): replace and move on.
            out.append(replacement);
            size_t skip = std::min(inLeft, static_cast<size_t>(skipBytes));
            inPtr += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char *outPtr = buf.data();
    size_t outLeft = buf.size();
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buf.data(), static_cast<qsizetype>(buf.size() - outLeft));
    iconv_close(cd);
    return true;
}

} // namespace

int legacyCodePage()
{
    int codePage = 949;
    envCodePage(&codePage);
    return codePage;
}

QString refusedLegacyCodePage()
{
    const char *env = std::getenv("MARBLEWAY_ANSI_CODEPAGE");
    int codePage = 0;
    if (!env || !*env || envCodePage(&codePage))
        return QString();
    return QString::fromLocal8Bit(env);
}

bool isKnownCodePage(int codePage)
{
    return !iconvName(resolve(codePage)).isEmpty();
}

QString decodeCodePage(const QByteArray &bytes, int codePage, bool *ok)
{
    const QByteArray name = iconvName(resolve(codePage));
    QByteArray utf16;
    static const QByteArray replacement("\xFD\xFF", 2); // U+FFFD, little-endian
    bool good = !name.isEmpty() && convert(name.constData(), "UTF-16LE", bytes, utf16, replacement, 1);
    if (ok)
        *ok = good;
    if (!good)
        return QString();
    return QString(reinterpret_cast<const QChar *>(utf16.constData()), utf16.size() / 2);
}

QByteArray encodeCodePage(const QString &text, int codePage, bool *ok)
{
    const QByteArray name = iconvName(resolve(codePage));
    QByteArray in(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QByteArray out;
    bool good = !name.isEmpty() && convert("UTF-16LE", name.constData(), in, out, QByteArray("?"), 2);
    if (ok)
        *ok = good;
    return good ? out : QByteArray();
}

} // namespace platform
