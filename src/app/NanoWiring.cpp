// SPDX-License-Identifier: GPL-3.0-or-later
#include "NanoWiring.h"

#include "ControlChannel.h"
#include "NanoControl.h"
#include "NullAccessPoint.h"
#include "Registry.h"
#include "SerialAccessPoint.h"
#include "ThreadedAccessPoint.h"
#include "ServerContext.h"
#include "frmStampeDocumenti.h"
#include "modNanoComande.h"
#include "modNano.h"

using namespace Qt::StringLiterals;

namespace {
// Runs one window action for the shell: refused while the same action runs (from the window or
// another shell), and answered with the log lines the window would show.
ControlChannel::Reply azione(NanoControl &control, const QString &key, const std::function<bool()> &action)
{
    ControlChannel::Reply reply;
    if (!control.entra(key)) {
        reply.ok = false;
        reply.lines.append(u"operazione già in corso"_s);
        return reply;
    }
    const QMetaObject::Connection c =
        QObject::connect(&control, &NanoControl::logLine, [&reply](const QString &line) { reply.lines.append(line); });
    reply.ok = action();
    QObject::disconnect(c);
    control.esci(key);
    return reply;
}

ControlChannel::Reply uso(const QString &text) { return {false, {u"uso: "_s + text}}; }
} // namespace

NanoWiring::NanoWiring(ServerContext &context) : m_ctx(context)
{
    // The radio message handlers: the one place they are chosen.
    // The radio has a print window of its own: a ticket of a radio order never finds the engines busy
    // with a TCP order's pre-bill.
    m_stampe = std::make_unique<frmStampeDocumenti>(context.database(), context.registry(), &context.ui());
    auto comande = std::make_unique<modNanoComande>(context.database(), context.server(), &context.ui(), m_stampe.get());
    comande->setEsito([&context](qint32 idComanda) {
        context.stats.apply([idComanda](ServerStats &s) {
            s.radioOrderRecorded(idComanda != -1);
            if (idComanda != -1)
                s.setLastOrderKey(idComanda);
        });
    });
    m_handlers = std::move(comande);
    m_nano = std::make_unique<modNano>(context.accessPoint(), *m_handlers, context.database(), &context.ui());
    m_nano->setPercorsoDatabase([&context] { return context.databasePath; });
    m_nano->setEsecutore([&context](std::function<void()> work) {
        if (context.runOnDatabase)
            context.runOnDatabase(std::move(work));
        else
            work();
    });
    m_control = std::make_unique<NanoControl>(context.accessPoint(), *m_nano, context.database(), &context.ui(),
                                              context.nanoActive);
    m_control->setCartellaTemporanea([&context] { return context.temporaryFolder; });
    context.stats.setRadioSource([this, &context] {
        ServerStats::Radio r;
        r.polls = quint64(m_nano->polls());
        r.failedPolls = quint64(m_nano->failedPolls());
        r.lineLost = context.accessPoint().lineaPersa();
        r.linkUp = m_control->collegato() && !r.lineLost;
        r.transferPercent = m_control->trasferimento() ? m_control->percentuale() : -1;
        return r;
    });
    context.startNanoPolling = [this] {
        m_control->collegamentoAvviato();
        m_nano->abilitaRicezione();
        m_control->ricezioneAvviata();
    };
}

NanoWiring::~NanoWiring()
{
    m_ctx.startNanoPolling = nullptr;
    m_ctx.stats.setRadioSource({});
}

std::unique_ptr<AccessPoint> NanoWiring::creaAccessPoint(const Registry &registry)
{
    if (registry.option(u"AccessPoint"_s).trimmed().compare(u"none"_s, Qt::CaseInsensitive) == 0)
        return std::make_unique<NullAccessPoint>();
    // The serial line lives on a thread of its own: a slow or dead device never stalls the handhelds.
    const SerialAccessPoint::Settings settings = SerialAccessPoint::readSettings(registry);
    return std::make_unique<ThreadedAccessPoint>([settings] { return std::make_unique<SerialAccessPoint>(settings); });
}

void NanoWiring::registraComandi(ControlChannel &channel)
{
    NanoControl &c = *m_control;
    channel.addStatusSection([&c] { return QStringList{u"Duvu: "_s + c.stato()}; });
    channel.registerCommand(
        u"duvu"_s, u"duvu connect N | close | visible on|off | reception on|off | send-db"_s,
        [&c](const QStringList &args) -> ControlChannel::Reply {
            const QString what = args.value(0);
            const QString onOff = args.value(1);
            if (what == u"connect"_s) {
                bool ok = false;
                const qint32 port = args.value(1).toInt(&ok);
                if (!ok || port < 1 || port > 99 || args.size() != 2)
                    return uso(u"duvu connect N (N da 1 a 99)"_s);
                return azione(c, u"cmdConnetti"_s, [&c, port] { return c.connettiAccessPoint(port); });
            }
            if (what == u"close"_s && args.size() == 1)
                return azione(c, u"cmdChiudiConnessione"_s, [&c] {
                    c.chiudiConnessione();
                    return true;
                });
            if (what == u"visible"_s && args.size() == 2 && (onOff == u"on"_s || onOff == u"off"_s)) {
                if (onOff == u"on"_s)
                    return azione(c, u"cmdAbilitaVisibile"_s, [&c] { return c.abilitaVisibile(); });
                return azione(c, u"cmdDisabilitaVisibile"_s, [&c] {
                    c.disabilitaVisibile();
                    return true;
                });
            }
            if (what == u"reception"_s && args.size() == 2 && (onOff == u"on"_s || onOff == u"off"_s)) {
                if (onOff == u"on"_s)
                    return azione(c, u"cmdAbilitaRicezione"_s, [&c] { return c.abilitaRicezione(); });
                return azione(c, u"cmdFermaRicezione"_s, [&c] {
                    c.fermaRicezione();
                    return true;
                });
            }
            if (what == u"send-db"_s && args.size() == 1) {
                if (!c.collegato())
                    return {false, {u"Access point non connesso"_s}};
                return azione(c, u"cmdInviaDB"_s, [&c] { return c.inviaDatabase(); });
            }
            return uso(u"duvu connect N | close | visible on|off | reception on|off | send-db"_s);
        });
}
