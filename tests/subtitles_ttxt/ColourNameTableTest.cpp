#include "subtitles/ColourNameTable.h"

#include <QColor>
#include <QString>

#include <gtest/gtest.h>

#include <set>
#include <string>

// Qt's SVG colour keywords are an independent copy of the values to check against.
TEST(ColourNameTable, ValuesAreTheSvgKeywordsExceptAmethyst)
{
    const auto rows = ColourNameTable::rows();
    ASSERT_EQ(rows.size(), 144u);
    std::multiset<std::string> names;
    for (const auto &row : rows) {
        names.insert(row.name);
        if (std::string(row.name) == "Amethyst") {
            EXPECT_STREQ(row.colour, "9966cc");
            continue;
        }
        const QColor svg = QColor::fromString(QString::fromLatin1(row.name));
        ASSERT_TRUE(svg.isValid()) << row.name;
        EXPECT_EQ(QString::fromLatin1(row.colour), svg.name().mid(1)) << row.name;
    }
    EXPECT_EQ(names.count("White"), 2u);
    EXPECT_EQ(names.count("LightSalmon"), 2u);
    EXPECT_EQ(names.count("MediumSlateBlue"), 2u);
    EXPECT_EQ(names.size() - 3, std::set<std::string>(names.begin(), names.end()).size());
    EXPECT_EQ(names.count("LightGray"), 0u);
    EXPECT_EQ(names.count("LightGrey"), 1u);
}

TEST(ColourNameTable, LookupIgnoresCaseAndWantsTheWholeName)
{
    EXPECT_STREQ(ColourNameTable::lookup("darkred"), "8b0000");
    EXPECT_STREQ(ColourNameTable::lookup("DARKRED"), "8b0000");
    EXPECT_EQ(ColourNameTable::lookup("DarkRe"), nullptr);
    EXPECT_EQ(ColourNameTable::lookup("DarkRedd"), nullptr);
    EXPECT_EQ(ColourNameTable::lookup(""), nullptr);
}
