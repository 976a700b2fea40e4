#include "app/commandline.h"

#include <QFileInfo>

CommandLineOptions parseCommandLine(const QStringList& args)
{
    static const QString smokeSwitch = QStringLiteral("--smoke-test");
    static const QString outputPrefix = QStringLiteral("--smoke-output=");

    CommandLineOptions options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg.compare(smokeSwitch, Qt::CaseInsensitive) == 0) {
            options.smokeTest = true;
            continue;
        }
        if (arg.startsWith(outputPrefix, Qt::CaseInsensitive)) {
            options.hasSmokeOutput = true;
            options.smokeOutputDir = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            continue;
        }
        if (i == 0 || arg.startsWith(QLatin1Char('-')) || !options.meshPath.isEmpty())
            continue;
        const QFileInfo info(arg);
        if (info.exists() && info.isFile())
            options.meshPath = info.absoluteFilePath();
    }
    return options;
}
