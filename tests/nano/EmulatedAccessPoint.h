// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The access point emulated on a pseudo-terminal, and the serial driver's settings that reach it.
#include "DuvuSim.h"
#include "SerialAccessPoint.h"

#include <gtest/gtest.h>
#include <memory>

class EmulatedAccessPointTest : public ::testing::Test
{
protected:
    // Starts the emulator and puts it on the driver's port.
    void startEmulator(qint32 port)
    {
        QString error;
        ASSERT_TRUE(sim.openPty(&error)) << error.toStdString();
        sim.start();
        settings.timeoutMs = 300;
        settings.devices.insert(port, sim.devicePath());
    }

    DuvuSim sim;
    SerialAccessPoint::Settings settings;
    std::unique_ptr<SerialAccessPoint> driver;
};
