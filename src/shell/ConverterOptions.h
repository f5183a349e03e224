#pragma once

#include <QString>

#include <map>

class DiagnosticLog;
namespace platform { class SettingsStore; }

// Every user setting of a conversion. Twenty-one of them persist in the settings store;
// keep-temp-files and write-log never do.
struct ConverterOptions
{
    bool bSmallerThan4GB = false;
    int iConversionMode = 1;
    int iConversionProfile = 4;
    int iDeviceKind = 1;
    bool b30fpsCheck = false;
    bool bCreateDC = false;
    bool bOverwriteDC = false;
    int iParMode = 2;
    bool bDeinterlace = false;
    bool bForNightly = false;
    int iAacMode = 0;
    bool bDesignateAudioLanguage = false;
    int iAudioLanguage = 0;
    bool bNormalizeVolume = false;
    int iSubtitleSize = 0;
    bool bDesignateSrtLanguage = false;
    int iSrtLanguage = 0;
    QString strTempFolder;
    bool bUseSaveFolder = false;
    QString strSaveFolder;
    // How many files convert at the same time (1: one after the other).
    int iConcurrentJobs = 1;

    bool bKeepTempFiles = false;
    bool bWriteLog = false;

    // Number of items of each combo box, for range checks.
    static constexpr int kConversionModes = 4;
    static constexpr int kProfiles = 6;
    static constexpr int kDevices = 4;
    static constexpr int kParModes = 6;
    static constexpr int kAacModes = 3;
    static constexpr int kAudioLanguages = 16;
    static constexpr int kSubtitleSizes = 4;
    static constexpr int kSrtLanguages = 5;
    static constexpr int kMaxConcurrentJobs = 16;

    // Point size of iSubtitleSize: 18, 24, 36, 48.
    int subtitlePointSize() const;
    // Code page of iSrtLanguage: 949, 936, 932, 850, 852.
    int srtCodePage() const;

    // The number of files converted at once: iConcurrentJobs within 1 and the
    // number of processors this machine has.
    int concurrentJobs() const;

    // Stored values present and well-typed replace the fields; the rest stay.
    void LoadOptions(platform::SettingsStore &store);
    void SaveOptions(platform::SettingsStore &store) const;
    // Resets the reset-able fields and deletes every stored value.
    void ResetOptions(platform::SettingsStore &store);
    // One "Option: ..." line per stored value, in the stored order.
    void LogOptions(DiagnosticLog &log) const;
};

// The longest folder text the store accepts (259 characters and a terminator).
inline constexpr qsizetype kMaxStoredFolderLength = 259;

// The message refusing MARBLEWAY_ANSI_CODEPAGE when it names a code page legacy
// subtitles cannot be decoded in; empty when it is unset or usable.
QString LegacyCodePageRefusal();

// The folder the user's own temporary folder defaults to (created when it can be).
QString DefaultTempFolder();

// Empty when folder can hold this user's work files (it is created, with its parents,
// when missing); else the message naming it and why it is refused. logLine gets the
// diagnostic line of the refusal.
QString CheckTempFolder(const QString &folder, QString *logLine = nullptr);

// Ensures the temporary folder is usable (CheckTempFolder) and is not the bare system
// temporary folder, which stands for the default. Returns the folder to use (with one
// trailing separator when it was changed, unchanged otherwise). A refused folder
// is replaced by the default, and refusal gets the message; empty when the default
// is refused too.
QString ValidateTempFolder(const QString &folder, QString *refusal = nullptr);

// The start-up temporary folder: the default, or the stored one when tools are
// present (options are then loaded from the store), validated, with one trailing
// separator. refusal gets the message when the stored folder was refused.
QString InitialTempFolder(ConverterOptions &options, platform::SettingsStore &store, bool toolsPresent,
                          QString *refusal = nullptr);

// The option controls that depend on others, by control id, and whether each is
// enabled in the given state (on = idle; during a conversion every one is off).
std::map<int, bool> OptionEnabling(const ConverterOptions &options, bool on);

// Folder text normalised the way chosen folders are kept: trailing separators
// removed, then one added when not empty.
QString WithOneTrailingSeparator(const QString &folder);
