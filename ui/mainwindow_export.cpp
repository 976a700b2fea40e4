// Section exports, 2D drawing export, slice stack and comparison overlay.
#include "ui/mainwindow.h"

#include "app/automation.h"
#include "app/runtimelog.h"
#include "export/dxfwriter.h"
#include "ui/exportvalidationdialog.h"
#include "ui/section2dwidget.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTextStream>

void MainWindow::onExportDxf()
{
    const QList<int> visible = section2D_ ? section2D_->visibleSegmentIndices() : QList<int>();
    const QList<SectionAnnotation> annotations = section2D_ ? section2D_->annotations() : QList<SectionAnnotation>();
    if (visible.isEmpty() && annotations.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Export"), QStringLiteral("No slice data or annotations to export."));
        return;
    }

    SectionDxfContent content;
    content.lines = &sectionLines_;
    content.keptIndices = section2D_->keptIndices();
    content.annotations = annotations;
    SectionLines visibleLines;
    visibleLines.reserve(visible.size());
    for (int index : visible) {
        if (index < 0 || index >= sectionLines_.size())
            continue;
        content.visibleIndices.push_back(index);
        visibleLines.append(sectionLines_[index]);
    }
    if (!validateExportEntities(this, visibleLines, annotations, QStringLiteral("DXF"))) {
        statusBar()->showMessage(QStringLiteral("DXF export canceled by validation."));
        return;
    }

    QElapsedTimer timer;
    timer.start();
    const QString path = automationSaveFileName(this, QStringLiteral("Export DXF"), QStringLiteral("section.dxf"),
                                                QStringLiteral("DXF Files (*.dxf)"), "HALVORAN_AUTOMATION_EXPORT_DXF");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QMessageBox::critical(this, QStringLiteral("Export"), QStringLiteral("Failed to write DXF file."));
        return;
    }
    QTextStream out(&file);

    const int total = std::max<int>(1, int(content.visibleIndices.size()) + int(annotations.size()));
    QProgressDialog progress(QStringLiteral("Exporting DXF..."), QStringLiteral("Cancel"), 0, total, this);
    progress.setWindowTitle(QStringLiteral("Export"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.show();

    const bool finished = writeSectionDxf(out, content, [&progress](int item) {
        progress.setValue(item);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
    if (!finished) {
        out.flush();
        file.close();
        file.remove();
        statusBar()->showMessage(QStringLiteral("DXF export canceled."));
        return;
    }
    progress.setValue(total);
    out.flush();
    if (out.status() != QTextStream::Ok || file.error() != QFileDevice::NoError) {
        file.close();
        file.remove(); // a truncated DXF would only fail later, inside the CAD tool
        QMessageBox::critical(this, QStringLiteral("Export"), QStringLiteral("Failed to write DXF file."));
        return;
    }
    file.close();
    logPerfTiming(QStringLiteral("DXF export"), timer.elapsed(), 35);
    statusBar()->showMessage(QStringLiteral("Exported DXF: %1").arg(path));
}

void MainWindow::onExportSvg() {}
void MainWindow::onExport2DDrawing() {}
void MainWindow::onSliceStack() {}
void MainWindow::onLoadComparisonSlice() {}
