#pragma once

#include <QtGlobal>

// A seeded run of random cases: bounded in the suite, as long as wanted on demand through
// ZORVANE_FUZZ_SEED and ZORVANE_FUZZ_CASES. The run's figures are logged, so a failure can be made again.
struct FuzzRun {
    quint32 seed;
    int cases;

    static FuzzRun fromEnvironment(quint32 seed, int cases)
    {
        bool ok = false;
        const quint32 givenSeed = qEnvironmentVariable("ZORVANE_FUZZ_SEED").toUInt(&ok);
        if (ok)
            seed = givenSeed;
        const int givenCases = qEnvironmentVariableIntValue("ZORVANE_FUZZ_CASES", &ok);
        if (ok && givenCases > 0)
            cases = givenCases;
        qInfo("ZORVANE_FUZZ_SEED=%u ZORVANE_FUZZ_CASES=%d", seed, cases);
        return {seed, cases};
    }
};
