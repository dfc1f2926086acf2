// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

class AccessPoint;
class ControlChannel;
class NanoControl;
class frmStampeDocumenti;
class NanoHandlers;
class Registry;
class ServerContext;
class modNano;

// The radio service put together: the message handlers, the receive loop with its TimerNano, and
// the window's actions; start-up's poll switch points at the loop. Created once by the program.
class NanoWiring
{
public:
    explicit NanoWiring(ServerContext &context);
    ~NanoWiring();
    NanoWiring(const NanoWiring &) = delete;
    NanoWiring &operator=(const NanoWiring &) = delete;

    // The serial driver, or the null one when [PlikoServer] AccessPoint is "none".
    static std::unique_ptr<AccessPoint> creaAccessPoint(const Registry &registry);

    modNano &nano() { return *m_nano; }
    NanoControl &control() { return *m_control; }
    // The "duvu ..." commands of the control channel and the radio lines of "status".
    void registraComandi(ControlChannel &channel);

private:
    ServerContext &m_ctx;
    std::unique_ptr<frmStampeDocumenti> m_stampe;
    std::unique_ptr<NanoHandlers> m_handlers;
    std::unique_ptr<modNano> m_nano;
    std::unique_ptr<NanoControl> m_control;
};
