#include "engine/SourceFiles.h"

#include "engine/FileList.h"
#include "engine/SubtitleStage.h"
#include "platform/Paths.h"
#include "shell/Formatters.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <dirent.h>

namespace {

QString canonicalOrSame(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

} // namespace

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
    // m4v: what Apple's tools name MPEG-4 and QuickTime video; webm: Matroska by another name;
    // ts to trp: transport streams of broadcast captures and camcorders.
    static const QStringList accepted =
        QStringLiteral("avi;mkv;flv;ogm;ogg;mp4;mov;3gp;swf;wmv;asf;mpg;dat;vob;m4v;webm;ts;m2ts;mts;tp;trp")
            .split(QLatin1Char(';'));
    if (!accepted.contains(ext))
        return kNotAcceptable;
    // One file named two ways (relative and absolute, "a/../a/x.avi", a link) is
    // still one file. Names that differ only in case are different files here.
    const QString canonical = canonicalOrSame(path);
    for (int row = 0; row < list.rowCount(); ++row) {
        if (canonicalOrSame(list.fullPath(row)) == canonical)
            return row;
    }
    return -1;
}

namespace {

// Windows wildcards: '*' any run of characters, '?' one character, without regard to
// case; everything else, brackets included, stands for itself.
bool wildcardMatch(QStringView pattern, QStringView name)
{
    qsizetype p = 0, n = 0, star = -1, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            star = p++;
            resume = n;
        } else if (p < pattern.size()
                   && (pattern[p] == QLatin1Char('?') || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

} // namespace

QString FindFirstMatch(const QString &pattern)
{
    const qsizetype sep = platform::lastSeparator(pattern);
    const QString folder = sep < 0 ? QStringLiteral(".") : pattern.left(sep + 1);
    const QString namePattern = pattern.mid(sep + 1);
    DIR *dir = opendir(platform::encodePath(folder).constData());
    if (!dir)
        return QString();
    QStringList names;
    while (dirent *e = readdir(dir)) {
        const QString name = platform::decodeName(QByteArray(e->d_name));
        if (name != QLatin1String(".") && name != QLatin1String("..") && wildcardMatch(namePattern, name))
            names.append(name);
    }
    closedir(dir);
    // Windows lists a folder in name order; readdir's order here is arbitrary, and the
    // first match must not depend on it.
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    for (const QString &name : names) {
        const QString full = (sep < 0 ? QString() : folder) + name;
        if (platform::fileExists(full))
            return full;
    }
    return QString();
}

QString CompanionFile(const QString &base, const QString &ext)
{
    const QString exact = base + QLatin1Char('.') + ext;
    if (platform::fileExists(exact))
        return exact;
    const qsizetype sep = platform::lastSeparator(base);
    const QString folder = base.left(sep + 1);
    const QString stem = base.mid(sep + 1) + QLatin1Char('.');
    DIR *dir = opendir(platform::encodePath(folder.isEmpty() ? QStringLiteral(".") : folder).constData());
    if (!dir)
        return QString();
    QStringList names;
    while (dirent *e = readdir(dir)) {
        const QString name = platform::decodeName(QByteArray(e->d_name));
        if (name.size() == stem.size() + ext.size() && name.startsWith(stem)
            && QStringView(name).mid(stem.size()).compare(ext, Qt::CaseInsensitive) == 0)
            names << name;
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const QString &name : names) {
        if (platform::fileExists(folder + name))
            return folder + name;
    }
    return QString();
}

QList<TaggedSubtitle> FindLanguageSubtitles(const QString &base)
{
    QList<TaggedSubtitle> found;
    const qsizetype sep = platform::lastSeparator(base);
    const QString folder = sep < 0 ? QStringLiteral(".") : base.left(sep + 1);
    const QString stem = base.mid(sep + 1) + QLatin1Char('.');
    DIR *dir = opendir(platform::encodePath(folder).constData());
    if (!dir)
        return found;
    while (dirent *e = readdir(dir)) {
        const QString name = platform::decodeName(QByteArray(e->d_name));
        if (!name.startsWith(stem))
            continue;
        const QString rest = name.mid(stem.size()); // "ko.smi"
        const qsizetype dot = rest.indexOf(QLatin1Char('.'));
        if (dot <= 0 || rest.indexOf(QLatin1Char('.'), dot + 1) >= 0)
            continue;
        const QString ext = rest.mid(dot + 1).toLower();
        if (ext != QLatin1String("smi") && ext != QLatin1String("srt") && ext != QLatin1String("ass")
            && ext != QLatin1String("ssa"))
            continue;
        const QString language = LanguageOfTag(rest.left(dot));
        const QString full = (sep < 0 ? QString() : folder) + name;
        if (!language.isEmpty() && platform::fileExists(full))
            found.append(TaggedSubtitle{ full, ext, language });
    }
    closedir(dir);
    std::sort(found.begin(), found.end(), [](const TaggedSubtitle &a, const TaggedSubtitle &b) {
        const bool ka = a.language == QLatin1String("ko"), kb = b.language == QLatin1String("ko");
        if (ka != kb)
            return ka;
        return a.path < b.path;
    });
    return found;
}

void FindCompanions(FileList &list, int row)
{
    const QString name = list.text(row, FileList::kName);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = list.text(row, FileList::kFolder) + (dot < 0 ? name : name.left(dot));

    for (const char *ext : { "smi", "srt", "ass", "ssa" }) {
        if (!CompanionFile(base, QLatin1String(ext)).isEmpty()) {
            list.setText(row, FileList::kSubtitle, QLatin1String(ext));
            break;
        }
    }
    // Without a plain "base.ext" subtitle, the first one named with a language leads.
    if (list.text(row, FileList::kSubtitle).isEmpty()) {
        const QList<TaggedSubtitle> tagged = FindLanguageSubtitles(base);
        if (!tagged.isEmpty())
            list.setText(row, FileList::kSubtitle, tagged.first().extension);
    }
    static const char *const audio[] = { "aac", "wav", "dts", "ac3", "mp3", "mp2", "wma" };
    for (const char *ext : audio) {
        if (!CompanionFile(base, QLatin1String(ext)).isEmpty()) {
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
        // A name whose bytes are no UTF-8 reaches us with replacement characters and
        // then names nothing: that is a naming problem, not a missing file.
        if (shortPath.isEmpty() && !path.contains(QChar(QChar::ReplacementCharacter))) {
            ++result.missing;
            continue;
        }
        if (shortPath.isEmpty() || !platform::isEncodablePath(shortPath)) {
            ++result.refused;
            continue;
        }
        if (!platform::isScriptSafePath(shortPath)) {
            ++result.unsafe;
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

QString AddFilesMessage(const AddFilesResult &result)
{
    QStringList lines;
    if (result.missing > 0)
        lines << Fmt("%d개의 파일이 존재하지 않음!").d(result.missing);
    if (result.refused > 0)
        lines << RefusedNamesMessage(result.refused);
    if (result.unsafe > 0)
        lines << Fmt("%d개의 파일에서 파일명에 사용할 수 없는 문자(\", \\, 제어 문자) 포함!").d(result.unsafe);
    return lines.join(QLatin1Char('\n'));
}
