#pragma once

// Test hooks of the allocation routine. They exist only in the tests' variant of the module's
// code (VANTOR_TEST_HOOKS); the shipped Vantor.dll has none of them.
namespace AllocHooks
{
// Blocks handed out and not yet freed.
long LiveBlocks();
// Allocations made since the process started (successful or failed).
long AllocationCount();
// The n-th allocation from now fails with CNewException (1: the next one); 0 disarms.
void FailNth(long n);
// Whether an armed failure is still pending.
bool FailurePending();
// Places every new block against a no-access page, so that an overrun faults at once.
void SetGuarded(bool guarded);
} // namespace AllocHooks
