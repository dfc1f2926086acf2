// SPDX-License-Identifier: GPL-3.0-or-later
#include "SpoolPrinter.h"

#include "DocumentWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

QString SpoolPrinter::folderOf(const QString &printer) const
{
    return QDir(m_dir).filePath(printer);
}

bool SpoolPrinter::exists(const QString &printer, QString *error)
{
    // A printer name is one folder name: nothing that climbs out of the spool directory.
    if (m_dir.isEmpty() || printer.isEmpty() || printer.contains(u'/') || printer.contains(u'\\')
        || printer == u"."_s || printer == u".."_s) {
        if (error)
            *error = m_dir.isEmpty() ? u"nessuna cartella di stampa configurata (PrintSpoolDir)"_s
                                     : u"\""_s + printer + u"\" non è un nome di stampante su cartella"_s;
        return false;
    }
    if (!QFileInfo(folderOf(printer)).isDir()) {
        if (error)
            *error = u"manca la cartella della stampante: "_s + folderOf(printer);
        return false;
    }
    return true;
}

bool SpoolPrinter::submit(const QString &printer, const RenderedDocument &doc, const QString &title, QString *error)
{
    if (!exists(printer, error))
        return false;
    const QString folder = folderOf(printer);
    int number = 0;
    const auto cached = m_lastNumber.constFind(folder);
    if (cached != m_lastNumber.constEnd()) {
        number = *cached;
    } else {
        const auto names = QDir(folder).entryList({u"*.pdf"_s, u"*.txt"_s}, QDir::Files);
        for (const auto &n : names) {
            bool ok = false;
            const int v = QFileInfo(n).completeBaseName().toInt(&ok);
            if (ok)
                number = std::max(number, v);
        }
    }
    const QByteArray pdf = DocumentWriter::pdf(doc, title);
    const QByteArray text = DocumentWriter::text(doc).toUtf8();
    // Claim a number by creating its PDF new; a number taken meanwhile is passed over.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        ++number;
        const QString base = QDir(folder).filePath(QString::number(number).rightJustified(6, u'0'));
        QFile pdfFile(base + u".pdf"_s);
        if (!pdfFile.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(pdfFile.fileName()))
                continue;
            if (error)
                *error = pdfFile.fileName() + u": "_s + pdfFile.errorString();
            return false;
        }
        // The text appears whole or not at all (written aside, then renamed): a job whose .txt is
        // there is complete, which is what a check after a stop relies on.
        QSaveFile textFile(base + u".txt"_s);
        if (QFileInfo::exists(textFile.fileName()) || !textFile.open(QIODevice::WriteOnly)) {
            pdfFile.remove();
            if (QFileInfo::exists(textFile.fileName()))
                continue;
            if (error)
                *error = textFile.fileName() + u": "_s + textFile.errorString();
            return false;
        }
        const bool written = pdfFile.write(pdf) == pdf.size() && pdfFile.flush() && textFile.write(text) == text.size()
            && textFile.commit();
        if (!written) {
            if (error)
                *error = base + u": "_s + (pdfFile.error() != QFile::NoError ? pdfFile.errorString()
                                                                             : textFile.errorString());
            pdfFile.close();
            textFile.cancelWriting();
            pdfFile.remove();
            return false;
        }
        m_lastNumber.insert(folder, number);
        m_lastJob = pdfFile.fileName();
        return true;
    }
    if (error)
        *error = folder + u": no free job number"_s;
    return false;
}
