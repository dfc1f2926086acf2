// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// The small parsers that every radio handler shares. They never fail: whatever a handheld sends
// gives fields and numbers, and the callers check that what they need is there.
namespace nano {

// Splits text on separator. With count 0 on entry, count becomes the number of separators and
// fields gets that many entries; field i runs from just after separator i-1 up to separator i, so
// text after the last separator is not a field. Returns the number of fields.
qint32 dividiCampi(const QByteArray &text, char separator, QList<QByteArray> &fields, qint32 &count);

// An optional sign, then decimal digits up to the first other character; no digit gives 0.
// Values beyond 32 bits saturate instead of wrapping.
qint32 leggiIntero(const QByteArray &text);

// A name or note as every radio writer puts it in a record (the export, the replies): "|" ends a
// field and ";" a record of the export, so both become "/".
QString testoRadio(QString text);

} // namespace nano
