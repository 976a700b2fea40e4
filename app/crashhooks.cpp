#include "app/crashhooks.h"

#include "app/runtimelog.h"

#include <QByteArray>
#include <QDir>
#include <QString>

#include <cstring>
#include <ctime>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#endif

int formatCrashHex(unsigned long long value, char* buf)
{
    static const char digits[] = "0123456789abcdef";
    char tmp[17];
    int n = 0;
    do {
        tmp[n++] = digits[value & 0xf];
        value >>= 4;
    } while (value != 0);
    for (int i = 0; i < n; ++i)
        buf[i] = tmp[n - 1 - i];
    buf[n] = '\0';
    return n;
}

#ifdef _WIN32

LONG WINAPI crashExceptionFilter(EXCEPTION_POINTERS* exceptionPointers)
{
    unsigned long long code = 0;
    unsigned long long address = 0;
    if (exceptionPointers && exceptionPointers->ExceptionRecord) {
        code = static_cast<unsigned long>(exceptionPointers->ExceptionRecord->ExceptionCode);
        address = reinterpret_cast<unsigned long long>(exceptionPointers->ExceptionRecord->ExceptionAddress);
    }
    char c[17], a[17];
    formatCrashHex(code, c);
    formatCrashHex(address, a);
    writeRuntimeLog(QStringLiteral("[UNHANDLED_EXCEPTION] code=0x%1 address=0x%2")
                        .arg(QString::fromLatin1(c), QString::fromLatin1(a)));
    return EXCEPTION_EXECUTE_HANDLER;
}

void installCrashHooks()
{
    SetUnhandledExceptionFilter(crashExceptionFilter);
}

void updateCrashLogLocation() {}

#else

namespace {

// Everything the handler needs is prepared outside it.
char g_logPath[4096];
long g_utcOffsetSeconds = 0;

void prepareLogPath()
{
    const QByteArray path = QDir(runtimeLogDirectory()).filePath(QString::fromLatin1(kRuntimeLogFileName)).toLocal8Bit();
    const size_t n = std::min<size_t>(static_cast<size_t>(path.size()), sizeof(g_logPath) - 1);
    std::memcpy(g_logPath, path.constData(), n);
    g_logPath[n] = '\0';

    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    g_utcOffsetSeconds = local.tm_gmtoff;
}

void appendNumber(char*& out, long value, int width)
{
    char tmp[24];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 || n < width);
    while (n > 0)
        *out++ = tmp[--n];
}

void appendText(char*& out, const char* text)
{
    while (*text)
        *out++ = *text++;
}

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void civilFromDays(long z, long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
}

void crashSignalHandler(int sig, siginfo_t* info, void*)
{
    char line[256];
    char* out = line;

    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    const long long local = static_cast<long long>(ts.tv_sec) + g_utcOffsetSeconds;
    long days = static_cast<long>(local / 86400);
    long secs = static_cast<long>(local % 86400);
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    long year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    appendNumber(out, year, 4);
    *out++ = '-';
    appendNumber(out, month, 2);
    *out++ = '-';
    appendNumber(out, day, 2);
    *out++ = 'T';
    appendNumber(out, secs / 3600, 2);
    *out++ = ':';
    appendNumber(out, (secs / 60) % 60, 2);
    *out++ = ':';
    appendNumber(out, secs % 60, 2);
    *out++ = '.';
    appendNumber(out, ts.tv_nsec / 1000000, 3);

    appendText(out, " [UNHANDLED_EXCEPTION] code=0x");
    out += formatCrashHex(static_cast<unsigned long long>(sig), out);
    appendText(out, " address=0x");
    const unsigned long long address = info ? reinterpret_cast<unsigned long long>(info->si_addr) : 0;
    out += formatCrashHex(address, out);
    *out++ = '\n';

    const int fd = open(g_logPath, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd >= 0) {
        ssize_t ignored = write(fd, line, static_cast<size_t>(out - line));
        (void)ignored;
        close(fd);
    }

    // Let the default action end the process (core dump, signal exit status).
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    _exit(128 + sig);
}

} // namespace

void installCrashHooks()
{
    prepareLogPath();
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_sigaction = crashSignalHandler;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        sigaction(sig, &action, nullptr);
}

void updateCrashLogLocation()
{
    prepareLogPath();
}

#endif
