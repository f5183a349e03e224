#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <ostream>
#include <string>

// Readable gtest output for Qt strings.
void PrintTo(const QString &s, std::ostream *os);
void PrintTo(const QByteArray &b, std::ostream *os);

namespace testfiles {

QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);
QString fixture(const QString &name);

// Expected output of the savers: byte-order mark, every "\n" of the UTF-8
// text written as CR LF.
QByteArray utf8Output(const char *text);

// Saved bytes shown as text (byte-order mark dropped, CR LF as "\n"), so
// that a failed golden comparison prints a line diff.
std::string readable(const QByteArray &bytes);

// The file names in a folder, sorted.
QStringList filesIn(const QString &folder);

// A temporary folder whose path ends in a separator, as the converters'
// output folder argument expects.
class Folder
{
public:
    Folder();
    QString path() const { return dir.path() + QLatin1Char('/'); }
    QString file(const QString &name) const { return path() + name; }
    QString write(const QString &name, const QByteArray &bytes) const;

private:
    QTemporaryDir dir;
};

} // namespace testfiles
