// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintControl.h"

#include "Registry.h"

using namespace Qt::StringLiterals;

PrinterBackend *PrintControl::backend()
{
    if (!m_backend)
        m_backend = PrinterBackend::create(m_registry);
    return m_backend.get();
}

bool PrintControl::startAfresh()
{
    m_document.reset();
    m_device.clear();
    m_error.clear();
    m_paper = *PaperSize::fromCode(PaperSize::A4);
    m_backend = PrinterBackend::create(m_registry);
    return m_backend != nullptr;
}

bool PrintControl::setDevice(const QString &printer)
{
    m_device.clear();
    if (!backend()->exists(printer, &m_error))
        return false;
    m_device = printer;
    return true;
}

bool PrintControl::setPaperSize(int code)
{
    const auto paper = PaperSize::fromCode(code);
    if (!paper) {
        m_error = u"unknown page setting "_s + QString::number(code);
        return false;
    }
    m_paper = *paper;
    return true;
}

bool PrintControl::printDocument(const QString &title)
{
    if (!m_document) {
        m_error = u"nothing rendered"_s;
        return false;
    }
    if (m_device.isEmpty()) {
        m_error = u"no printer selected"_s;
        return false;
    }
    return backend()->submit(m_device, *m_document, title, &m_error);
}
