// SPDX-License-Identifier: GPL-3.0-or-later
#include "CrashReport.h"

#include "Version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSaveFile>
#include <zip.h>

using namespace Qt::StringLiterals;

namespace diagnostics {

namespace {
const QStringList LooseSuffixes{u"glb"_s, u"err"_s, u"reg"_s, u"stk"_s, u"loc"_s, u"env"_s};

bool writeText(const QString &path, const QString &text, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0 || !f.commit()) {
        if (error)
            *error = path + u": "_s + f.errorString();
        return false;
    }
    return true;
}

QString globalsText()
{
    QString text;
    text += u"programma="_s + QCoreApplication::applicationFilePath() + u'\n';
    text += u"argomenti="_s + QCoreApplication::arguments().mid(1).join(u' ') + u'\n';
    text += u"pid="_s + QString::number(QCoreApplication::applicationPid()) + u'\n';
    text += u"versione="_s + versionText() + u'\n';
    text += u"cartella="_s + QDir::currentPath() + u'\n';
    text += u"qt="_s + QString::fromLatin1(qVersion()) + u'\n';
    return text;
}

QString environmentText()
{
    QStringList lines = QProcessEnvironment::systemEnvironment().toStringList();
    lines.sort();
    return maskSecrets(lines.join(u'\n')) + u'\n';
}
} // namespace

QString maskSecrets(const QString &text)
{
    static const QRegularExpression uriPassword(u"(://[^:/@\\s]*:)[^@\\s]*@"_s);
    static const QRegularExpression secretVariable(
        u"^([A-Za-z0-9_]*(PASS|SECRET|TOKEN|KEY|CREDENTIAL|AUTH)[A-Za-z0-9_]*=).*$"_s,
        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
    QString out = text;
    out.replace(uriPassword, u"\\1***@"_s);
    out.replace(secretVariable, u"\\1***"_s);
    return out;
}

CrashReport::CrashReport(QString folder, ErrorRecord record, QString customerId, QString email)
    : m_folder(std::move(folder)), m_record(std::move(record)), m_customerId(std::move(customerId)),
      m_email(std::move(email))
{
    // Two faults in one second must not overwrite each other's report.
    const QDir dir(m_folder);
    m_stem = m_record.errorTime;
    for (int n = 2; dir.exists(u"qm10error#"_s + m_stem + u".zip"_s) || dir.exists(u"tmp-"_s + m_stem + u".err"_s);
         ++n)
        m_stem = m_record.errorTime + u'-' + QString::number(n);
}

QString CrashReport::loosePath(const QString &suffix) const
{
    return QDir(m_folder).filePath(u"tmp-"_s + m_stem + u'.' + suffix);
}

QString CrashReport::screenshotPath() const
{
    return QDir(m_folder).filePath(u"screen-"_s + m_stem + u".png"_s);
}

QString CrashReport::archivePath() const
{
    return QDir(m_folder).filePath(u"qm10error#"_s + m_stem + u".zip"_s);
}

bool CrashReport::write(QString *error)
{
    if (!QDir().mkpath(m_folder)) {
        if (error)
            *error = u"cartella non creata: "_s + m_folder;
        return false;
    }
    const ErrorRecord &r = m_record;
    const QString locals = r.locals.isEmpty() ? u"(nessun valore)\n"_s : r.locals + u'\n';
    const QMap<QString, QString> texts{
        {u"glb"_s, globalsText()},
        {u"err"_s, errFileText(r, m_customerId, m_email)},
        {u"reg"_s, maskSecrets(r.registryExtract)},
        {u"stk"_s, r.callTrace + u"\nGestori in esecuzione:\n"_s + r.runningHandlers},
        {u"loc"_s, u"Errore "_s + QString::number(r.number) + u": "_s + r.description + u"\nRiga: "_s
                       + QString::number(r.line) + u'\n' + locals},
        {u"env"_s, environmentText()},
    };
    QStringList files;
    for (const QString &suffix : LooseSuffixes) {
        if (!writeText(loosePath(suffix), texts.value(suffix), error))
            return false;
        files << loosePath(suffix);
    }
    if (QFileInfo::exists(screenshotPath()))
        files << screenshotPath();
    if (!zipFiles(archivePath(), files, error))
        return false;
    for (const QString &f : files)
        QFile::remove(f);
    m_written = true;
    return true;
}

bool zipFiles(const QString &archive, const QStringList &files, QString *error)
{
    int code = 0;
    zip_t *z = zip_open(QFile::encodeName(archive).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!z) {
        if (error)
            *error = archive + u": zip_open "_s + QString::number(code);
        return false;
    }
    for (const QString &f : files) {
        zip_source_t *source = zip_source_file(z, QFile::encodeName(f).constData(), 0, -1);
        if (!source || zip_file_add(z, QFileInfo(f).fileName().toUtf8().constData(), source,
                                    ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
            if (source)
                zip_source_free(source);
            if (error)
                *error = f + u": "_s + QString::fromUtf8(zip_strerror(z));
            zip_discard(z);
            QFile::remove(archive);
            return false;
        }
    }
    if (zip_close(z) != 0) {
        if (error)
            *error = archive + u": "_s + QString::fromUtf8(zip_strerror(z));
        zip_discard(z);
        QFile::remove(archive);
        return false;
    }
    return true;
}

QStringList zipEntries(const QString &archive)
{
    QStringList names;
    int code = 0;
    zip_t *z = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY, &code);
    if (!z)
        return names;
    const zip_int64_t n = zip_get_num_entries(z, 0);
    for (zip_int64_t i = 0; i < n; ++i)
        names << QString::fromUtf8(zip_get_name(z, zip_uint64_t(i), 0));
    zip_discard(z);
    return names;
}

QStringList archiveLeftovers(const QString &folder)
{
    // Loose files are "tmp-T.x" and "screen-T.png"; each T is one report.
    static const QRegularExpression loose(u"^(?:tmp-(.+)\\.[a-z]+|screen-(.+)\\.png)$"_s);
    QMap<QString, QStringList> byStem;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files)) {
        const QRegularExpressionMatch m = loose.match(name);
        if (m.hasMatch())
            byStem[m.captured(1).isEmpty() ? m.captured(2) : m.captured(1)] << dir.filePath(name);
    }
    QStringList written;
    for (auto it = byStem.cbegin(); it != byStem.cend(); ++it) {
        const QString archive = dir.filePath(u"qm10error#"_s + it.key() + u".zip"_s);
        if (QFileInfo::exists(archive))
            continue;
        if (zipFiles(archive, it.value())) {
            for (const QString &f : it.value())
                QFile::remove(f);
            written << archive;
        }
    }
    return written;
}

} // namespace diagnostics
