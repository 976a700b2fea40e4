#include "ui/mainwindow/exportvalidationdialog.h"

#include "export/exportvalidation.h"

#include <QMessageBox>

bool validateExportEntities(QWidget* parent, const SectionLines& lines, const QList<SectionAnnotation>& annotations,
                            const QString& formatName)
{
    const ExportIssueCounts counts = countExportIssues(lines, annotations);
    if (counts.clean())
        return true;
    const QString text = QStringLiteral("%1 export found potential issues:\n- Non-finite entities: %2\n"
                                        "- Zero-length entities: %3\n\nContinue anyway?")
                             .arg(formatName)
                             .arg(counts.nonFinite)
                             .arg(counts.zeroLength);
    return QMessageBox::question(parent, QStringLiteral("Export Validation"), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}
