#include "MainWindow.h"

#include <core/ProgramState.h>

MainWindow::MainWindow(ProgramState &state, QWidget *parent) : QMainWindow(parent), m_state(state)
{
    setObjectName(QStringLiteral("frmMain"));
}

void MainWindow::start()
{
    show();
}
