#include "shell/ConverterOptions.h"

#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "shell/DiagnosticLog.h"
#include "shell/Formatters.h"

#include <QDir>
#include <QFile>

#include <variant>

namespace {

// One row per stored value, in the stored order; load, save and log walk it.
struct StoredOption
{
    const char *name;
    const char *logFormat;
    std::variant<bool ConverterOptions::*, int ConverterOptions::*, QString ConverterOptions::*> field;
    int items; // combo item count; 0 for check boxes and folders
};

const StoredOption kStored[] = {
    { "smaller than 4GB", "Option: smaller than 4GB = %d", &ConverterOptions::bSmallerThan4GB, 0 },
    { "Conversion Mode", "Option: Conversion Mode = %d", &ConverterOptions::iConversionMode, ConverterOptions::kConversionModes },
    { "Conversion Profile", "Option: Conversion Profile = %d", &ConverterOptions::iConversionProfile, ConverterOptions::kProfiles },
    { "Kindness of iPhone", "Option: Kindness of iPhone = %d", &ConverterOptions::iDeviceKind, ConverterOptions::kDevices },
    { "30fps check", "Option: 30fps check = %d", &ConverterOptions::b30fpsCheck, 0 },
    { "Create Qor-DC", "Option: Create Qor-DC = %d", &ConverterOptions::bCreateDC, 0 },
    { "Overwrite Qor-DC to DC", "Option: Overwrite Qor-DC to DC = %d", &ConverterOptions::bOverwriteDC, 0 },
    { "Pixel Aspect Ratio mode", "Option: Pixel Aspect Ratio mode = %d", &ConverterOptions::iParMode, ConverterOptions::kParModes },
    { "Deinterlace", "Option: Deinterlace = %d", &ConverterOptions::bDeinterlace, 0 },
    { "For Nightly", "Option: For Nightly = %d", &ConverterOptions::bForNightly, 0 },
    { "reencode AAC", "Option: reencode AAC = %d", &ConverterOptions::iAacMode, ConverterOptions::kAacModes },
    { "designate Audio Language", "Option: designate Audio Language = %d", &ConverterOptions::bDesignateAudioLanguage, 0 },
    { "Audio Language", "Option: Audio Language = %d", &ConverterOptions::iAudioLanguage, ConverterOptions::kAudioLanguages },
    { "Normalize Audio Volume", "Option: Normalize Audio Volume = %d", &ConverterOptions::bNormalizeVolume, 0 },
    { "Big Subtitle", "Option: Big Subtitle = %d", &ConverterOptions::iSubtitleSize, ConverterOptions::kSubtitleSizes },
    { "Desig ANSI Srt Language", "Option: Desig ANSI Srt Language = %d", &ConverterOptions::bDesignateSrtLanguage, 0 },
    { "ANSI Srt Language", "Option: ANSI Srt Language = %d", &ConverterOptions::iSrtLanguage, ConverterOptions::kSrtLanguages },
    { "Temp Folder", "Option: Temp Folder = %s", &ConverterOptions::strTempFolder, 0 },
    { "use External Save Folder", "Option: use External Save Folder = %d", &ConverterOptions::bUseSaveFolder, 0 },
    { "Save Folder", "Option: Save Folder = %s", &ConverterOptions::strSaveFolder, 0 },
};

template <class... Ts> struct Overload : Ts... { using Ts::operator()...; };
template <class... Ts> Overload(Ts...) -> Overload<Ts...>;

} // namespace

int ConverterOptions::subtitlePointSize() const
{
    static const int sizes[] = { 18, 24, 36, 48 };
    return sizes[qBound(0, iSubtitleSize, kSubtitleSizes - 1)];
}

int ConverterOptions::srtCodePage() const
{
    static const int pages[] = { 949, 936, 932, 850, 852 };
    return pages[qBound(0, iSrtLanguage, kSrtLanguages - 1)];
}

void ConverterOptions::LoadOptions(platform::SettingsStore &store)
{
    store.ensureExists();
    for (const StoredOption &o : kStored) {
        const QString name = QString::fromLatin1(o.name);
        std::visit(Overload{
                       [&](bool ConverterOptions::*f) {
                           if (auto v = store.readNumber(name))
                               this->*f = *v != 0;
                       },
                       [&](int ConverterOptions::*f) {
                           // An index the combo box does not have would leave it without a
                           // selection: treat it like a mistyped value.
                           if (auto v = store.readNumber(name); v && *v >= 0 && *v < o.items)
                               this->*f = *v;
                       },
                       [&](QString ConverterOptions::*f) {
                           if (auto v = store.readString(name, kMaxStoredFolderLength))
                               this->*f = *v;
                       } },
                   o.field);
    }
}

