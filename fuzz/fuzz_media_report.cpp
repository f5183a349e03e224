// Fuzzes the MediaInfo report parser: any bytes, with and without a language code.
#include "probe/MediaReport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    // The first byte picks the language code, so every ranking branch is reached.
    static const char *const codes[] = {"", "ko", "en", "ja", "de", "fr", "ru", "**"};
    const QString code = QString::fromLatin1(size ? codes[data[0] % 8] : "");

    MediaReport report(QStringLiteral("/nonexistent/MediaInfo"), QStringLiteral("/nonexistent/"));
    report.ReadReport(bytes, code);

    if (report.audio.size() != report.iAudioCount || report.text.size() != report.iTextCount)
        std::abort();
    const int best = report.BestAudioTrack();
    if (best < -1 || best >= report.iAudioCount)
        std::abort();
    for (const AudioTrack &t : report.audio) {
        if (t.szLanguage[2] != 0 || t.iPriority < 0 || t.iPriority > 97)
            std::abort();
    }
    if (report.dPixelAspect != -100.0 && !(report.dPixelAspect > 0.0000001))
        std::abort();
    return 0;
}
