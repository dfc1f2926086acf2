// SPDX-License-Identifier: GPL-3.0-or-later
#include "Registry.h"

#include <QSettings>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {
QString settingsKey(const QString &key, const QString &name)
{
    QString k = key;
    return k.replace(u'\\', u'/') + u'/' + name;
}
} // namespace

Registry::Registry(const QString &iniPath)
    : m_path(iniPath), m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
    for (const QString &k : m_settings->allKeys())
        m_values.insert(k, m_settings->value(k));
}

Registry::~Registry() = default;

QVariant Registry::value(const QString &key, const QString &name, bool *found) const
{
    const auto it = m_values.constFind(settingsKey(key, name));
    const bool has = it != m_values.constEnd();
    if (found)
        *found = has;
    if (!has)
        return {};
    const QVariant v = *it;
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(u',');
    return v;
}

void Registry::setValue(const QString &key, const QString &name, const QVariant &value)
{
    m_settings->setValue(settingsKey(key, name), value);
    m_values.insert(settingsKey(key, name), value);
    m_generation.fetch_add(1, std::memory_order_release);
}

void Registry::sync()
{
    m_settings->sync();
}

QStringList Registry::names(const QString &key) const
{
    const QString prefix = settingsKey(key, {});
    QStringList names;
    for (auto it = m_values.constBegin(); it != m_values.constEnd(); ++it) {
        if (it.key().startsWith(prefix) && !it.key().mid(prefix.size()).contains(u'/'))
            names.append(it.key().mid(prefix.size()));
    }
    return names;
}

void Registry::swap(Registry &other) noexcept
{
    m_path.swap(other.m_path);
    m_settings.swap(other.m_settings);
    m_values.swap(other.m_values);
    m_generation.fetch_add(1, std::memory_order_release);
    other.m_generation.fetch_add(1, std::memory_order_release);
}

QString Registry::option(const QString &name, const QString &defaultValue) const
{
    bool found = false;
    const QVariant v = value(OwnKey, name, &found);
    return found ? v.toString().trimmed() : defaultValue;
}
