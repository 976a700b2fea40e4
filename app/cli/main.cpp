// halvoran-cli: the geometry core without a window, for batch conversion.
#include "app/cli/commands.h"

#include <QCoreApplication>

#include <clocale>

int main(int argc, char* argv[])
{
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
