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

#include "../ToolHelp.h"

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
        *error = u"impossibile aprire il database "_s + p.value(u"db"_s);
        return -1;
    }
    bool ok = false;
    const qint32 order = p.value(u"order"_s).toInt(&ok);
    if (!ok) {
        *error = u"--order vuole l'id_comanda di una comanda"_s;
        return -1;
    }
    // An order that does not exist has nothing to print: saying so beats an empty pre-bill.
    const auto rs = db.openSnapshot(u"SELECT id_comanda FROM comande WHERE id_comanda = "_s + QString::number(order));
    if (!rs || rs->isEOF()) {
        *error = u"nessuna comanda "_s + QString::number(order) + u" in "_s + p.value(u"db"_s);
        return -1;
    }
    return order;
}

// Every output asked for, from the rendered document.
int writeOutputs(const QCommandLineParser &p, const RenderedDocument &doc, const QString &title)
{
    if (p.isSet(u"pdf"_s) && !writeBytes(p.value(u"pdf"_s), DocumentWriter::pdf(doc, title)))
        return fail(u"impossibile scrivere "_s + p.value(u"pdf"_s));
    if (p.isSet(u"text"_s) && !writeBytes(p.value(u"text"_s), DocumentWriter::text(doc).toUtf8()))
        return fail(u"impossibile scrivere "_s + p.value(u"text"_s));
    if (p.isSet(u"escpos"_s) && !writeBytes(p.value(u"escpos"_s), DocumentWriter::escPos(doc)))
        return fail(u"impossibile scrivere "_s + p.value(u"escpos"_s));
    if (p.isSet(u"png"_s)) {
        const QString base = p.value(u"png"_s);
        for (int i = 0; i < doc.pages.size(); ++i) {
            QString path = base;
            if (i > 0) {
                const QFileInfo fi(base);
                path = fi.path() + u'/' + fi.completeBaseName() + u'-' + QString::number(i + 1) + u'.' + fi.suffix();
            }
            if (!DocumentWriter::page(doc, i).save(path, "PNG"))
                return fail(u"impossibile scrivere "_s + path);
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
        return fail(u"niente stampato"_s + (ui.messages().isEmpty() ? QString() : u": "_s + ui.messages().last()));
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
    p.setApplicationDescription(u"Produce un documento di un file di layout di PlikoServer in PDF, PNG o testo."_s);
    const QCommandLineOption helpOption = tools::addItalianHelp(app, p);
    p.addOptions({
        {u"layout"_s, u"File di layout (predefinito: stampeRestaurant.xml accanto a questo programma)."_s, u"file"_s},
        {u"report"_s, u"Nome del documento da produrre."_s, u"nome"_s},
        {u"field"_s, u"Testo di un campo, come NOME=TESTO (ripetibile)."_s, u"campo"_s},
        {u"row"_s, u"Una riga di dati: campo_0|campo_1|... (ripetibile)."_s, u"celle"_s},
        {u"rows"_s, u"Un file di righe di dati, una per riga."_s, u"file"_s},
        {u"courses"_s,
         u"Raggruppa le righe per campo_3 sotto le intestazioni delle portate, come nei biglietti di cucina."_s},
        {u"db"_s, u"Database del ristorante: produce il biglietto di cucina di una comanda."_s, u"database"_s},
        {u"order"_s, u"La comanda (id_comanda) di cui produrre il biglietto."_s, u"id"_s},
        {u"zone"_s, u"Tipo di documento del biglietto: 1 cassa (predefinito), 2 cucina, 3 pizzeria, 4 bar."_s,
         u"tipo"_s},
        {u"all"_s, u"Ogni riga per intero, non solo quanto resta da stampare."_s},
        {u"prebill"_s, u"Produce il preconto della comanda invece del biglietto di cucina."_s},
        {u"summary"_s, u"Produce il preconto riassuntivo (una riga per categoria) della comanda."_s},
        {u"list"_s, u"Produce l'elenco della comanda (una riga per porzione)."_s},
        {u"paper"_s,
         u"Impostazione della pagina (codice carta di Windows): 9 A4 (predefinito), 256 rotolo da 80 mm, ..."_s,
         u"codice"_s},
        {u"pdf"_s, u"Scrive un PDF."_s, u"file"_s},
        {u"png"_s, u"Scrive immagini PNG, una per pagina."_s, u"file"_s},
        {u"text"_s, u"Scrive la versione in testo semplice."_s, u"file"_s},
        {u"escpos"_s, u"Scrive ciò che riceve una stampante termica."_s, u"file"_s},
    });
    p.process(app);
    tools::showHelpIfAsked(p, helpOption);

    // Beside the program in a build folder; in an installation, in the shared data folder.
    const QDir program(QCoreApplication::applicationDirPath());
    QString layout = p.isSet(u"layout"_s) ? p.value(u"layout"_s) : program.filePath(frmStampeDocumenti::FileStandard);
    const QString installed = program.filePath(u"../share/plikoserver/"_s + frmStampeDocumenti::FileStandard);
    if (!p.isSet(u"layout"_s) && !QFileInfo::exists(layout) && QFileInfo::exists(installed))
        layout = QDir::cleanPath(installed);
    if (!p.isSet(u"pdf"_s) && !p.isSet(u"png"_s) && !p.isSet(u"text"_s) && !p.isSet(u"escpos"_s))
        return fail(u"indicare dove scrivere: --pdf, --png, --text o --escpos"_s);
    const auto paper = PaperSize::fromCode(p.isSet(u"paper"_s) ? p.value(u"paper"_s).toInt() : PaperSize::A4);
    if (!paper)
        return fail(u"impostazione di pagina sconosciuta "_s + p.value(u"paper"_s));

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
            return fail(u"impossibile leggere le righe della comanda "_s + QString::number(order));
        if (rows == 0)
            return fail(u"niente da stampare per questa zona (provare --all)"_s);
        fields = frm.intestazione(order, modPlikoServer(db).elencoTavoliComanda(order).trimmed(),
                                  u"Comanda delle ore: "_s);
        if (!main.load(layout, u"Comanda"_s) || !sub.load(layout, u"Comanda SubReport"_s))
            return fail(main.lastError().isEmpty() ? sub.lastError() : main.lastError());
        main.setSubreport(u"Comanda SubReport"_s, &sub);
        sub.setRecordset(&data);
        courses = true;
    } else {
        if (!p.isSet(u"report"_s))
            return fail(u"indicare quale documento: --report NOME (o --db e --order)"_s);
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
                return fail(u"--field vuole NOME=TESTO, non "_s + f);
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
            std::fprintf(stderr, "pliko-print: avviso: %s\n", main.lastError().toLocal8Bit().constData());
    if (courses)
        frmStampeDocumenti::aggiungiGruppoTurni(sub.isLoaded() ? sub : main);

    const auto doc = main.render(*paper);
    if (!doc)
        return fail(main.lastError());
    return writeOutputs(p, *doc, main.reportName());
}
