#include "cli/CliArguments.h"

#include "platform/SystemInfo.h"

#include <QDir>
#include <QFileInfo>

namespace {

struct IndexOption
{
    const char *name;
    std::optional<int> CliArguments::*field;
    int items;
};

const IndexOption kIndexOptions[] = {
    { "--mode", &CliArguments::mode, ConverterOptions::kConversionModes },
    { "--profile", &CliArguments::profile, ConverterOptions::kProfiles },
    { "--device", &CliArguments::device, ConverterOptions::kDevices },
    { "--par", &CliArguments::par, ConverterOptions::kParModes },
    { "--aac", &CliArguments::aac, ConverterOptions::kAacModes },
    { "--audio-language", &CliArguments::audioLanguage, ConverterOptions::kAudioLanguages },
    { "--subtitle-size", &CliArguments::subtitleSize, ConverterOptions::kSubtitleSizes },
    { "--srt-codepage", &CliArguments::srtCodepage, ConverterOptions::kSrtLanguages },
};

struct FlagOption
{
    const char *name;
    bool CliArguments::*field;
};

const FlagOption kFlags[] = {
    { "--normalize", &CliArguments::normalize },     { "--deinterlace", &CliArguments::deinterlace },
    { "--check-30fps", &CliArguments::check30fps },  { "--only-under-4gb", &CliArguments::onlyUnder4gb },
    { "--create-dc", &CliArguments::createDc },      { "--overwrite-dc", &CliArguments::overwriteDc },
    { "--nightly", &CliArguments::nightly },         { "--keep-temp", &CliArguments::keepTemp },
    { "--log", &CliArguments::log },                 { "--help", &CliArguments::help },
};

QString absoluteFolder(const QString &dir)
{
    return QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
}

} // namespace

QString CliUsage()
{
    return QStringLiteral(
        "Usage: marbleway-cli [OPTIONS] FILE...\n"
        "Converts video files into MP4 files an iPhone or iPad plays.\n"
        "Options not given keep the values saved by the window (or the defaults).\n"
        "\n"
        "  --mode N            0 H.264/MPEG4 without checks, 1 playable video only,\n"
        "                      2 re-encode when needed, 3 always re-encode\n"
        "  --profile N         0 Slow, 1 Fast, 2 Very Fast, 3 Super Fast, 4 Ultra Fast, 5 HiBR/Slow\n"
        "  --device N          0 iPhone 3, 1 iPhone 4, 2 iPhone 4S,\n"
        "                      3 today's iPhone and iPad (iPhone 6s, iPad 2017 and later)\n"
        "  --par N             pixel aspect mode 0-5\n"
        "  --aac N             0 downmix multichannel AAC, 1 always re-encode, 2 always keep\n"
        "  --audio-language N  0-5 ko,en,ja,de,fr,ru; 6 other; 7-15 track #1-#9\n"
        "  --subtitle-size N   0 18pt, 1 24pt, 2 36pt, 3 48pt\n"
        "  --srt-codepage N    ANSI subtitles in 0 Korean, 1 Simplified Chinese, 2 Japanese,\n"
        "                      3 Western European (850), 4 Central European (852)\n"
        "  --normalize --deinterlace --check-30fps --only-under-4gb --create-dc --overwrite-dc\n"
        "  --nightly --keep-temp --log\n"
        "  --temp-folder DIR   folder for intermediate files (created when missing; each run\n"
        "                      works in a subfolder of its own there, removed at its end\n"
        "                      unless --keep-temp). Without it: the window's choice,\n"
        "                      else $XDG_CACHE_HOME/marbleway (~/.cache/marbleway)\n"
        "  --save-folder DIR   write the results there instead of beside each source\n"
        "  --jobs N            convert N files at the same time (1 to the number of\n"
        "                      processors; default: the window's choice, else 1)\n"
        "  --help              this text\n"
        "\n"
        "Exit status: 0 every file converted, 1 some file not, 2 usage error or the run\n"
        "could not start, 3 every file converted but a subtitle could not be (its status\n"
        "ends \"/ 자막 실패\"), 130 stopped with Ctrl-C.\n");
}

