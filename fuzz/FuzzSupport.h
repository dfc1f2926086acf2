// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// What the fuzz targets share: one Qt application for the whole run (no windows), the log kept
// quiet (a rejected input is logged on every run), and a demo restaurant in a private folder.
namespace fuzz {

void initialise();
// The path of a fresh demo restaurant database, created once per process.
QString demoDatabase();
// The input as handheld wire text (one byte per character, Windows-1252).
QString wireText(const uint8_t *data, size_t size);

} // namespace fuzz
