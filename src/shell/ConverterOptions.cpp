#include "shell/ConverterOptions.h"

#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "platform/SystemInfo.h"
#include "platform/WorkFolders.h"
#include "shell/DiagnosticLog.h"
#include "shell/Formatters.h"

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
    { "Concurrent Jobs", "Option: Concurrent Jobs = %d", &ConverterOptions::iConcurrentJobs,
      ConverterOptions::kMaxConcurrentJobs + 1 },
};

template <class... Ts> struct Overload : Ts... { using Ts::operator()...; };
template <class... Ts> Overload(Ts...) -> Overload<Ts...>;

} // namespace

int ConverterOptions::subtitlePointSize() const
{
    static const int sizes[] = { 18, 24, 36, 48 };
    return sizes[qBound(0, iSubtitleSize, kSubtitleSizes - 1)];
}

int ConverterOptions::concurrentJobs() const
{
    return qBound(1, iConcurrentJobs, platform::processorCount());
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
    // Stored as a count: 0 is no count at all.
    iConcurrentJobs = qMax(1, iConcurrentJobs);
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
    iConcurrentJobs = 1;
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

QString LegacyCodePageRefusal()
{
    const QString refused = platform::refusedLegacyCodePage();
    if (refused.isEmpty())
        return QString();
    return Fmt("MARBLEWAY_ANSI_CODEPAGE=%s: 변환할 수 없는 코드 페이지!").s(refused);
}

QString DefaultTempFolder()
{
    const QStringList candidates = platform::defaultTempFolders();
    for (const QString &folder : candidates) {
        if (platform::preparePrivateFolder(folder) == platform::FolderProblem::None)
            return folder;
    }
    return candidates.first();
}

QString CheckTempFolder(const QString &folderIn, QString *logLine)
{
    const QString folder = platform::withoutTrailingSeparators(folderIn);
    const char *message = nullptr;
    const char *reason = nullptr;
    // Every step script names files in this folder between double quotes: a name that
    // cannot be written there unchanged is as unusable as a folder we cannot write to.
    if (!folder.isEmpty() && !platform::isScriptSafePath(folder)) {
        message = "임시폴더 이름에 사용할 수 없는 문자 포함: %s";
        reason = "name not usable in a script";
    } else {
        switch (platform::preparePrivateFolder(folder)) {
        case platform::FolderProblem::None:
            return QString();
        case platform::FolderProblem::CannotCreate:
            message = "임시폴더를 만들 수 없음: %s";
            reason = "cannot be created";
            break;
        case platform::FolderProblem::NotAFolder:
            message = "임시폴더가 폴더가 아님: %s";
            reason = "not a folder";
            break;
        case platform::FolderProblem::SymbolicLink:
            message = "임시폴더가 심볼릭 링크라서 사용하지 않음: %s";
            reason = "symbolic link";
            break;
        case platform::FolderProblem::OtherOwner:
            message = "임시폴더의 소유자가 다른 사용자라서 사용하지 않음: %s";
            reason = "owned by another user";
            break;
        case platform::FolderProblem::OpenToOthers:
            message = "다른 사용자도 쓸 수 있는 임시폴더라서 사용하지 않음: %s";
            reason = "writable by other users";
            break;
        case platform::FolderProblem::NotWritable:
            message = "임시폴더에 쓸 수 없음: %s";
            reason = "not writable";
            break;
        }
    }
    if (logLine)
        *logLine = Fmt("Temp folder refused (%s): %s").s(QString::fromLatin1(reason)).s(folder);
    return Fmt(message).s(folder);
}

QString ValidateTempFolder(const QString &folder, QString *refusal)
{
    QString t = platform::withoutTrailingSeparators(folder);
    bool changed = false;
    // The bare system temporary folder is everybody's: it stands for the default.
    if (t.isEmpty() || t.compare(platform::systemTempFolder(), Qt::CaseInsensitive) == 0) {
        t = DefaultTempFolder();
        changed = true;
    }
    const QString problem = CheckTempFolder(t);
    if (problem.isEmpty())
        return changed ? t + platform::kSeparator : folder;
    if (refusal)
        *refusal = problem;
    const QString fallback = DefaultTempFolder();
    if (fallback != t && CheckTempFolder(fallback).isEmpty())
        return fallback + platform::kSeparator;
    return QString();
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

QString InitialTempFolder(ConverterOptions &options, platform::SettingsStore &store, bool toolsPresent,
                          QString *refusal)
{
    QString folder = platform::defaultTempFolders().first();
    if (toolsPresent) {
        options.strTempFolder = folder;
        options.LoadOptions(store);
        folder = ValidateTempFolder(options.strTempFolder, refusal);
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
