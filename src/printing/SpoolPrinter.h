// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PrinterBackend.h"

#include <QHash>

// A printer as a folder: the printer name is a subfolder of the spool directory that must exist;
// each job writes NNNNNN.pdf and the same document as NNNNNN.txt beside it, the text last and whole. Numbers continue
// from the highest one in the folder and a file is only ever created new, so no job overwrites an
// earlier one, across restarts and beside another server writing to the same folder.
class SpoolPrinter : public PrinterBackend
{
public:
    explicit SpoolPrinter(const QString &spoolDir) : m_dir(spoolDir) {}

    bool exists(const QString &printer, QString *error) override;
    bool submit(const QString &printer, const RenderedDocument &doc, const QString &title, QString *error) override;
    QString kind() const override { return QStringLiteral("spool"); }

    QString folderOf(const QString &printer) const;

private:
    QString m_dir;
    QHash<QString, int> m_lastNumber;
};
