// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportLayout.h"

QList<ReportSection *> ReportLayout::sections()
{
    QList<ReportSection *> all = {&reportHeader, &pageHeader, &detail, &pageFooter, &reportFooter};
    for (auto &g : groups) {
        all.append(&g.header);
        all.append(&g.footer);
    }
    return all;
}

ReportField *ReportLayout::field(const QString &fieldName)
{
    for (ReportSection *s : sections())
        for (auto &f : s->fields)
            if (f.name.compare(fieldName, Qt::CaseInsensitive) == 0)
                return &f;
    return nullptr;
}

const ReportField *ReportLayout::field(const QString &fieldName) const
{
    return const_cast<ReportLayout *>(this)->field(fieldName);
}
