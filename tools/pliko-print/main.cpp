// SPDX-License-Identifier: GPL-3.0-or-later
// pliko-print: shows how a report of a layout file prints, without a printer. A restaurant uses it
// to try its own layouts (StampeCustom.xml) before putting them beside the server.
//
//   pliko-print [--layout FILE] --report NAME [--field NAME=TEXT]... [--row CELLS]... [--rows FILE]
//               [--courses] [--paper CODE] OUTPUT...
//   pliko-print [--layout FILE] --db DATABASE --order ID [--zone TYPE] [--all] [--paper CODE] OUTPUT...
//   pliko-print [--layout FILE] --db DATABASE --order ID --prebill|--summary|--list [--paper CODE] OUTPUT...
//
// CELLS are the texts of campo_0, campo_1, ... separated by "|"; a rows file holds one row a line.
// OUTPUT is --pdf FILE, --png FILE (one image a page: FILE, FILE-2, ...), --text FILE or --escpos FILE;
// "-" as FILE writes to standard output.

#include "DocumentWriter.h"
#include "ReportEngine.h"
#include "Registry.h"
#include "clsDatabase.h"
#include "cReportData.h"
#include "frmStampeDocumenti.h"
#include "modGestioneTipiDato.h"
#include "OperatorUi.h"
#include "modPlikoServer.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

