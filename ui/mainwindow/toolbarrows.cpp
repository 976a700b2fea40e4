#include "ui/mainwindow/toolbarrows.h"

#include <QAction>
#include <QToolBar>
#include <QVariant>

namespace {

// The further rows, kept on the first row as a property.
constexpr char kRowsProperty[] = "halvoranToolbarRows";

} // namespace

QToolBar* continueToolbarRow(QToolBar* first)
{
    QObjectList rows = first->property(kRowsProperty).value<QObjectList>();
    auto* row = new QToolBar(QStringLiteral("%1 (%2)").arg(first->windowTitle()).arg(rows.size() + 2),
                             first->parentWidget());
    row->setObjectName(QStringLiteral("%1Row%2").arg(first->objectName()).arg(rows.size() + 2));
    row->setMovable(first->isMovable());
    row->setFloatable(first->isFloatable());
    rows.append(row);
    first->setProperty(kRowsProperty, QVariant::fromValue(rows));
    return row;
}

QList<QToolBar*> toolbarRows(const QToolBar* first)
{
    QList<QToolBar*> rows;
    if (!first)
        return rows;
    rows.append(const_cast<QToolBar*>(first));
    for (QObject* row : first->property(kRowsProperty).value<QObjectList>())
        if (auto* bar = qobject_cast<QToolBar*>(row))
            rows.append(bar);
    return rows;
}

QList<QAction*> toolbarRowActions(const QToolBar* first)
{
    QList<QAction*> actions;
    for (QToolBar* row : toolbarRows(first))
        actions += row->actions();
    return actions;
}
