// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The first run without a configuration: a configuration file is written with the demo restaurant
// database and spool-folder printers in the user's data folder, so a new user sees the server work
// at once. An existing demo database or spool folder is reused, never overwritten.
class FirstRunSetup
{
public:
    // $XDG_CONFIG_HOME/plikoserver/plikoserver.ini (or the platform's equivalent).
    static QString defaultConfigPath();
    // $XDG_DATA_HOME/plikoserver (or the platform's equivalent).
    static QString defaultDataFolder();

    // Writes configPath with the database and spool folders under dataFolder. False with the reason.
    static bool create(const QString &configPath, const QString &dataFolder, QString *error);
};
