#include "BenchHarness.h"

#include "base/Module.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
CBenchMeasure* s_FirstMeasure = nullptr;
const void* volatile s_KeptResult = nullptr;

const int kDefaultRuns = 15;

double Milliseconds(LONGLONG ticks, LONGLONG frequency)
{
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(frequency);
}

LONGLONG TimeOneRun(CBenchFunction function)
{
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    function();
    QueryPerformanceCounter(&end);
    return end.QuadPart - start.QuadPart;
}

LONGLONG Median(std::vector<LONGLONG>& samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t middle = samples.size() / 2;
    if (samples.size() % 2 == 1)
        return samples[middle];
    return (samples[middle - 1] + samples[middle]) / 2;
}

// Runs the operation and its baseline alternately, after one unmeasured warm-up of each, so that
// both see the same drift of the machine.
void RunMeasure(const CBenchMeasure& measure, int runsOverride, LONGLONG frequency)
{
    const int runs = runsOverride > 0 ? runsOverride : (measure.Runs > 0 ? measure.Runs : kDefaultRuns);
    measure.Baseline();
    measure.Operation();
    std::vector<LONGLONG> operationTicks;
    std::vector<LONGLONG> baselineTicks;
    for (int i = 0; i < runs; i++)
    {
        baselineTicks.push_back(TimeOneRun(measure.Baseline));
        operationTicks.push_back(TimeOneRun(measure.Operation));
    }
    const double operation = Milliseconds(Median(operationTicks), frequency);
    const double baseline = Milliseconds(Median(baselineTicks), frequency);
    const double ratio = baseline > 0 ? operation / baseline : 0.0;
    char goal[32] = "";
    if (measure.Goal > 0)
        std::snprintf(goal, sizeof(goal), "<= %.2f %s", measure.Goal, ratio <= measure.Goal ? "met" : "MISSED");
    std::printf("%-28s %12.3f ms %12.3f ms %10.2f %-15s %d runs\n", measure.Name, operation, baseline, ratio, goal,
                runs);
    std::printf("%-28s   operation: %s\n", "", measure.OperationText);
    std::printf("%-28s   baseline:  %s\n", "", measure.BaselineText);
    std::fflush(stdout);
}

void PrintUsage()
{
    std::printf("usage: vantor_bench [--list] [--runs N] [measure...]\n"
                "Runs every measure, or those named; prints the median time of the operation and of its\n"
                "baseline (the floor it is compared with) over the runs, their ratio, and the ratio the\n"
                "measure is meant to stay under.\n");
}
} // namespace

void RegisterBenchMeasure(CBenchMeasure* measure)
{
    measure->Next = s_FirstMeasure;
    s_FirstMeasure = measure;
}

CBenchMeasure* FirstBenchMeasure()
{
    return s_FirstMeasure;
}

void BenchKeep(const void* result)
{
    s_KeptResult = result;
}

int main(int argc, char** argv)
{
    // The program stands in for the module: its own instance carries the module's resources.
    g_ModuleInstance = GetModuleHandleW(nullptr);
    g_WideApisAvailable = IsNtPlatform();

    std::vector<CBenchMeasure*> measures;
    for (CBenchMeasure* measure = FirstBenchMeasure(); measure != nullptr; measure = measure->Next)
        measures.push_back(measure);
    std::sort(measures.begin(), measures.end(),
              [](const CBenchMeasure* a, const CBenchMeasure* b) { return std::strcmp(a->Name, b->Name) < 0; });

    int runs = 0;
    bool list = false;
    std::vector<const char*> wanted;
    for (int i = 1; i < argc; i++)
    {
        if (std::strcmp(argv[i], "--list") == 0)
            list = true;
        else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (argv[i][0] == '-')
        {
            PrintUsage();
            return 2;
        }
        else
            wanted.push_back(argv[i]);
    }
    if (list)
    {
        for (const CBenchMeasure* measure : measures)
            std::printf("%-28s %s\n", measure->Name, measure->OperationText);
        return 0;
    }
    for (const char* name : wanted)
    {
        const bool known =
            std::any_of(measures.begin(), measures.end(),
                        [name](const CBenchMeasure* measure) { return std::strcmp(measure->Name, name) == 0; });
        if (!known)
        {
            std::fprintf(stderr, "no measure named %s (--list shows them)\n", name);
            return 2;
        }
    }

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    // One thread on one processor: the scheduler moving the program between cores adds noise.
    SetThreadAffinityMask(GetCurrentThread(), 1);
    std::printf("%-28s %15s %15s %10s %-15s\n", "measure", "operation", "baseline (floor)", "ratio", "goal");
    for (const CBenchMeasure* measure : measures)
    {
        const bool chosen = wanted.empty() ||
                            std::any_of(wanted.begin(), wanted.end(),
                                        [measure](const char* name) { return std::strcmp(measure->Name, name) == 0; });
        if (chosen)
            RunMeasure(*measure, runs, frequency.QuadPart);
    }
    return 0;
}
