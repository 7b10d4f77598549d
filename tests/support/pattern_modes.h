#pragma once

#include <QTest>

#include <cstdio>

// Runs every test of T twice: with the pattern component's JIT, then with
// its interpreter alone, as on a system that refuses executable memory. T is
// constructed from the mode (true: JIT). Header only, for Qt Test's main.
template <typename T> int ExecInBothPatternModes(int argc, char **argv)
{
    int failed = 0;
    for (const bool jit : {true, false}) {
        std::printf("*** pattern component %s\n", jit ? "with JIT" : "without JIT");
        T test(jit);
        failed += QTest::qExec(&test, argc, argv);
    }
    return failed;
}
