// SPDX-License-Identifier: GPL-3.0-or-later
#include "SegnalazioneErrore.h"

#include "PaperSize.h"
#include "PrinterBackend.h"
#include "ReportEngine.h"

using namespace Qt::StringLiterals;

bool stampaSegnalazioneErrore(const diagnostics::ErrorRecord &r, const QString &customerId, const QString &layoutFile,
                              PrinterBackend &backend, const QString &printer, QString *error)
{
    if (printer.isEmpty()) {
        *error = u"nessuna stampante configurata"_s;
        return false;
    }
    if (!backend.exists(printer, error))
        return false;
    ReportEngine engine;
    if (!engine.load(layoutFile, u"Segnalazione Errore"_s)) {
        *error = engine.lastError();
        return false;
    }
    const QList<std::pair<QString, QString>> fields{
        {u"fldCliente"_s, u"Cliente: "_s + customerId},
        {u"fldModulo"_s, u"Modulo: "_s + r.moduleText},
        {u"fldVersione"_s, u"Versione: "_s + r.versionText},
        {u"fldOS"_s, u"Sistema: "_s + r.operatingSystem},
        {u"fldErrore"_s, u"Errore: "_s + r.errorText},
        {u"fldCommento"_s, u"Commento: "_s + r.comment},
    };
    for (const auto &[name, text] : fields)
        engine.setFieldText(name, text);
    const std::optional<PaperSize> paper = PaperSize::fromCode(PaperSize::A4);
    std::optional<RenderedDocument> doc = paper ? engine.render(*paper) : std::nullopt;
    if (!doc) {
        *error = engine.lastError();
        return false;
    }
    return backend.submit(printer, *doc, u"Segnalazione Errore"_s, error);
}
