#pragma once

#include <QString>

#include <vector>

// A timed list of faults for corvane-unit-sim --scenario FILE, one per line:
//
//     AT_MS UNIT FAULT [DURATION_MS]
//
// AT_MS counts from the moment the program prints "ready"; UNIT is 1-based; FAULT is a
// simulator command without "SIM_" (the texts --fault takes); DURATION_MS makes the fault end
// by itself (SERL, the serving profile, and DROP and TRKL, which count answers, take none). Blank
// lines and lines starting with "#" are ignored. parse() is a pure function of the text: it checks
// each fault by handing it to a scratch SimulatedUnit.
class Scenario
{
public:
    struct Step
    {
        qint64 atMs = 0;
        int unit = 0;    // 0-based
        QString command; // the whole simulator command, e.g. "SIM_SLNT=10000"
    };

    // Steps in the order of their times (lines with the same time keep their order), or the
    // first error: errorLine is its 1-based line number, 0 when there is none.
    struct Parsed
    {
        std::vector<Step> steps;
        int errorLine = 0;
        QString error;
        bool ok() const { return errorLine == 0; }
    };

    static Parsed parse(const QString &text, int unitCount);
};
