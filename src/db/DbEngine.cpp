// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbEngine.h"

int TableInfo::column(const QString &name) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}
