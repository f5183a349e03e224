#pragma once

#include <QString>

#include <memory>
#include <optional>

class QSettings;

namespace platform {

// The per-user store the options live in: QSettings under organisation "Tarvolin",
// application "Marbleway" (~/.config/Tarvolin/Marbleway.conf; tests move it with
// XDG_CONFIG_HOME). Values are typed the way the window program stored them:
// 32-bit numbers and strings.
class SettingsStore
{
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // Creates the (empty) key when it is missing.
    void ensureExists();

    // A value that is missing or does not parse as a 32-bit number gives nothing.
    std::optional<qint32> readNumber(const QString &name) const;
    // A value that is missing, or longer than maxLength characters, gives nothing.
    std::optional<QString> readString(const QString &name, qsizetype maxLength) const;

    void writeNumber(const QString &name, qint32 value);
    void writeString(const QString &name, const QString &value);

    // Deletes every value (the whole key).
    void removeAll();
    void sync();

    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace platform
