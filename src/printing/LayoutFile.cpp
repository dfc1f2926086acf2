// SPDX-License-Identifier: GPL-3.0-or-later
#include "LayoutFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {

bool readFile(const QString &path, QByteArray *out, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = path + u": "_s + f.errorString();
        return false;
    }
    *out = f.readAll();
    return true;
}

class Parser
{
public:
    Parser(const QByteArray &xml, const QString &origin) : m_xml(xml), m_origin(origin) {}

    QString error() const { return m_error; }

    // Walks the file; with want empty it only collects the names.
    bool run(const QString &want, QStringList *names, std::optional<ReportLayout> *found)
    {
        if (!m_xml.readNextStartElement())
            return fail(u"file di layout vuoto"_s);
        if (m_xml.name() != u"reportLayouts"_s)
            return fail(u"l'elemento radice deve essere <reportLayouts>"_s);
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() != u"report"_s) {
                m_xml.skipCurrentElement();
                continue;
            }
            const QString name = m_xml.attributes().value(u"name"_s).toString();
            if (names)
                names->append(name);
            if (found && !found->has_value() && !want.isEmpty() && name == want) {
                ReportLayout r;
                r.name = name;
                if (!readReport(r))
                    return false;
                *found = std::move(r);
            } else {
                m_xml.skipCurrentElement();
            }
        }
        if (m_xml.hasError())
            return fail(m_xml.errorString());
        return true;
    }

private:
    bool fail(const QString &what)
    {
        if (m_error.isEmpty())
            m_error = m_origin + u':' + QString::number(m_xml.lineNumber()) + u": "_s + what;
        return false;
    }

    bool number(const QXmlStreamAttributes &a, const QString &key, int *out)
    {
        if (!a.hasAttribute(key))
            return true;
        bool ok = false;
        const int v = a.value(key).toInt(&ok);
        if (!ok || v < 0)
            return fail(u"l'attributo "_s + key + u" deve essere un numero intero di twip, non \""_s
                + a.value(key).toString() + u'"');
        *out = v;
        return true;
    }

    bool flag(const QXmlStreamAttributes &a, const QString &key, bool *out)
    {
        if (!a.hasAttribute(key))
            return true;
        const QString v = a.value(key).toString().toLower();
        if (v == u"true"_s || v == u"1"_s || v == u"yes"_s)
            *out = true;
        else if (v == u"false"_s || v == u"0"_s || v == u"no"_s)
            *out = false;
        else
            return fail(u"l'attributo "_s + key + u" deve essere true o false"_s);
        return true;
    }

    bool readReport(ReportLayout &r)
    {
        const auto a = m_xml.attributes();
        if (!number(a, u"width"_s, &r.width) || !number(a, u"textColumns"_s, &r.textColumns)
            || !number(a, u"marginLeft"_s, &r.marginLeft) || !number(a, u"marginTop"_s, &r.marginTop)
            || !number(a, u"marginRight"_s, &r.marginRight) || !number(a, u"marginBottom"_s, &r.marginBottom))
            return false;
        if (r.width <= 0 || r.textColumns <= 0)
            return fail(u"un documento vuole una larghezza e un numero di colonne di testo maggiori di 0"_s);
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"section"_s) {
                const QString kind = m_xml.attributes().value(u"kind"_s).toString();
                ReportSection *s = kind == u"reportHeader"_s ? &r.reportHeader
                    : kind == u"pageHeader"_s                ? &r.pageHeader
                    : kind == u"detail"_s                    ? &r.detail
                    : kind == u"pageFooter"_s                ? &r.pageFooter
                    : kind == u"reportFooter"_s              ? &r.reportFooter
                                                             : nullptr;
                if (!s)
                    return fail(u"tipo di sezione sconosciuto \""_s + kind + u'"');
                if (!readSection(*s))
                    return false;
            } else if (m_xml.name() == u"group"_s) {
                ReportGroup g;
                const auto ga = m_xml.attributes();
                g.name = ga.value(u"name"_s).toString();
                g.expression = ga.value(u"expression"_s).toString();
                if (!number(ga, u"sort"_s, &g.sort))
                    return false;
                while (m_xml.readNextStartElement()) {
                    ReportSection *s = m_xml.name() == u"header"_s ? &g.header
                        : m_xml.name() == u"footer"_s              ? &g.footer
                                                                   : nullptr;
                    if (!s)
                        return fail(u"un gruppo contiene solo <header> e <footer>"_s);
                    s->visible = true;
                    if (!readSection(*s))
                        return false;
                }
                r.groups.append(std::move(g));
            } else {
                return fail(u"elemento inatteso <"_s + m_xml.name().toString() + u'>');
            }
        }
        return !m_xml.hasError() || fail(m_xml.errorString());
    }

    bool readSection(ReportSection &s)
    {
        const auto a = m_xml.attributes();
        if (!number(a, u"height"_s, &s.height) || !flag(a, u"visible"_s, &s.visible))
            return false;
        while (m_xml.readNextStartElement()) {
            ReportField f;
            const auto fa = m_xml.attributes();
            const auto el = m_xml.name();
            if (el == u"field"_s)
                f.kind = fa.hasAttribute(u"expression"_s) ? ReportField::Kind::Expression : ReportField::Kind::Text;
            else if (el == u"subreport"_s)
                f.kind = ReportField::Kind::Subreport;
            else if (el == u"line"_s)
                f.kind = ReportField::Kind::Line;
            else
                return fail(u"elemento inatteso <"_s + el.toString() + u'>');
            f.name = fa.value(u"name"_s).toString();
            f.text = fa.value(u"text"_s).toString();
            f.expression = fa.value(u"expression"_s).toString();
            f.report = fa.value(u"report"_s).toString();
            if (f.kind == ReportField::Kind::Subreport && f.report.isEmpty())
                f.report = f.name;
            if (!number(fa, u"left"_s, &f.left) || !number(fa, u"top"_s, &f.top) || !number(fa, u"width"_s, &f.width)
                || !number(fa, u"height"_s, &f.height) || !flag(fa, u"visible"_s, &f.visible) || !flag(fa, u"wrap"_s, &f.wrap)
                || !flag(fa, u"bold"_s, &f.font.bold) || !flag(fa, u"italic"_s, &f.font.italic)
                || !flag(fa, u"underline"_s, &f.font.underline))
                return false;
            if (fa.hasAttribute(u"font"_s))
                f.font.family = fa.value(u"font"_s).toString();
            if (fa.hasAttribute(u"size"_s)) {
                bool ok = false;
                f.font.size = fa.value(u"size"_s).toDouble(&ok);
                if (!ok || f.font.size <= 0 || f.font.size > 200)
                    return fail(u"l'attributo size deve essere un numero di punti"_s);
            }
            const QString align = fa.value(u"align"_s).toString();
            if (align == u"center"_s)
                f.align = ReportField::Align::Center;
            else if (align == u"right"_s)
                f.align = ReportField::Align::Right;
            else if (!align.isEmpty() && align != u"left"_s)
                return fail(u"l'attributo align deve essere left, center o right"_s);
            m_xml.skipCurrentElement();
            s.fields.append(std::move(f));
        }
        return !m_xml.hasError() || fail(m_xml.errorString());
    }

    QXmlStreamReader m_xml;
    QString m_origin;
    QString m_error;
};

} // namespace

