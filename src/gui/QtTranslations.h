// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QCoreApplication;

// The windows speak Italian, and so do Qt's own texts in them (Sì, No, Annulla on standard
// buttons): Qt's Italian translations (package qt6-translations-l10n) are loaded into the
// application. False when they are not installed (the buttons stay in English).
bool installQtItalian(QCoreApplication *app);
