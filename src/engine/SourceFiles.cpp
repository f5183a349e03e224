#include "engine/SourceFiles.h"

#include "engine/FileList.h"
#include "platform/Paths.h"
#include "shell/Formatters.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <dirent.h>

int CheckExtension(const FileList &list, const QString &path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < platform::lastSeparator(path))
        return kNotAcceptable;
    QString ext = path.mid(dot + 1).toLower();
    if (ext == QLatin1String("mpeg"))
        ext = QStringLiteral("mpg");
    else if (ext == QLatin1String("qt"))
        ext = QStringLiteral("mov");
    else if (ext == QLatin1String("divx"))
        ext = QStringLiteral("avi");
    static const QStringList accepted = QStringLiteral("avi;mkv;flv;ogm;ogg;mp4;mov;3gp;swf;wmv;asf;mpg;dat;vob")
                                            .split(QLatin1Char(';'));
    if (ext.size() != 3 || !accepted.contains(ext))
        return kNotAcceptable;
    for (int row = 0; row < list.rowCount(); ++row) {
        if (list.fullPath(row).compare(path, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

QString FindFirstMatch(const QString &pattern)
{
    const qsizetype sep = platform::lastSeparator(pattern);
    const QString folder = sep < 0 ? QStringLiteral(".") : pattern.left(sep + 1);
    const QString namePattern = pattern.mid(sep + 1);
    // Windows wildcards: only * and ? are special (brackets are common in video
    // names and must match literally), and matching ignores case.
    QString expression;
    qsizetype literalStart = 0;
    for (qsizetype i = 0; i <= namePattern.size(); ++i) {
        const QChar c = i < namePattern.size() ? namePattern.at(i) : QChar();
        if (i < namePattern.size() && c != QLatin1Char('*') && c != QLatin1Char('?'))
            continue;
        expression += QRegularExpression::escape(namePattern.mid(literalStart, i - literalStart));
        if (i < namePattern.size())
            expression += c == QLatin1Char('*') ? QStringLiteral(".*") : QStringLiteral(".");
        literalStart = i + 1;
    }
    const QRegularExpression re(QRegularExpression::anchoredPattern(expression),
                                QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    DIR *dir = opendir(platform::encodePath(folder).constData());
    if (!dir)
        return QString();
    QString found;
    while (dirent *e = readdir(dir)) {
        const QString name = platform::decodeName(QByteArray(e->d_name));
        if (name == QLatin1String(".") || name == QLatin1String("..") || !re.match(name).hasMatch())
            continue;
        const QString full = (sep < 0 ? QString() : folder) + name;
        if (platform::fileExists(full)) {
            found = full;
            break;
        }
    }
    closedir(dir);
    return found;
}

void FindCompanions(FileList &list, int row)
{
    const QString name = list.text(row, FileList::kName);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = list.text(row, FileList::kFolder) + (dot < 0 ? name : name.left(dot));

    for (const char *ext : { "smi", "srt", "ass", "ssa" }) {
        if (platform::fileExists(base + QLatin1Char('.') + QLatin1String(ext))) {
            list.setText(row, FileList::kSubtitle, QLatin1String(ext));
            break;
        }
    }
    static const char *const audio[] = { "aac", "wav", "dts", "ac3", "mp3", "mp2", "wma" };
    for (const char *ext : audio) {
        if (platform::fileExists(base + QLatin1Char('.') + QLatin1String(ext))) {
            list.setText(row, FileList::kAudio, QLatin1String(ext));
            break;
        }
    }
    if (!list.text(row, FileList::kAudio).isEmpty())
        return;
    for (const char *ext : audio) {
        if (!FindFirstMatch(base + QStringLiteral("*.") + QLatin1String(ext)).isEmpty()) {
            list.setText(row, FileList::kAudio, QLatin1String(ext));
            break;
        }
    }
}

AddFilesResult AddSourcePaths(FileList &list, const QStringList &paths)
{
    AddFilesResult result;
    for (const QString &path : paths) {
        // Folders are never searched, whatever their name.
        if (CheckExtension(list, path) != -1 || platform::directoryExists(path))
            continue;
        const QString shortPath = platform::shortPath(path);
        if (shortPath.isEmpty() || !platform::isScriptSafePath(shortPath)) {
            ++result.refused;
            continue;
        }
        const qsizetype sep = platform::lastSeparator(shortPath);
        const int row = list.appendRow(shortPath.mid(sep + 1), shortPath.left(sep + 1));
        FindCompanions(list, row);
        ++result.added;
    }
    return result;
}

QString RefusedNamesMessage(int refused)
{
    return Fmt("%d개의 파일에서 파일명에 비 ASCII 문자 포함!").d(refused);
}
