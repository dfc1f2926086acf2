// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <memory>

class QSettings;

// The registry's place: an INI file with one section per registry key path (the key path under
// HKEY_LOCAL_MACHINE, backslashes and all) and the section [PlikoServer] for this program's own
// options. Values holding commas are read back as one text. The file is read once, when the
// object is made.
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
    // The value names of a key, as the file holds them.
    QStringList names(const QString &key) const;
    // Takes the other file's place (a reload that was found good).
    void swap(Registry &other) noexcept;

    QVariant backOffice(const QString &name, bool *found = nullptr) const { return value(BackOfficeKey, name, found); }
    QString option(const QString &name, const QString &defaultValue = {}) const;
    // Moves on whenever a value is set or the file replaced: what a reader worked out from the
    // values holds while it stays the same.
    quint64 generation() const { return m_generation.load(std::memory_order_acquire); }

private:
    QString m_path;
    std::unique_ptr<QSettings> m_settings;
    // The values as read when the object was made: another object reading the same file later (a
    // reload that is then refused) does not change what this one answers.
    QMap<QString, QVariant> m_values;
    std::atomic<quint64> m_generation{0};
};
