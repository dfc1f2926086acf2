// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintControl.h"

#include "Registry.h"

using namespace Qt::StringLiterals;

PrinterBackend *PrintControl::backend()
{
    // The backend keeps what it learnt (the last job number of each spool folder) while the
    // configuration names the same one.
    const QString key = m_registry.option(u"PrinterBackend"_s, u"spool"_s) + u'|'
        + m_registry.option(u"PrintSpoolDir"_s) + u'|' + m_registry.option(u"CupsServer"_s);
    if (!m_backend || key != m_backendKey) {
        m_backend = PrinterBackend::create(m_registry);
        m_backendKey = key;
    }
    return m_backend.get();
}

bool PrintControl::startAfresh()
{
    m_document.reset();
    m_device.clear();
    m_error.clear();
    m_paper = *PaperSize::fromCode(PaperSize::A4);
    return backend() != nullptr;
}

bool PrintControl::setDevice(const QString &printer)
{
    m_device.clear();
    if (!backend()->exists(printer, &m_error)) {
        if (m_observer)
            m_observer(printer, false, m_error);
        return false;
    }
    m_device = printer;
    return true;
}

bool PrintControl::setPaperSize(int code)
{
    const auto paper = PaperSize::fromCode(code);
    if (!paper) {
        m_error = u"impostazione di pagina sconosciuta "_s + QString::number(code);
        return false;
    }
    m_paper = *paper;
    return true;
}

bool PrintControl::printDocument(const QString &title)
{
    if (!m_document) {
        m_error = u"niente da stampare"_s;
        return false;
    }
    if (m_device.isEmpty()) {
        m_error = u"nessuna stampante scelta"_s;
        return false;
    }
    const bool ok = backend()->submit(m_device, *m_document, title, &m_error);
    if (m_observer)
        m_observer(m_device, ok, ok ? QString() : m_error);
    return ok;
}
