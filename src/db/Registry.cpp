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
}

Registry::~Registry() = default;

QVariant Registry::value(const QString &key, const QString &name, bool *found) const
{
    const QString k = settingsKey(key, name);
    const bool has = m_settings->contains(k);
    if (found)
        *found = has;
    if (!has)
        return {};
    const QVariant v = m_settings->value(k);
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(u',');
    return v;
}

void Registry::setValue(const QString &key, const QString &name, const QVariant &value)
{
    m_settings->setValue(settingsKey(key, name), value);
}

void Registry::sync()
{
    m_settings->sync();
}

QString Registry::option(const QString &name, const QString &defaultValue) const
{
    bool found = false;
    const QVariant v = value(OwnKey, name, &found);
    return found ? v.toString().trimmed() : defaultValue;
}
