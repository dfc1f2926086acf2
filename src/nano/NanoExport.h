// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class clsDatabase;

// The radio handhelds' copy of the menu: the text file the access point distributes to them.
namespace nano {

inline const QString NomeFileDatabase = QStringLiteral("DBRestaurantNano.txt");

// Writes the file at path (Windows-1252, CR LF lines) from the open database and numbers the
// categories, variation-category pairs and operators in their id_nano columns. 1 when the whole
// file was written and closed; 0 when a query or the file failed (the file is left as written).
int creaDatabaseNano(clsDatabase &db, const QString &path);

// The work folder for files like the export: folder/QM9Temp/ under the user's temporary folder,
// created private to the user. Empty when it cannot be made private (another user owns it, or
// it is a link).
QString cartellaTemporanea(const QString &tempRoot);

} // namespace nano
