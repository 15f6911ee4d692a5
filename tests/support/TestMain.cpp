#include "TestSupport.h"

// The test program stands in for the module: its own instance carries the module's resources.
int main(int argc, char** argv)
{
    g_ModuleInstance = GetModuleHandleW(nullptr);
    g_WideApisAvailable = IsNtPlatform();
    // A crash must end the program, not wait for a debugger dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ::testing::InitGoogleTest(&argc, argv);
    return ChildExitCode(RUN_ALL_TESTS());
}
