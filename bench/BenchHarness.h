#pragma once

// The benchmark program's registry of measures. A measure times one operation against a
// baseline operation in the same process and the same run, so that the ratio between them says
// something even on a loaded machine where absolute times drift.
//
// A file under bench/ adds its measures with VANTOR_BENCH and nothing else; BenchMain.cpp runs
// them all, or those named on its command line:
//
//     namespace
//     {
//     void BuildMenu() { ... }          // the operation measured
//     void CreateEmptyMenu() { ... }    // what it is compared with
//     }
//     VANTOR_BENCH(MenuCascaded, "QueryContextMenu, cascaded, 11 items", BuildMenu,
//                  "CreatePopupMenu and DestroyMenu", CreateEmptyMenu);
//
// The baseline is the floor of the operation: what any implementation of it must do at least. A
// measure may carry the ratio it is meant to stay under (VANTOR_BENCH_GOAL); the program prints
// it beside the ratio measured.
//
// Each call of a function is one run; a run should take well above the timer's resolution (a
// millisecond or more), so fast operations loop inside. State that a measure needs once can live
// in function-local statics.

#include <windows.h>

typedef void (*CBenchFunction)();

struct CBenchMeasure
{
    const char* Name;
    const char* OperationText;
    CBenchFunction Operation;
    const char* BaselineText;
    CBenchFunction Baseline;
    int Runs;    // 0: the harness's default
    double Goal; // the ratio the operation should stay at or below; 0: none
    CBenchMeasure* Next;
};

// Puts a measure into the program's list. Called by the static registrations of VANTOR_BENCH
// before main; the list head is constant-initialised, so the order of static construction
// across files does not matter.
void RegisterBenchMeasure(CBenchMeasure* measure);
CBenchMeasure* FirstBenchMeasure();

struct CBenchRegistration
{
    explicit CBenchRegistration(CBenchMeasure* measure) { RegisterBenchMeasure(measure); }
};

// Keeps the compiler from dropping a result that nothing else reads.
void BenchKeep(const void* result);

#define VANTOR_BENCH_GOAL(name, operationText, operation, baselineText, baseline, runs, goal)                          \
    static CBenchMeasure s_BenchMeasure_##name = {#name,    operationText, operation, baselineText,                    \
                                                  baseline, runs,          goal,      nullptr};                        \
    static CBenchRegistration s_BenchRegistration_##name(&s_BenchMeasure_##name)

#define VANTOR_BENCH_RUNS(name, operationText, operation, baselineText, baseline, runs)                                \
    VANTOR_BENCH_GOAL(name, operationText, operation, baselineText, baseline, runs, 0.0)

#define VANTOR_BENCH(name, operationText, operation, baselineText, baseline)                                           \
    VANTOR_BENCH_RUNS(name, operationText, operation, baselineText, baseline, 0)
