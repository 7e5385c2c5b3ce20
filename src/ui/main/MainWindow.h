#pragma once

#include <QMainWindow>

class ProgramState;

// frmMain: the start-up window that owns the views, the status list and the poll timer.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(ProgramState &state, QWidget *parent = nullptr);
    void start();

private:
    ProgramState &m_state;
};
