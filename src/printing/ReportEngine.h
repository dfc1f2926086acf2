// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RenderedDocument.h"
#include "ReportLayout.h"

#include <QHash>
#include <QString>
#include <optional>

class cReportData;

// One report engine: holds a report loaded from a layout file, lets the print operations write
// its fields by name, bind a data source, attach subreport engines and add groups, and lays it
// out for a printer. The print window has two: the main report's and the subreport's.
class ReportEngine
{
public:
    // True while the engine is laying a report out; it takes no new report then.
    bool isBusy() const { return m_busy; }
    void clear();

    // The names of the reports of a file, separated by tab characters ("" when unreadable).
    static QString reportList(const QString &path, QString *error = nullptr);

    bool load(const QString &path, const QString &reportName);
    // A layout made in code (plain-text documents that no layout file describes).
    void setLayout(ReportLayout layout)
    {
        clear();
        m_layout = std::move(layout);
    }
    bool isLoaded() const { return m_layout.has_value(); }
    QString reportName() const { return m_layout ? m_layout->name : QString(); }
    const ReportLayout *layout() const { return m_layout ? &*m_layout : nullptr; }

    bool hasField(const QString &name) const;
    QString fieldText(const QString &name) const;
    bool setFieldText(const QString &name, const QString &text);
    // Makes the subreport field show what the given engine holds.
    bool setSubreport(const QString &fieldName, ReportEngine *engine);

    void setRecordset(cReportData *data) { m_data = data; }
    cReportData *recordset() const { return m_data; }

    // Adds a group (innermost so far) and returns it, so its header and footer can be set up.
    ReportGroup *addGroup(const QString &name, const QString &expression, int sort);

    std::optional<RenderedDocument> render(const PaperSize &paper);

    QString lastError() const { return m_error; }

private:
    std::optional<ReportLayout> m_layout;
    QHash<QString, ReportEngine *> m_subreports;
    cReportData *m_data = nullptr;
    bool m_busy = false;
    QString m_error;
};
