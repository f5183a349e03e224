#include "TestFiles.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

void PrintTo(const QByteArray &b, std::ostream *os)
{
    *os << '"' << b.toHex(' ').toStdString() << '"';
}

namespace testfiles {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QString fixture(const QString &name)
{
    const char *src = std::getenv("MARBLEWAY_SOURCE_DIR");
    if (src && *src)
        return QString::fromUtf8(src) + QStringLiteral("/tests/subtitles_text/fixtures/") + name;
    return QStringLiteral(SUBTITLES_FIXTURE_DIR "/") + name;
}

QByteArray utf8Output(const char *text)
{
    QByteArray out("\xEF\xBB\xBF");
    out += QByteArray(text).replace("\n", "\r\n");
    return out;
}

std::string readable(const QByteArray &bytes)
{
    QByteArray b = bytes;
    if (b.startsWith("\xEF\xBB\xBF"))
        b.remove(0, 3);
    else
        b.prepend("[no byte-order mark]\n");
    b.replace("\r\n", "\n");
    b.replace("\r", "[CR]");
    return b.toStdString();
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

Folder::Folder() = default;

QString Folder::write(const QString &name, const QByteArray &bytes) const
{
    const QString p = file(name);
    writeFile(p, bytes);
    return p;
}

} // namespace testfiles
