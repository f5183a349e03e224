#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace platform {

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Tarvolin"), QStringLiteral("Marbleway")))
{
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::ensureExists()
{
    const QString file = m_settings->fileName();
    if (!QFileInfo::exists(file)) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        if (f.open(QIODevice::WriteOnly))
            f.close();
    }
}

std::optional<qint32> SettingsStore::readNumber(const QString &name) const
{
    const QVariant v = m_settings->value(name);
    if (!v.isValid())
        return std::nullopt;
    bool ok = false;
    const QString text = v.toString().trimmed();
    const qint64 n = text.toLongLong(&ok, 10);
    if (!ok || text.isEmpty() || n < INT32_MIN || n > UINT32_MAX)
        return std::nullopt;
    // A double word read back as a signed field, as the window program did.
    return static_cast<qint32>(static_cast<quint32>(n));
}

std::optional<QString> SettingsStore::readString(const QString &name, qsizetype maxLength) const
{
    const QVariant v = m_settings->value(name);
    if (!v.isValid() || v.typeId() == QMetaType::QStringList)
        return std::nullopt;
    const QString s = v.toString();
    if (s.size() > maxLength)
        return std::nullopt;
    return s;
}

void SettingsStore::writeNumber(const QString &name, qint32 value)
{
    m_settings->setValue(name, value);
}

void SettingsStore::writeString(const QString &name, const QString &value)
{
    m_settings->setValue(name, value);
}

void SettingsStore::removeAll()
{
    m_settings->clear();
    m_settings->sync();
}

void SettingsStore::sync()
{
    m_settings->sync();
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

} // namespace platform
