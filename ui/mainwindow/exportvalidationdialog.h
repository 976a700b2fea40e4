#pragma once

#include "model/section/sectionannotation.h"
#include "model/section/sectionlines.h"

#include <QList>
#include <QString>

class QWidget;

// Counts suspicious entities and, when there are any, asks whether to export
// anyway (also in automation mode: a broken file is worse than a stalled
// script). True means go on.
bool validateExportEntities(QWidget* parent, const SectionLines& lines, const QList<SectionAnnotation>& annotations,
                            const QString& formatName);
