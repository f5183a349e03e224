#pragma once

#include "shell/ConverterOptions.h"

#include <QString>
#include <QStringList>

#include <optional>

// Command-line options of marbleway-cli. Options not given keep the values loaded
// from the settings store.
struct CliArguments
{
    QStringList files;
    bool help = false;
    QString error; // non-empty: usage error

    // Applied on top of the loaded options.
    std::optional<int> mode, profile, device, par, aac, audioLanguage, subtitleSize, srtCodepage;
    // Files converted at the same time: 1 to the number of processors.
    std::optional<int> jobs;
    bool normalize = false, deinterlace = false, check30fps = false, onlyUnder4gb = false, createDc = false,
         overwriteDc = false, nightly = false, keepTemp = false, log = false;
    QString tempFolder, saveFolder;
};

CliArguments ParseCliArguments(const QStringList &arguments);
// Empty, or the message refusing the temporary folder asked for.
QString ApplyCliArguments(const CliArguments &args, ConverterOptions &options);
QString CliUsage();
