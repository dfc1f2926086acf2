// SPDX-License-Identifier: GPL-3.0-or-later
#include "Version.h"

using namespace Qt::StringLiterals;

namespace diagnostics {

QString version()
{
    return QStringLiteral(PLIKO_VERSION);
}

QString build()
{
    return QStringLiteral(PLIKO_BUILD);
}

QString versionText()
{
    return version() + u" (Build: "_s + version() + u'.' + build() + u')';
}

} // namespace diagnostics
