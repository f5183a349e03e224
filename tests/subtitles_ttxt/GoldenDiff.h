#pragma once

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

// Compares bytes with a golden file and, on a difference, shows a line diff in
// which carriage returns are visible as "\r".
::testing::AssertionResult matchesGolden(const QByteArray &actual, const QString &goldenPath);

// Path of a file in tests/subtitles_ttxt/data.
QString fixturePath(const char *name);
