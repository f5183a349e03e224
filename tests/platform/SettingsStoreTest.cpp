#include "platform/SettingsStore.h"

#include "TestSupport.h"

#include <QSettings>

#include <gtest/gtest.h>

using namespace platform;

TEST(SettingsStore, LivesInTheSandboxedConfigFolder)
{
    SettingsStore store;
    EXPECT_EQ(store.fileName(), testsupport::sandbox() + QStringLiteral("/config/Tarvolin/Marbleway.conf"));
}

TEST(SettingsStore, NumbersAreThirtyTwoBitValues)
{
    SettingsStore store;
    store.removeAll();
    store.writeNumber(QStringLiteral("n"), -5);
    EXPECT_EQ(store.readNumber(QStringLiteral("n")), -5);
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarvolin"), QStringLiteral("Marbleway"));
    const std::pair<const char *, std::optional<qint32>> cases[] = {
        { "7", 7 },
        { " 12 ", 12 },
        { "-2147483648", INT32_MIN },
        { "4294967295", -1 }, // a double word read into a signed field
        { "4294967296", std::nullopt },
        { "-2147483649", std::nullopt },
        { "0x10", std::nullopt },
        { "1.0", std::nullopt },
        { "", std::nullopt },
        { "one", std::nullopt },
    };
    for (const auto &[text, expected] : cases) {
        raw.setValue(QStringLiteral("n"), QString::fromLatin1(text));
        raw.sync();
        EXPECT_EQ(store.readNumber(QStringLiteral("n")), expected) << text;
    }
    EXPECT_EQ(store.readNumber(QStringLiteral("absent")), std::nullopt);
    store.removeAll();
}

TEST(SettingsStore, StringsLongerThanTheLimitAreSkipped)
{
    SettingsStore store;
    store.removeAll();
    store.writeString(QStringLiteral("s"), QString(259, QLatin1Char('x')));
    EXPECT_EQ(store.readString(QStringLiteral("s"), 259), QString(259, QLatin1Char('x')));
    store.writeString(QStringLiteral("s"), QString(260, QLatin1Char('x')));
    EXPECT_EQ(store.readString(QStringLiteral("s"), 259), std::nullopt);
    EXPECT_EQ(store.readString(QStringLiteral("absent"), 259), std::nullopt);
    store.removeAll();
}
