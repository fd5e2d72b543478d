#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "sim/Scenario.h"

// corvane-unit-sim's command line, read with the toolkit's parser; its --help describes the
// program, every option and every SIM_ command (the manual page names the same ones).
struct SimulatorOptions
{
    static constexpr int maxUnits = 12;

    struct ListenAddress
    {
        QString host;
        quint16 port = 0;
    };
    struct StartupFault
    {
        int unit = 0; // 0-based
        QString text;
    };

    bool stopWithStdin = false;
    std::vector<ListenAddress> addresses;
    int baseId = 1;
    quint32 seed = 1;
    std::vector<StartupFault> faults;
    std::vector<Scenario::Step> scenario;
    // The SIM_SERL command every unit starts with; empty for the fast profile.
    QString profileCommand;

    // Shows the help and exits 0 itself; returns nothing with *error set for bad arguments.
    static std::optional<SimulatorOptions> parse(const QStringList &arguments, QString *error);
};
