#pragma once

// Crash reporting: one "[UNHANDLED_EXCEPTION] code=0x.. address=0x.." line in
// the runtime log before the process dies.
//
// On Windows this is an unhandled-exception filter. Elsewhere a signal handler
// for SIGSEGV, SIGBUS, SIGFPE and SIGILL writes the same line (code = signal
// number, address = faulting address) using only async-signal-safe calls, then
// lets the default action end the process.

#ifdef _WIN32
#include <windows.h>
LONG WINAPI crashExceptionFilter(EXCEPTION_POINTERS* exceptionPointers);
#endif

// Installs the platform crash hook. Call first thing in main().
void installCrashHooks();

// The signal handler cannot ask Qt where the log lives; call this again once
// the application object exists so it writes where the other lines go.
void updateCrashLogLocation();

// Formats the crash line's hex number the way the log wants it (lower case,
// no padding). Writes into buf (at least 17 bytes) and returns the length.
int formatCrashHex(unsigned long long value, char* buf);