CliArguments ParseCliArguments(const QStringList &arguments)
{
    CliArguments out;
    bool onlyFiles = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString a = arguments.at(i);
        if (onlyFiles || !a.startsWith(QLatin1String("--"))) {
            out.files << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            onlyFiles = true;
            continue;
        }
        auto takeValue = [&](QString *value) {
            if (i + 1 >= arguments.size()) {
                out.error = a + QStringLiteral(" needs a value");
                return false;
            }
            *value = arguments.at(++i);
            return true;
        };
        // The number after the option, from least to most; nothing (and the error set) else.
        auto takeNumber = [&](int least, int most) -> std::optional<int> {
            QString value;
            if (!takeValue(&value))
                return std::nullopt;
            bool ok = false;
            const int n = value.toInt(&ok);
            if (!ok || n < least || n > most) {
                out.error = a + QLatin1Char(' ') + value + QStringLiteral(": expected a number from ")
                    + QString::number(least) + QStringLiteral(" to ") + QString::number(most);
                return std::nullopt;
            }
            return n;
        };
        bool known = false;
        for (const IndexOption &o : kIndexOptions) {
            if (a != QLatin1String(o.name))
                continue;
            known = true;
            const std::optional<int> n = takeNumber(0, o.items - 1);
            if (!n)
                return out;
            out.*(o.field) = *n;
        }
        for (const FlagOption &f : kFlags) {
            if (a == QLatin1String(f.name)) {
                known = true;
                out.*(f.field) = true;
            }
        }
        if (a == QLatin1String("--jobs")) {
            known = true;
            out.jobs = takeNumber(1, platform::processorCount());
            if (!out.jobs)
                return out;
        }
        if (a == QLatin1String("--temp-folder") || a == QLatin1String("--save-folder")) {
            known = true;
            QString value;
            if (!takeValue(&value))
                return out;
            if (value.isEmpty()) {
                out.error = a + QStringLiteral(" needs a folder");
                return out;
            }
            (a == QLatin1String("--temp-folder") ? out.tempFolder : out.saveFolder) = absoluteFolder(value);
        }
        if (!known) {
            out.error = QStringLiteral("unknown option ") + a;
            return out;
        }
    }
    if (!out.help && out.files.isEmpty())
        out.error = QStringLiteral("no FILE given");
    return out;
}

QString ApplyCliArguments(const CliArguments &a, ConverterOptions &o)
{
    if (a.mode)
        o.iConversionMode = *a.mode;
    if (a.profile)
        o.iConversionProfile = *a.profile;
    if (a.device)
        o.iDeviceKind = *a.device;
    if (a.par)
        o.iParMode = *a.par;
    if (a.aac)
        o.iAacMode = *a.aac;
    if (a.audioLanguage) {
        o.iAudioLanguage = *a.audioLanguage;
        o.bDesignateAudioLanguage = true;
    }
    if (a.jobs)
        o.iConcurrentJobs = *a.jobs;
    if (a.subtitleSize)
        o.iSubtitleSize = *a.subtitleSize;
    if (a.srtCodepage) {
        o.iSrtLanguage = *a.srtCodepage;
        o.bDesignateSrtLanguage = true;
    }
    o.bNormalizeVolume |= a.normalize;
    o.bDeinterlace |= a.deinterlace;
    o.b30fpsCheck |= a.check30fps;
    o.bSmallerThan4GB |= a.onlyUnder4gb;
    o.bCreateDC |= a.createDc;
    o.bOverwriteDC |= a.overwriteDc;
    o.bForNightly |= a.nightly;
    o.bKeepTempFiles = a.keepTemp;
    o.bWriteLog = a.log;
    if (!a.saveFolder.isEmpty()) {
        o.bUseSaveFolder = true;
        o.strSaveFolder = WithOneTrailingSeparator(a.saveFolder);
    }
    // A folder asked for by name is used or refused, never swapped for another.
    QString refusal;
    if (!a.tempFolder.isEmpty()) {
        const QString folder = ValidateTempFolder(a.tempFolder, &refusal);
        if (refusal.isEmpty())
            o.strTempFolder = WithOneTrailingSeparator(folder);
    }
    return refusal;
}
