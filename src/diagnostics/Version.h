// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The program's version and build, as the build system gives them.
namespace diagnostics {
QString version();      // "10.0.20"
QString build();        // the build number
QString versionText();  // "10.0.20 (Build: 10.0.20.<build>)"
} // namespace diagnostics
