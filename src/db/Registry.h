// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVariant>
#include <memory>

class QSettings;

// The registry's place: an INI file with one section per registry key path (the key path under
// HKEY_LOCAL_MACHINE, backslashes and all) and the section [PlikoServer] for this program's own
// options. Values holding commas are read back as one text.
class Registry
{
public:
    static inline const QString BackOfficeKey = QStringLiteral("Software\\Orvanta\\Quillmark10\\Config");
    static inline const QString OwnKey = QStringLiteral("PlikoServer");

    explicit Registry(const QString &iniPath);
    ~Registry();

    QString path() const { return m_path; }
    // A value of a key; *found tells whether it was there (an absent value reads as null).
    QVariant value(const QString &key, const QString &name, bool *found = nullptr) const;
    void setValue(const QString &key, const QString &name, const QVariant &value);
    void sync();

    QVariant backOffice(const QString &name, bool *found = nullptr) const { return value(BackOfficeKey, name, found); }
    QString option(const QString &name, const QString &defaultValue = {}) const;

private:
    QString m_path;
    std::unique_ptr<QSettings> m_settings;
};
