// Section exports, 2D drawing export, slice stack and comparison overlay.
#include "ui/mainwindow/mainwindow.h"

#include "app/automation.h"
#include "app/runtimelog.h"
#include "export/dxflinereader.h"
#include "export/dxfwriter.h"
#include "export/slicestackdxf.h"
#include "export/svgwriter.h"
#include "ui/mainwindow/exportvalidationdialog.h"
#include "ui/section2d/section2dwidget.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTextStream>

#include <algorithm>

namespace {

// The modal progress dialog every section file export shows.
void setUpExportProgress(QProgressDialog& progress)
{
    progress.setWindowTitle(QStringLiteral("Export"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.show();
}

} // namespace

bool MainWindow::gatherSectionExport(const QString& formatName, SectionDxfContent& content)
{
    const QList<int> visible = section2D_ ? section2D_->visibleSegmentIndices() : QList<int>();
    const QList<SectionAnnotation> annotations = section2D_ ? section2D_->annotations() : QList<SectionAnnotation>();
    if (visible.isEmpty() && annotations.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Export"), QStringLiteral("No slice data or annotations to export."));
        return false;
    }
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
    if (!validateExportEntities(this, visibleLines, annotations, formatName)) {
        statusBar()->showMessage(QStringLiteral("%1 export canceled by validation.").arg(formatName));
        return false;
    }
    return true;
}

void MainWindow::onExportDxf()
{
    SectionDxfContent content;
    if (!gatherSectionExport(QStringLiteral("DXF"), content))
        return;

    QElapsedTimer timer;
    timer.start();
    const QString path = automationSaveFileName(this, QStringLiteral("Export DXF"), QStringLiteral("section.dxf"),
                                                QStringLiteral("DXF Files (*.dxf)"), "HALVORAN_AUTOMATION_EXPORT_DXF");
    if (path.isEmpty())
        return;
    writeSectionFile(QStringLiteral("DXF"), path, timer, [&content](QTextStream& out, const ItemProgress& progress) {
        return writeSectionDxf(out, content, progress);
    }, int(content.visibleIndices.size()) + int(content.annotations.size()));
}


void MainWindow::writeSectionFile(const QString& format, const QString& path, const QElapsedTimer& timer,
                                  const std::function<bool(QTextStream&, const ItemProgress&)>& write, int items)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QMessageBox::critical(this, QStringLiteral("Export"), QStringLiteral("Failed to write %1 file.").arg(format));
        return;
    }
    QTextStream out(&file);
    const int total = std::max(1, items);
    QProgressDialog progress(QStringLiteral("Exporting %1...").arg(format), QStringLiteral("Cancel"), 0, total, this);
    setUpExportProgress(progress);
    const bool finished = write(out, [&progress](int item) {
        progress.setValue(item);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
    out.flush();
    if (!finished) {
        file.close();
        file.remove();
        statusBar()->showMessage(QStringLiteral("%1 export canceled.").arg(format));
        return;
    }
    progress.setValue(total);
    if (out.status() != QTextStream::Ok || file.error() != QFileDevice::NoError) {
        file.close();
        file.remove(); // a truncated file would only fail later, inside the CAD tool
        QMessageBox::critical(this, QStringLiteral("Export"), QStringLiteral("Failed to write %1 file.").arg(format));
        return;
    }
    file.close();
    logPerfTiming(QStringLiteral("%1 export").arg(format), timer.elapsed(), 35);
    statusBar()->showMessage(QStringLiteral("Exported %1: %2").arg(format, path));
}

void MainWindow::onExportSvg()
{
    SectionDxfContent content;
    if (!gatherSectionExport(QStringLiteral("SVG"), content))
        return;

    QElapsedTimer timer;
    timer.start();
    const QString path = automationSaveFileName(this, QStringLiteral("Export SVG"), QStringLiteral("section.svg"),
                                                QStringLiteral("SVG Files (*.svg)"), "HALVORAN_AUTOMATION_EXPORT_SVG");
    if (path.isEmpty())
        return;
    if (!sectionSvgBounds(content)) {
        QMessageBox::warning(this, QStringLiteral("Export"), QStringLiteral("Nothing visible to export."));
        return;
    }
    writeSectionFile(QStringLiteral("SVG"), path, timer, [&content](QTextStream& out, const ItemProgress& progress) {
        return writeSectionSvg(out, content, progress);
    }, int(content.visibleIndices.size()) + int(content.annotations.size()));
}

void MainWindow::onSliceStack()
{
    if (!model_.hasMesh()) {
        QMessageBox::warning(this, QStringLiteral("Slice Stack"), QStringLiteral("No mesh loaded."));
        return;
    }
    SliceStackRequest request;
    if (isAutomationMode()) {
        // Same range the dialog allows: one slice is a plain section, and a
        // stray huge number would only stall a script.
        request.count = std::clamp(envIntOrDefault("HALVORAN_AUTOMATION_SLICE_STACK_COUNT", 10), 2, 200);
    } else {
        bool ok = false;
        request.count = QInputDialog::getInt(this, QStringLiteral("Slice Stack"),
                                             QStringLiteral("Number of evenly-spaced slices:"), 10, 2, 200, 1, &ok);
        if (!ok)
            return;
    }
    request.axis = currentSliceAxis();
    request.bandThickness = bandThicknessSpin_ ? float(bandThicknessSpin_->value()) : 0.0f;

    QElapsedTimer timer;
    timer.start();
    const QString path =
        automationSaveFileName(this, QStringLiteral("Export Slice Stack DXF"), QStringLiteral("slicestack.dxf"),
                               QStringLiteral("DXF Files (*.dxf)"), "HALVORAN_AUTOMATION_SLICE_STACK");
    if (path.isEmpty())
        return;
    // The progress loop processes events; a load finishing meanwhile would
    // swap the mesh under the cuts.
    if (!beginBusyOperation(QString()))
        return;
    struct BusyEnd {
        MainWindow* window;
        ~BusyEnd() { window->endBusyOperation(); }
    } busyEnd{this};

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QMessageBox::critical(this, QStringLiteral("Export"), QStringLiteral("Failed to write DXF file."));
        return;
    }
    QTextStream out(&file);
    QProgressDialog progress(QStringLiteral("Building slice stack DXF..."), QStringLiteral("Cancel"), 0, request.count,
                             this);
    setUpExportProgress(progress);
    const bool finished = writeSliceStackDxf(out, model_, request, [&progress](int done) {
        progress.setValue(done);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
    if (!finished) {
        out.flush();
        file.close();
        file.remove();
        statusBar()->showMessage(QStringLiteral("Slice stack export canceled."));
        return;
    }
    progress.setValue(request.count);
    out.flush();
    if (out.status() != QTextStream::Ok || file.error() != QFileDevice::NoError) {
        file.close();
        file.remove();
        QMessageBox::critical(this, QStringLiteral("Export"), QStringLiteral("Failed to write DXF file."));
        return;
    }
    file.close();
    logPerfTiming(QStringLiteral("Slice stack DXF export"), timer.elapsed(), 60);
    statusBar()->showMessage(QStringLiteral("Slice stack exported: %1 slices -> %2").arg(request.count).arg(path));
}

void MainWindow::onLoadComparisonSlice()
{
    if (!model_.hasMesh()) {
        QMessageBox::warning(this, QStringLiteral("Compare"), QStringLiteral("No mesh loaded."));
        return;
    }
    const QString path = automationOpenFileName(this, QStringLiteral("Load Comparison DXF"), QString(),
                                                QStringLiteral("DXF Files (*.dxf);;All Files (*)"),
                                                "HALVORAN_AUTOMATION_COMPARE_DXF", QStringLiteral("section.dxf"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QMessageBox::critical(this, QStringLiteral("Compare"), QStringLiteral("Failed to read comparison file."));
        return;
    }
    const DxfLineReadResult read = readDxfLines(file);
    if (read.tooMany) {
        QMessageBox::warning(this, QStringLiteral("Compare"),
                             QStringLiteral("Comparison file has more than %1 LINE entities; not loaded.")
                                 .arg(kMaxDxfReadLines));
        return;
    }
    if (read.lines.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Compare"),
                             read.nonFiniteSkipped > 0
                                 ? QStringLiteral("No usable LINE entities in DXF: %1 with non-finite coordinates.")
                                       .arg(read.nonFiniteSkipped)
                                 : QStringLiteral("No LINE entities found in DXF."));
        return;
    }
    if (section2D_)
        section2D_->setComparisonLines(read.lines);
    QString message = QStringLiteral("Comparison overlay loaded: %1 segments").arg(read.lines.size());
    if (read.nonFiniteSkipped > 0)
        message += QStringLiteral(" (%1 with non-finite coordinates skipped)").arg(read.nonFiniteSkipped);
    statusBar()->showMessage(message);
}
