// Session save and restore. Bodies arrive with the session file.
#include "ui/mainwindow.h"

void MainWindow::onSaveSession() {}
void MainWindow::onLoadSession() {}
