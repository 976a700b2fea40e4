// halvoran-cli: the geometry core without a window, for batch conversion.
#include "app/cli/commands.h"

#include <QCoreApplication>

#include <clocale>

namespace {

QtMessageHandler qtDefaultHandler = nullptr;

// Batch output stays clean: the load's trace lines (which reader, which
// step) reach stderr only with HALVORAN_CLI_VERBOSE=1; warnings always do.
void quietInfo(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if ((type == QtInfoMsg || type == QtDebugMsg) && !qEnvironmentVariableIsSet("HALVORAN_CLI_VERBOSE"))
        return;
    qtDefaultHandler(type, context, message);
}

} // namespace

int main(int argc, char* argv[])
{
    qtDefaultHandler = qInstallMessageHandler(quietInfo);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("halvoran-cli"));
    std::setlocale(LC_NUMERIC, "C");
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return cli::usage();
    const QString name = args.takeFirst();
    for (const cli::Command& command : cli::commands())
        if (name == QLatin1String(command.name))
            return command.run(args);
    return cli::usage();
}
