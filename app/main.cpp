#include "app/commandline.h"
#include "app/crashhooks.h"
#include "app/runtimelog.h"
#include "app/smokeoutput.h"
#include "ui/mainwindow/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSurfaceFormat>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <exception>
#include <memory>

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL);

    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setSamples(4);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    QSurfaceFormat::setDefaultFormat(format);

    qInstallMessageHandler(runtimeMessageHandler);
    installCrashHooks();
    std::set_terminate(terminateHandler);

    // No application object yet: this line lands in the working directory.
    writeRuntimeLog(QStringLiteral("[START] Halvoran2 launching"));

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Halvoran"));
    QCoreApplication::setOrganizationName(QStringLiteral("Halvoran"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0.0"));
    updateCrashLogLocation();
    // VTK's ASCII readers parse with strtod: keep the decimal point a point.
    std::setlocale(LC_NUMERIC, "C");

    CommandLineOptions options = parseCommandLine(QCoreApplication::arguments());

    auto window = std::make_unique<MainWindow>();
    window->show();

    if (!options.smokeTest) {
        if (!options.meshPath.isEmpty()) {
            const QString path = options.meshPath;
            MainWindow* w = window.get();
            QTimer::singleShot(100, w, [w, path]() { w->beginAsyncLoad(path); });
        }
    } else {
        const QString appDir = QCoreApplication::applicationDirPath();
        const QString outputDir = smokeOutputFolder(options, appDir);
        const QString refusal = smokeOutputRefusal(outputDir);
        if (!refusal.isEmpty()) {
            // Nothing has been touched yet; the folder named is left alone.
            writeRuntimeLog(QStringLiteral("[SMOKE] failed: %1").arg(refusal));
            std::fprintf(stderr, "%s\n", qPrintable(refusal));
            return 1;
        }
        QString meshPath = options.meshPath;
        if (meshPath.isEmpty() && QFileInfo::exists(appDir + QStringLiteral("/test_sphere.stl")))
            meshPath = appDir + QStringLiteral("/test_sphere.stl");
        writeRuntimeLog(QStringLiteral("[SMOKE] starting mesh=%1 output=%2").arg(meshPath, outputDir));
        MainWindow* w = window.get();
        QTimer::singleShot(100, w, [w, meshPath, outputDir]() {
            QString error;
            const bool passed = w->runReleaseSmokeTest(meshPath, outputDir, error);
            if (passed)
                writeRuntimeLog(QStringLiteral("[SMOKE] passed output=%1").arg(outputDir));
            else
                writeRuntimeLog(QStringLiteral("[SMOKE] failed: %1").arg(error));
            QCoreApplication::exit(passed ? 0 : 1);
        });
    }

    const int code = app.exec();
    writeRuntimeLog(QStringLiteral("[EXIT] code=%1").arg(code));
    window.reset();
    return code;
}
