// The working mesh as a file: "Export Mesh..." (File menu) and "File
// Coordinates" (Edit menu), which puts the part back into the file's frame.
#include "ui/mainwindow/mainwindow.h"

#include "app/automation.h"
#include "app/runtimelog.h"
#include "export/meshwriter.h"
#include "model/align/filecoordinates.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>
#include <QStringList>

#include <algorithm>
#include <climits>

void MainWindow::onExportMesh()
{
    if (!model_.hasMesh())
        return;
    QStringList filters;
    for (const MeshFileType& type : kMeshFileTypes)
        filters << QString::fromLatin1(type.filter);
    QString selected = filters.front();
    QString path = automationSaveFileName(this, QStringLiteral("Export Mesh"), QStringLiteral("mesh.stl"),
                                          filters.join(QStringLiteral(";;")), "HALVORAN_AUTOMATION_EXPORT_MESH",
                                          &selected);
    if (path.isEmpty())
        return;
    // A known extension names the format; otherwise the chosen filter does,
    // and its extension is added.
    const MeshFileType* type = meshFileTypeForPath(path);
    if (!type) {
        type = &kMeshFileTypes[0];
        for (const MeshFileType& t : kMeshFileTypes)
            if (selected == QLatin1String(t.filter))
                type = &t;
        path += QLatin1Char('.') + QLatin1String(type->suffix);
    }

    QElapsedTimer timer;
    timer.start();
    // Copies share the storage: should anything change the model while the
    // dialog processes events, it writes to its own arrays, not these.
    const SharedArray<Vec3f> vertices = model_.vertices;
    const SharedArray<Triangle> faces = model_.faces;
    const int total = int(std::min<std::size_t>(faces.size(), std::size_t(INT_MAX)));
    QProgressDialog progress(QStringLiteral("Exporting %1...").arg(QLatin1String(type->name)), QStringLiteral("Cancel"),
                             0, total, this);
    progress.setWindowTitle(QStringLiteral("Export Mesh"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    std::string error;
    std::size_t written = 0;
    const bool ok = writeMeshFile(path, type->format, vertices.vec(), faces.vec(), &error, &written,
                                  [&progress](int done) {
                                      progress.setValue(done);
                                      QCoreApplication::processEvents();
                                      return !progress.wasCanceled();
                                  });
    progress.close();
    if (!ok && progress.wasCanceled()) {
        statusBar()->showMessage(QStringLiteral("Mesh export canceled."));
        return;
    }
    if (!ok) {
        QMessageBox::critical(this, QStringLiteral("Export Mesh"),
                              QStringLiteral("Failed to write %1 file: %2")
                                  .arg(QLatin1String(type->name), QString::fromStdString(error)));
        return;
    }
    logPerfTiming(QStringLiteral("Mesh export"), timer.elapsed(), 300);
    statusBar()->showMessage(QStringLiteral("Exported %1 mesh: %2 (%3 triangles)")
                                 .arg(QLatin1String(type->name), QDir::toNativeSeparators(path))
                                 .arg(written));
}

void MainWindow::onFileCoordinates()
{
    if (!model_.hasMesh())
        return;
    const QString previousMode = modeText();
    if (!beginBusyOperation(QStringLiteral("File Coordinates")))
        return;
    // With the faces: after a repair the loaded faces come back too.
    pushUndoSnapshot(true);
    FileFrameRestore how = FileFrameRestore::Exact;
    std::string error;
    const bool ok = restoreFileCoordinates(model_, &how, &error);
    if (ok) {
        aligned_ = false;
        refreshAfterGeometryChange(true);
        // The file's frame may put the part far from where the camera looks.
        onFitAll();
    } else {
        setMode(previousMode);
    }
    endBusyOperation();
    if (!ok)
        QMessageBox::warning(this, QStringLiteral("File Coordinates"), QString::fromStdString(error));
    else if (how == FileFrameRestore::Exact)
        statusBar()->showMessage(QStringLiteral("Back in the file's own coordinates"));
    else
        statusBar()->showMessage(QStringLiteral("Back in the file's own coordinates, as loaded: a repaired mesh "
                                                "keeps no link to the file's frame (Undo brings the repair back)"));
}
