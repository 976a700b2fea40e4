// Child process for the crash-hook tests: installs the hooks the way the
// program does, then dies the way it is told to.
#include "app/crashhooks.h"
#include "app/runtimelog.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <exception>

namespace {

void writeToAddressSixteen()
{
    // Through a volatile so the compiler cannot see the bad address.
    volatile std::uintptr_t address = 0x10;
    *reinterpret_cast<volatile int*>(address) = 1;
}

} // namespace

int main(int argc, char* argv[])
{
    qInstallMessageHandler(runtimeMessageHandler);
    installCrashHooks();
    std::set_terminate(terminateHandler);
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "segv") == 0) {
        writeToAddressSixteen();
    } else if (std::strcmp(mode, "appsegv") == 0) {
        // As the program does: the crash line follows the log once the
        // application object exists.
        QCoreApplication app(argc, argv);
        updateCrashLogLocation();
        writeToAddressSixteen();
    } else if (std::strcmp(mode, "terminate") == 0) {
        std::terminate();
    } else if (std::strcmp(mode, "fpe") == 0) {
        std::raise(SIGFPE);
    } else if (std::strcmp(mode, "logdirs") == 0) {
        // Before the application object the log goes to the working directory.
        writeRuntimeLog(QStringLiteral("probe before app %1").arg(QString::fromLocal8Bit(argc > 2 ? argv[2] : "")));
        QCoreApplication app(argc, argv);
        writeRuntimeLog(QStringLiteral("probe after app %1").arg(QString::fromLocal8Bit(argc > 2 ? argv[2] : "")));
    } else if (std::strcmp(mode, "fatal") == 0) {
        QCoreApplication app(argc, argv);
        qFatal("probe fatal");
    }
    return 0;
}