void ConverterOptions::SaveOptions(platform::SettingsStore &store) const
{
    for (const StoredOption &o : kStored) {
        const QString name = QString::fromLatin1(o.name);
        std::visit(Overload{ [&](bool ConverterOptions::*f) { store.writeNumber(name, this->*f ? 1 : 0); },
                             [&](int ConverterOptions::*f) { store.writeNumber(name, this->*f); },
                             [&](QString ConverterOptions::*f) { store.writeString(name, this->*f); } },
                   o.field);
    }
    store.sync();
}

void ConverterOptions::ResetOptions(platform::SettingsStore &store)
{
    iConversionMode = 1;
    iConversionProfile = 4;
    bSmallerThan4GB = false;
    iAacMode = 0;
    bCreateDC = false;
    bOverwriteDC = false;
    bDesignateAudioLanguage = false;
    iAudioLanguage = 0;
    bNormalizeVolume = false;
    bUseSaveFolder = false;
    iSubtitleSize = 0;
    b30fpsCheck = false;
    iDeviceKind = 1;
    iParMode = 2;
    store.removeAll();
}

void ConverterOptions::LogOptions(DiagnosticLog &log) const
{
    for (const StoredOption &o : kStored) {
        std::visit(Overload{ [&](bool ConverterOptions::*f) { log.WriteLine(Fmt(o.logFormat).d(this->*f ? 1 : 0)); },
                             [&](int ConverterOptions::*f) { log.WriteLine(Fmt(o.logFormat).d(this->*f)); },
                             [&](QString ConverterOptions::*f) { log.WriteLine(Fmt(o.logFormat).s(this->*f)); } },
                   o.field);
    }
}

namespace {

bool isWritableFolder(const QString &t)
{
    if (!platform::directoryExists(t))
        return false;
    QFile marker(t + QStringLiteral("/tempfile.Tarvolin.Qor"));
    if (!marker.open(QIODevice::WriteOnly))
        return false;
    marker.close();
    return marker.remove();
}

} // namespace

QString ValidateTempFolder(const QString &folder)
{
    QString t = platform::withoutTrailingSeparators(folder);
    const QString s = platform::systemTempFolder();
    bool changed = false;
    // Every step script names files in this folder between double quotes: a name that
    // cannot be written there unchanged is as unusable as a folder we cannot write to.
    if (t.isEmpty() || !platform::isScriptSafePath(t) || !isWritableFolder(t)) {
        t = s;
        changed = true;
    }
    if (t.compare(s, Qt::CaseInsensitive) == 0) {
        t = s + QStringLiteral("/Qor");
        QDir().mkdir(t);
        changed = true;
    }
    return changed ? t + platform::kSeparator : folder;
}

QString WithOneTrailingSeparator(const QString &folder)
{
    QString t = folder;
    while (t.endsWith(platform::kSeparator))
        t.chop(1);
    if (!t.isEmpty())
        t += platform::kSeparator;
    return t;
}

QString InitialTempFolder(ConverterOptions &options, platform::SettingsStore &store, bool toolsPresent)
{
    QString folder = platform::systemTempFolder() + QStringLiteral("/Qor");
    if (toolsPresent) {
        options.strTempFolder = folder;
        options.LoadOptions(store);
        folder = options.strTempFolder;
        QDir().mkdir(platform::withoutTrailingSeparators(folder));
        folder = ValidateTempFolder(folder);
    }
    folder = WithOneTrailingSeparator(folder);
    options.strTempFolder = folder;
    return folder;
}

std::map<int, bool> OptionEnabling(const ConverterOptions &o, bool on)
{
    return {
        { 1011, on && o.bCreateDC },
        { 1012, on && o.bDesignateAudioLanguage },
        { 1020, on && o.bUseSaveFolder },
        { 1034, on && o.bDesignateSrtLanguage },
        { 1036, on && o.iConversionMode > 1 },
        { 1017, on && o.iConversionMode != 0 },
        { 1030, on && o.iConversionMode != 0 },
        { 1021, on && o.iConversionMode > 1 },
    };
}
