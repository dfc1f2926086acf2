// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PaperSize.h"
#include "PrinterBackend.h"
#include "RenderedDocument.h"

#include <functional>
#include <memory>
#include <optional>

class Registry;

// The print control of the print window: the selected printer and page setting, the document
// rendered last, and sending it. The backend follows the configuration at every start, so a
// change of [PlikoServer] takes effect at the next print.
class PrintControl
{
public:
    explicit PrintControl(const Registry &registry) : m_registry(registry) {}

    // Drops the previous document and printer choice.
    bool startAfresh();
    // Selects a printer; false when it cannot be selected (lastError tells why).
    bool setDevice(const QString &printer);
    QString device() const { return m_device; }
    // A Windows paper code; false when it names no paper we know.
    bool setPaperSize(int code);
    const PaperSize &paper() const { return m_paper; }

    void setDocument(RenderedDocument doc) { m_document = std::move(doc); }
    const std::optional<RenderedDocument> &document() const { return m_document; }
    // Sends the document to the selected printer.
    bool printDocument(const QString &title);

    QString lastError() const { return m_error; }
    PrinterBackend *backend();
    // What the last job became (spool file, CUPS job), "" when none was accepted.
    QString lastJob() { return m_backend ? m_backend->lastJob() : QString(); }

    // Told of every job: the printer, whether it was accepted, and why not (the operator log and
    // the print counters listen).
    using JobObserver = std::function<void(const QString &printer, bool ok, const QString &error)>;
    void setJobObserver(JobObserver observer) { m_observer = std::move(observer); }

private:
    const Registry &m_registry;
    std::unique_ptr<PrinterBackend> m_backend;
    QString m_backendKey;
    QString m_device;
    PaperSize m_paper = *PaperSize::fromCode(PaperSize::A4);
    std::optional<RenderedDocument> m_document;
    QString m_error;
    JobObserver m_observer;
};
