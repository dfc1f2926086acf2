// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ReportLayout.h"

#include <QStringList>
#include <optional>

// Reads our XML layout files (docs/report-layouts.md): the names of the reports a file holds, and
// one report by its exact name. Faults are told as "file:line: what".
class LayoutFile
{
public:
    static std::optional<QStringList> reportNames(const QString &path, QString *error = nullptr);
    static std::optional<ReportLayout> load(const QString &path, const QString &reportName, QString *error = nullptr);
    // The same from text already read (tests and the tool).
    static std::optional<ReportLayout> parse(const QByteArray &xml, const QString &reportName, const QString &origin,
                                             QString *error = nullptr);
};
