#pragma once
// What every window test sets up: a shown, exposed MainWindow, the
// automation environment (restored however a test ends) and the load wait.
#include "model/section/sectionrequest.h"
#include "ui/mainwindow/mainwindow.h"
#include "tests/ui/common/uitestutil.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QProcess>
#include <QProgressDialog>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <memory>
#include <vector>

constexpr int kLoadTimeoutMs = 60000;

// Sets environment variables and puts the old values back on restore() or
// destruction, so a check that fails early leaves no automation behind.
class ScopedEnv {
public:
    void set(const char* name, const QByteArray& value)
    {
        saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        qputenv(name, value);
    }
    void restore()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->wasSet ? qputenv(it->name, it->value) : qunsetenv(it->name);
        saved_.clear();
    }
    ~ScopedEnv() { restore(); }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    std::vector<Saved> saved_;
};

// The section the window should show for its current controls, computed apart.
inline SectionLines expectedSection(const MainWindow& window)
{
    SectionRequest request;
    request.axis = axisFromIndex(window.findChild<QComboBox*>(QStringLiteral("sliceAxisCombo"))->currentIndex());
    request.position = float(window.findChild<QDoubleSpinBox*>(QStringLiteral("sliceExactSpin"))->value());
    request.bandThickness = float(window.findChild<QDoubleSpinBox*>(QStringLiteral("bandThicknessSpin"))->value());
    request.keepRatio = float(window.findChild<QSlider*>(QStringLiteral("keepRatioSlider"))->value()) / 100.0f;
    request.smoothStrength = window.findChild<QSlider*>(QStringLiteral("smooth2DSlider"))->value();
    request.smoothAndChain = true;
    MeshModel copy = window.model();
    return computeSectionLines(copy, request);
}

// Base of the window test classes; each adds Q_OBJECT and its own slots.
class WindowTest : public QObject {
protected:
    // A fresh shown window; in automation mode it writes into a fresh outDir_.
    // What a test set in env_ before stays set.
    void openWindow(bool automation = false, QSize size = {})
    {
        QThreadPool::globalInstance()->waitForDone();
        window_.reset();
        if (automation) {
            outDir_ = std::make_unique<QTemporaryDir>();
            env_.set("HALVORAN_AUTOMATION", "1");
            env_.set("HALVORAN_AUTOMATION_OUTPUT_DIR", QFile::encodeName(outDir_->path()));
        }
        window_ = std::make_unique<MainWindow>();
        if (size.isValid())
            window_->resize(size);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    // Lets background work finish, then drops the window and the environment.
    void closeWindow()
    {
        QThreadPool::globalInstance()->waitForDone();
        window_.reset();
        env_.restore();
    }
    void load(const QString& path, bool expectMesh = true)
    {
        window_->beginAsyncLoad(path);
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isLoadInProgress(), kLoadTimeoutMs);
        QCOMPARE(window_->model().hasMesh(), expectMesh);
    }
    QString status() const { return window_->statusBar()->currentMessage(); }
    // Triggers the enabled action with this text.
    void trigger(const QString& text)
    {
        QAction* action = findAction(window_.get(), text);
        QVERIFY2(action, qPrintable(text));
        QVERIFY2(action->isEnabled(), qPrintable(text));
        action->trigger();
    }
    void click(const QString& text)
    {
        QAbstractButton* button = findButton(window_.get(), text);
        QVERIFY2(button, qPrintable(text));
        button->click();
    }
    template <class T>
    T* child(const char* name) const
    {
        return window_->findChild<T*>(QString::fromLatin1(name));
    }
    QString outPath(const char* name) const { return outDir_->filePath(QString::fromLatin1(name)); }
    // Cancels the visible progress dialog with this label from inside its loop.
    void cancelProgressNamed(const QString& label)
    {
        QTimer::singleShot(0, window_.get(), [this, label]() {
            for (QProgressDialog* dialog : window_->findChildren<QProgressDialog*>())
                if (dialog->isVisible() && dialog->labelText() == label)
                    dialog->cancel();
        });
    }
    // A synthetic scan of about `triangles` faces, written once into dir_.
    void writeScan(QString& path, const char* name, std::size_t triangles = 20000)
    {
        QVERIFY(dir_.isValid());
        path = dir_.filePath(QString::fromLatin1(name));
        QVERIFY(writeSyntheticStl(path, triangles) > 0);
    }
    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Runs halvoran-cli to success; what it printed goes to *out.
    void runCli(const QStringList& args, QByteArray* out = nullptr)
    {
        QProcess cli;
        cli.start(QStringLiteral(HALVORAN_CLI_PATH), args);
        QVERIFY(cli.waitForFinished(120000));
        QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());
        if (out)
            *out = cli.readAllStandardOutput();
    }
    // The window's export twin: both files hold the same bytes.
    void expectSameBytes(const QString& windowPath, const QString& cliPath)
    {
        const QByteArray fromWindow = readAll(windowPath), fromCli = readAll(cliPath);
        QVERIFY2(!fromWindow.isEmpty(), qPrintable(windowPath));
        QCOMPARE(fromCli.size(), fromWindow.size());
        QVERIFY(fromCli == fromWindow);
    }

    QTemporaryDir dir_; // inputs written once per test case
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<QTemporaryDir> outDir_;
    ScopedEnv env_;
};