int fail(const QString &text)
{
    std::fprintf(stderr, "pliko-print: %s\n", text.toLocal8Bit().constData());
    return 1;
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f;
    const bool ok = path == u"-"_s ? f.open(stdout, QIODevice::WriteOnly)
                                   : (f.setFileName(path), f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    return ok && f.write(bytes) == bytes.size();
}

void addRow(cReportData &data, const QString &cells)
{
    const qint16 row = data.righe();
    data.addRighe(1);
    const QStringList pieces = cells.split(u'|');
    for (qsizetype i = 0; i < pieces.size() && i <= cReportData::MaxColumn; ++i)
        data.setDati(row, qint16(i), pieces[i]);
    data.setColonne(std::max<qint16>(data.colonne(), qint16(std::min<qsizetype>(pieces.size(), 41))));
}

// Opens --db and reads --order; on failure *error says why.
qint32 openOrder(const QCommandLineParser &p, clsDatabase &db, QString *error)
{
    db.setYieldBeforeStatements(false);
    if (!QFileInfo::exists(p.value(u"db"_s)) || !db.openDB(p.value(u"db"_s))) {
        *error = u"cannot open the database "_s + p.value(u"db"_s);
        return -1;
    }
    bool ok = false;
    const qint32 order = p.value(u"order"_s).toInt(&ok);
    if (!ok) {
        *error = u"--order needs the id_comanda of an order"_s;
        return -1;
    }
    // An order that does not exist has nothing to print: saying so beats an empty pre-bill.
    const auto rs = db.openSnapshot(u"SELECT id_comanda FROM comande WHERE id_comanda = "_s + QString::number(order));
    if (!rs || rs->isEOF()) {
        *error = u"no order "_s + QString::number(order) + u" in "_s + p.value(u"db"_s);
        return -1;
    }
    return order;
}

// Every output asked for, from the rendered document.
int writeOutputs(const QCommandLineParser &p, const RenderedDocument &doc, const QString &title)
{
    if (p.isSet(u"pdf"_s) && !writeBytes(p.value(u"pdf"_s), DocumentWriter::pdf(doc, title)))
        return fail(u"cannot write "_s + p.value(u"pdf"_s));
    if (p.isSet(u"text"_s) && !writeBytes(p.value(u"text"_s), DocumentWriter::text(doc).toUtf8()))
        return fail(u"cannot write "_s + p.value(u"text"_s));
    if (p.isSet(u"escpos"_s) && !writeBytes(p.value(u"escpos"_s), DocumentWriter::escPos(doc)))
        return fail(u"cannot write "_s + p.value(u"escpos"_s));
    if (p.isSet(u"png"_s)) {
        const QString base = p.value(u"png"_s);
        for (int i = 0; i < doc.pages.size(); ++i) {
            QString path = base;
            if (i > 0) {
                const QFileInfo fi(base);
                path = fi.path() + u'/' + fi.completeBaseName() + u'-' + QString::number(i + 1) + u'.' + fi.suffix();
            }
            if (!DocumentWriter::page(doc, i).save(path, "PNG"))
                return fail(u"cannot write "_s + path);
        }
    }
    return 0;
}

// Pre-bills and order lists are printed by the report window itself: it prints them here on a
// spool printer in a scratch folder, and the document it printed is written where asked.
int renderPrebill(const QCommandLineParser &p, clsDatabase &db, const QString &layout, int paper)
{
    QString error;
    const qint32 order = openOrder(p, db, &error);
    if (order < 0)
        return fail(error);
    QTemporaryDir scratch;
    QDir(scratch.path()).mkpath(u"spool/Preconto"_s);
    Registry registry(scratch.filePath(u"print.ini"_s));
    registry.setValue(Registry::OwnKey, u"PrinterBackend"_s, u"spool"_s);
    registry.setValue(Registry::OwnKey, u"PrintSpoolDir"_s, scratch.filePath(u"spool"_s));
    registry.setValue(Registry::BackOfficeKey, u"zona_ristorante_preconto"_s,
                      QString(u"Preconto|"_s + QString::number(paper)));
    OperatorUi ui;
    frmStampeDocumenti frm(db, registry, &ui, QFileInfo(layout).absolutePath());
    const QString tables = modPlikoServer(db).elencoTavoliComanda(order);
    QString title;
    if (p.isSet(u"list"_s)) {
        frm.stampaListaOrdinazioni(order, tables);
        title = u"Lista ordinazioni tavolo"_s + tables;
    } else {
        if (p.isSet(u"summary"_s))
            frm.stampaPreContoSintetico(order, tables);
        else
            frm.stampaPreConto(order, tables);
        title = u"Preconto tavolo"_s + tables;
    }
    const QStringList jobs = QDir(scratch.filePath(u"spool/Preconto"_s)).entryList({u"*.pdf"_s}, QDir::Files);
    const auto &doc = frm.vp().document();
    if (jobs.isEmpty() || !doc)
        return fail(u"nothing printed"_s + (ui.messages().isEmpty() ? QString() : u": "_s + ui.messages().last()));
    return writeOutputs(p, *doc, title);
}

// Qt's note that it picked a runtime folder of its own (no XDG_RUNTIME_DIR, as under cron or sudo)
// says nothing to someone rendering a file; every other message goes on as usual.
QtMessageHandler defaultHandler = nullptr;
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(u"QStandardPaths:"_s))
        return;
    defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char **argv)
{
    defaultHandler = qInstallMessageHandler(quietHandler);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"pliko-print"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIKO_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(u"Renders a report of a PlikoServer layout file to PDF, PNG or text."_s);
    p.addHelpOption();
    p.addVersionOption();
    p.addOptions({
        {u"layout"_s, u"Layout file (default: stampeRestaurant.xml beside this program)."_s, u"file"_s},
        {u"report"_s, u"Name of the report to render."_s, u"name"_s},
        {u"field"_s, u"Text of a field, as NAME=TEXT (repeatable)."_s, u"field"_s},
        {u"row"_s, u"A data row: campo_0|campo_1|... (repeatable)."_s, u"cells"_s},
        {u"rows"_s, u"A file of data rows, one a line."_s, u"file"_s},
        {u"courses"_s, u"Group the rows by campo_3 under course headers, as kitchen tickets are."_s},
        {u"db"_s, u"Restaurant database: render the kitchen ticket of an order."_s, u"database"_s},
        {u"order"_s, u"The order (id_comanda) whose ticket to render."_s, u"id"_s},
        {u"zone"_s, u"Document type of the ticket: 1 till (default), 2 kitchen, 3 pizzeria, 4 bar."_s, u"type"_s},
        {u"all"_s, u"Every line in full, not only what is still to print."_s},
        {u"prebill"_s, u"Render the pre-bill of the order instead of its kitchen ticket."_s},
        {u"summary"_s, u"Render the summary pre-bill (one row per category) of the order."_s},
        {u"list"_s, u"Render the order list (one row per portion) of the order."_s},
        {u"paper"_s, u"Page setting (Windows paper code): 9 A4 (default), 256 80 mm roll, ..."_s, u"code"_s},
        {u"pdf"_s, u"Write a PDF."_s, u"file"_s},
        {u"png"_s, u"Write PNG images, one a page."_s, u"file"_s},
        {u"text"_s, u"Write the plain text rendition."_s, u"file"_s},
        {u"escpos"_s, u"Write what a thermal printer receives."_s, u"file"_s},
    });
    p.process(app);

    // Beside the program in a build folder; in an installation, in the shared data folder.
    const QDir program(QCoreApplication::applicationDirPath());
    QString layout = p.isSet(u"layout"_s) ? p.value(u"layout"_s) : program.filePath(frmStampeDocumenti::FileStandard);
    const QString installed = program.filePath(u"../share/plikoserver/"_s + frmStampeDocumenti::FileStandard);
    if (!p.isSet(u"layout"_s) && !QFileInfo::exists(layout) && QFileInfo::exists(installed))
        layout = QDir::cleanPath(installed);
    if (!p.isSet(u"pdf"_s) && !p.isSet(u"png"_s) && !p.isSet(u"text"_s) && !p.isSet(u"escpos"_s))
        return fail(u"say where to write: --pdf, --png, --text or --escpos"_s);
    const auto paper = PaperSize::fromCode(p.isSet(u"paper"_s) ? p.value(u"paper"_s).toInt() : PaperSize::A4);
    if (!paper)
        return fail(u"unknown page setting "_s + p.value(u"paper"_s));

    ReportEngine main;
    ReportEngine sub;
    cReportData data;
    bool courses = p.isSet(u"courses"_s);
    QList<std::pair<QString, QString>> fields;

    clsDatabase db;
    if (p.isSet(u"db"_s) && (p.isSet(u"prebill"_s) || p.isSet(u"summary"_s) || p.isSet(u"list"_s)))
        return renderPrebill(p, db, layout, p.isSet(u"paper"_s) ? p.value(u"paper"_s).toInt() : PaperSize::A4);
    if (p.isSet(u"db"_s)) {
        QString error;
        const qint32 order = openOrder(p, db, &error);
        if (order < 0)
            return fail(error);
        const qint32 zone = p.isSet(u"zone"_s) ? p.value(u"zone"_s).toInt() : 1;
        QTemporaryDir scratch;
        Registry registry(scratch.filePath(u"unused.ini"_s));
        frmStampeDocumenti frm(db, registry, nullptr, QFileInfo(layout).absolutePath());
        qint16 rows = 0;
        if (!frm.riempiComanda(order, zone, data, rows, !p.isSet(u"all"_s)))
            return fail(u"cannot read the lines of order "_s + QString::number(order));
        if (rows == 0)
            return fail(u"nothing to print for this zone (try --all)"_s);
        fields = frm.intestazione(order, modPlikoServer(db).elencoTavoliComanda(order).trimmed(),
                                  u"Comanda delle ore: "_s);
        if (!main.load(layout, u"Comanda"_s) || !sub.load(layout, u"Comanda SubReport"_s))
            return fail(main.lastError().isEmpty() ? sub.lastError() : main.lastError());
        main.setSubreport(u"Comanda SubReport"_s, &sub);
        sub.setRecordset(&data);
        courses = true;
    } else {
        if (!p.isSet(u"report"_s))
            return fail(u"say which report: --report NAME (or --db and --order)"_s);
        if (!main.load(layout, p.value(u"report"_s)))
            return fail(main.lastError());
        for (const QString &cells : p.values(u"row"_s))
            addRow(data, cells);
        if (p.isSet(u"rows"_s)) {
            QFile f(p.value(u"rows"_s));
            if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
                return fail(f.fileName() + u": "_s + f.errorString());
            for (const QString &line : QString::fromUtf8(f.readAll()).split(u'\n'))
                if (!line.isEmpty())
                    addRow(data, line);
        }
        for (const QString &f : p.values(u"field"_s)) {
            const qsizetype eq = f.indexOf(u'=');
            if (eq <= 0)
                return fail(u"--field wants NAME=TEXT, not "_s + f);
            fields.append({f.left(eq), f.mid(eq + 1)});
        }
        // Rows go to the report's subreport when it has one, else to the report itself.
        const ReportField *subField = nullptr;
        for (auto *s : const_cast<ReportLayout *>(main.layout())->sections())
            for (const auto &fl : s->fields)
                if (fl.kind == ReportField::Kind::Subreport && !subField)
                    subField = &fl;
        if (subField) {
            if (!sub.load(layout, subField->report))
                return fail(sub.lastError());
            main.setSubreport(subField->name, &sub);
            sub.setRecordset(&data);
        } else if (data.righe() > 0) {
            main.setRecordset(&data);
        }
    }
    for (const auto &[name, text] : fields)
        if (!main.setFieldText(name, text))
            std::fprintf(stderr, "pliko-print: warning: %s\n", main.lastError().toLocal8Bit().constData());
    if (courses)
        frmStampeDocumenti::aggiungiGruppoTurni(sub.isLoaded() ? sub : main);

    const auto doc = main.render(*paper);
    if (!doc)
        return fail(main.lastError());
    return writeOutputs(p, *doc, main.reportName());
}
