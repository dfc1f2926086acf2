// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportEngine.h"

#include "cReportData.h"

#include "LayoutFile.h"
#include "ReportRenderer.h"

using namespace Qt::StringLiterals;

void ReportEngine::clear()
{
    m_layout.reset();
    m_subreports.clear();
    m_data = nullptr;
    m_error.clear();
}

QString ReportEngine::reportList(const QString &path, QString *error)
{
    const auto names = LayoutFile::reportNames(path, error);
    return names ? names->join(u'\t') : QString();
}

bool ReportEngine::load(const QString &path, const QString &reportName)
{
    clear();
    m_layout = LayoutFile::load(path, reportName, &m_error);
    return m_layout.has_value();
}

bool ReportEngine::hasField(const QString &name) const
{
    return m_layout && m_layout->field(name);
}

QString ReportEngine::fieldText(const QString &name) const
{
    const ReportField *f = m_layout ? m_layout->field(name) : nullptr;
    return f ? f->text : QString();
}

bool ReportEngine::setFieldText(const QString &name, const QString &text)
{
    ReportField *f = m_layout ? m_layout->field(name) : nullptr;
    if (!f) {
        m_error = u"nessun campo \""_s + name + u"\" nel documento"_s;
        return false;
    }
    f->text = cReportData::limitaTesto(text, name);
    return true;
}

bool ReportEngine::setSubreport(const QString &fieldName, ReportEngine *engine)
{
    const ReportField *f = m_layout ? m_layout->field(fieldName) : nullptr;
    if (!f || f->kind != ReportField::Kind::Subreport) {
        m_error = u"nessun campo di sottodocumento \""_s + fieldName + u"\" nel documento"_s;
        return false;
    }
    m_subreports.insert(f->name.toLower(), engine);
    return true;
}

ReportGroup *ReportEngine::addGroup(const QString &name, const QString &expression, int sort)
{
    if (!m_layout)
        return nullptr;
    ReportGroup g;
    g.name = name;
    g.expression = expression;
    g.sort = sort;
    m_layout->groups.append(g);
    return &m_layout->groups.last();
}

std::optional<RenderedDocument> ReportEngine::render(const PaperSize &paper)
{
    if (!m_layout) {
        m_error = u"nessun documento caricato"_s;
        return std::nullopt;
    }
    m_busy = true;
    ReportRenderer::Subreports subs;
    for (auto it = m_subreports.cbegin(); it != m_subreports.cend(); ++it)
        if (it.value() && it.value()->layout())
            subs.insert(it.key(), {it.value()->layout(), it.value()->recordset()});
    RenderedDocument doc = ReportRenderer::render(*m_layout, m_data, subs, paper);
    m_busy = false;
    return doc;
}
