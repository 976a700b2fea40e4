#pragma once

#include "bench/syntheticscan.h"
#include "model/section/sectionannotation.h"
#include "ui/mainwindow/toolbarrows.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QDebug>
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QToolBar>
#include <QWidget>

// A mouse event sent straight to the widget, without the window system.
inline void sendMouse(QWidget* widget, QEvent::Type type, const QPointF& pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// The action of a window whose text, mnemonics removed, equals text.
inline QAction* findAction(QWidget* window, const QString& text)
{
    for (QAction* action : window->findChildren<QAction*>())
        if (!action->isSeparator() && QString(action->text()).remove(QLatin1Char('&')) == text)
            return action;
    return nullptr;
}

// The button (or check box: findButton<QCheckBox>) showing this text.
template <class Button = QAbstractButton>
Button* findButton(QWidget* window, const QString& text)
{
    for (Button* button : window->findChildren<Button*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

inline QToolBar* findToolbar(QWidget* window, const QString& title)
{
    for (QToolBar* bar : window->findChildren<QToolBar*>())
        if (bar->windowTitle() == title)
            return bar;
    return nullptr;
}

// Texts of a toolbar's entries in order, row after row; "|" stands for a
// separator and for the break between rows.
inline QStringList toolbarLayout(QToolBar* bar)
{
    QStringList texts;
    for (QToolBar* row : toolbarRows(bar)) {
        if (!texts.isEmpty())
            texts << QStringLiteral("|");
        for (QAction* action : row->actions())
            texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
    }
    return texts;
}

// Closes every message box that appears (modal ones included, since the
// timer also fires inside their event loop) and records what they said.
class MessageBoxCatcher : public QObject {
public:
    MessageBoxCatcher()
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this]() { sweep(); });
        timer_.start();
    }

    QStringList titles;
    QStringList texts;

private:
    void sweep()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible())
                continue;
            titles << box->windowTitle();
            texts << box->text();
            box->done(QMessageBox::Ok);
        }
    }

    QTimer timer_;
};

// A small synthetic scan as binary STL; returns its triangle count.
inline std::size_t writeSyntheticStl(const QString& path, std::size_t triangles = 20000)
{
    SyntheticScanOptions options;
    options.targetTriangles = triangles;
    const SyntheticScan scan = makeSyntheticScan(options);
    if (!writeBinaryStl(path.toStdString(), scan.vertices, scan.faces))
        return 0;
    return scan.faces.size();
}

// A sketch or measurement record with just the fields most tests set.
inline SectionAnnotation annotation(const char* kind, QList<QPointF> points, bool measurement = false,
                                    QString label = {})
{
    SectionAnnotation a;
    a.kind = QString::fromLatin1(kind);
    a.points = std::move(points);
    a.isMeasurement = measurement;
    a.label = std::move(label);
    return a;
}

#if defined(SYSTEM_PYTHON3) && defined(DXF_SUMMARY_SCRIPT)
// Entities of one "TYPE/LAYER" in a read-back summary.
inline int count(const QJsonObject& summary, const char* key)
{
    return summary.value(QStringLiteral("counts")).toObject().value(QString::fromLatin1(key)).toInt();
}

// An independent reader's view of a written file, as JSON: ezdxf for DXF
// (counts by "TYPE/LAYER", texts, lines), xml.etree for SVG. Empty when the
// reader refuses the file.
inline QJsonObject readBackWith(const QString& script, const QString& path)
{
    QProcess process;
    process.start(QStringLiteral(SYSTEM_PYTHON3), {script, path});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qWarning() << "could not read" << path << process.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

inline QJsonObject readDxfSummary(const QString& path)
{
    return readBackWith(QStringLiteral(DXF_SUMMARY_SCRIPT), path);
}

inline QJsonObject readSvgSummary(const QString& path)
{
    return readBackWith(QFileInfo(QStringLiteral(DXF_SUMMARY_SCRIPT)).dir().filePath(QStringLiteral("svg_summary.py")),
                        path);
}
#endif
