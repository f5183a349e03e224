#include "engine/ConvertJob.h"

#include "engine/FileList.h"
#include "engine/FrontEnd.h"

#include <QFile>

std::array<ToolEntry, kToolCount> BuildToolTable(const QString &programFolder, bool forNightly)
{
    static const char *const names[kToolCount] = { "ffmpeg", "neroAacEnc", "MP4Box", "mkvextract",
                                                   "OGMDemuxer", "normalize", "chanfold", "MediaInfo" };
    std::array<ToolEntry, kToolCount> table;
    for (int i = 0; i < kToolCount; ++i) {
        ToolEntry &t = table[static_cast<size_t>(i)];
        t.name = QString::fromLatin1(names[i]);
        const QString relative = (i == kMP4Box && forNightly) ? QStringLiteral("tools/Nightly/MP4Box")
                                                              : QStringLiteral("tools/") + t.name;
        t.fullPath = programFolder + relative;
    }
    return table;
}

ConvertJob::ConvertJob(FrontEnd &frontEnd, const QString &programFolder)
    : ui(frontEnd)
    , options(frontEnd.options)
    , strProgramFolder(programFolder)
{
}

void ConvertJob::resetJob(int row)
{
    job = Job();
    job.iRow = row;
    const QString mediaInfo = tools[kMediaInfo].shortPath;
    job.report = MediaReport(mediaInfo, strWorkFolder);
    job.aacReport = MediaReport(mediaInfo, strWorkFolder);
    job.outputReport = MediaReport(mediaInfo, strWorkFolder);
}

void ConvertJob::setStatus(const QString &text)
{
    ui.fileList().setText(job.iRow, FileList::kStatus, text);
}

void AddTempFile(QStringList &tempFiles, const QString &pathIn)
{
    QString path = pathIn;
    for (int i = 0; i < 2; ++i) {
        const qsizetype quote = path.indexOf(QLatin1Char('"'));
        if (quote < 0)
            break;
        path = path.mid(quote + 1);
    }
    qsizetype lead = 0;
    while (lead < path.size() && path.at(lead).isSpace())
        ++lead;
    path = path.mid(lead);
    if (path.isEmpty() || tempFiles.contains(path))
        return;
    tempFiles << path;
}

void DeleteTempFiles(const QStringList &tempFiles, bool keepTempFiles)
{
    if (keepTempFiles)
        return;
    for (const QString &f : tempFiles)
        QFile::remove(f);
}
