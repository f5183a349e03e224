#include "GoldenDiff.h"

#include <QFile>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> splitLines(const QByteArray &bytes)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : bytes) {
        if (c == '\r') {
            line += "\\r";
        } else if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line + "  (no final line feed)");
    return lines;
}

// A plain LCS diff: fixtures are a few dozen lines.
std::string lineDiff(const std::vector<std::string> &a, const std::vector<std::string> &b)
{
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<unsigned>> lcs(n + 1, std::vector<unsigned>(m + 1, 0));
    for (size_t i = n; i-- > 0;) {
        for (size_t j = m; j-- > 0;)
            lcs[i][j] = a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    }
    std::string out = "--- expected\n+++ actual\n";
    size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            out += "  " + a[i] + "\n";
            ++i;
            ++j;
        } else if (i < n && (j == m || lcs[i + 1][j] >= lcs[i][j + 1])) {
            out += "- " + a[i++] + "\n";
        } else {
            out += "+ " + b[j++] + "\n";
        }
    }
    return out;
}

} // namespace

::testing::AssertionResult matchesGolden(const QByteArray &actual, const QString &goldenPath)
{
    QFile file(goldenPath);
    if (!file.open(QIODevice::ReadOnly))
        return ::testing::AssertionFailure() << "cannot read golden file " << goldenPath.toStdString();
    const QByteArray expected = file.readAll();
    if (actual == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "output differs from " << goldenPath.toStdString() << "\n"
                                         << lineDiff(splitLines(expected), splitLines(actual));
}

QString fixturePath(const char *name)
{
    const char *root = std::getenv("MARBLEWAY_SOURCE_DIR");
    const QString dir = root && *root ? QString::fromUtf8(root) + QStringLiteral("/tests/subtitles_ttxt/data")
                                      : QStringLiteral(TTXT_FIXTURE_DIR);
    return dir + QLatin1Char('/') + QString::fromUtf8(name);
}