namespace {

// Every ticket reads its layout file; what was parsed from it is kept while its bytes stay the same.
// The time and size tell that a file is unchanged only once it was read well after its last write
// (as a version-control tool trusts its index): two writes within one tick of the file system's
// clock, with the same size, leave the same stamp, so until then the bytes themselves are compared.
struct CachedFile
{
    QDateTime modified;
    qint64 size = -1;
    bool settled = false; // read later than a write could still leave the stamp as it is
    QByteArray xml;
    std::optional<QStringList> names;
    QHash<QString, std::optional<ReportLayout>> reports;
};

// The file at path, with what was parsed from its present bytes; nullptr when it is unreadable.
CachedFile *cached(const QString &path, QString *error)
{
    constexpr qint64 StampTickMs = 2000; // the coarsest of the usual file systems' clocks
    static QHash<QString, CachedFile> files;
    const QFileInfo info(path);
    CachedFile &c = files[path];
    if (c.settled && c.modified == info.lastModified() && c.size == info.size())
        return &c;
    QByteArray xml;
    if (!readFile(path, &xml, error))
        return nullptr;
    if (c.xml != xml)
        c = CachedFile{{}, -1, false, std::move(xml), {}, {}};
    c.modified = info.lastModified();
    c.size = info.size();
    c.settled = c.modified.msecsTo(QDateTime::currentDateTime()) > StampTickMs;
    return &c;
}

} // namespace

std::optional<QStringList> LayoutFile::reportNames(const QString &path, QString *error)
{
    CachedFile *c = cached(path, error);
    if (!c)
        return std::nullopt;
    if (!c->names) {
        // A failure is not kept: the file may be fixed before the next print.
        Parser p(c->xml, path);
        QStringList names;
        if (!p.run({}, &names, nullptr)) {
            if (error)
                *error = p.error();
            return std::nullopt;
        }
        c->names = names;
    }
    return c->names;
}

std::optional<ReportLayout> LayoutFile::load(const QString &path, const QString &reportName, QString *error)
{
    CachedFile *c = cached(path, error);
    if (!c)
        return std::nullopt;
    auto it = c->reports.find(reportName);
    if (it == c->reports.end()) {
        QString failure;
        std::optional<ReportLayout> layout = parse(c->xml, reportName, path, &failure);
        if (!layout) {
            if (error)
                *error = failure;
            return std::nullopt;
        }
        it = c->reports.insert(reportName, layout);
    }
    return *it;
}

std::optional<ReportLayout> LayoutFile::parse(const QByteArray &xml, const QString &reportName, const QString &origin,
                                              QString *error)
{
    Parser p(xml, origin);
    std::optional<ReportLayout> found;
    if (!p.run(reportName, nullptr, &found)) {
        if (error)
            *error = p.error();
        return std::nullopt;
    }
    if (!found && error)
        *error = origin + u": no report named \""_s + reportName + u'"';
    return found;
}
