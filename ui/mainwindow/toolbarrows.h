#pragma once

#include <QList>

class QAction;
class QToolBar;

// A toolbar too wide for a 1366-pixel screen goes on in further rows under
// its first one, so no entry ends up behind the extension arrow. The first
// row keeps the toolbar's title and object name; each further row is its own
// QToolBar, made with the same settings and parent.

// Adds a row after the last one of first and returns it.
QToolBar* continueToolbarRow(QToolBar* first);

// first and the rows that continue it, top to bottom.
QList<QToolBar*> toolbarRows(const QToolBar* first);

// Every entry of the toolbar, row after row.
QList<QAction*> toolbarRowActions(const QToolBar* first);
