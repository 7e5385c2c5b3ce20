#pragma once

#include <editors/EditorForm.h>
#include <editors/EditorSession.h>

#include <QDialog>

class FormBinding;
class QBoxLayout;
class QLabel;
class QListWidget;
class QPushButton;

// The base of every model editor window: the form and the engine of its layout, the progress
// label lblStatus, the status list lstStatus, the transfer buttons, the key filters, the
// download when the window is first shown, and a close that waits for a running transfer to
// stop (a closing window never pulls the engine out from under a transfer).
class EditorWindow : public QDialog {
    Q_OBJECT
public:
    EditorWindow(const EditorServices &services, const EditorLayout &layout, QWidget *parent = nullptr);
    ~EditorWindow() override;

    // Set by the opener before the window is shown.
    void setIPAddress(const QString &address) { m_session.IPAddress = address; }
    QString IPAddress() const { return m_session.IPAddress; }
    void setDatabaseID(qint64 id) { m_session.DatabaseID = id; }
    qint64 DatabaseID() const { return m_session.DatabaseID; }

    EditorSession &session() { return m_session; }
    EditorForm &form() { return m_form; }

    // A button of the window by name; nullptr when it has none.
    QPushButton *button(const QString &name) const;

protected:
    // Puts the window together around the body a subclass built: the body, the progress label,
    // the status list and the buttons of the layout; then binds the form and the key filters.
    // Every named widget must exist when this runs.
    void finish(QWidget *body);
    // Runs at the first showing; the model editors download with their buttons disabled.
    virtual void onFirstShow() { m_session.Activate(); }

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

    EditorForm m_form;
    EditorSession m_session;

private:
    QWidget *buildStatusArea();
    void onTransferRunning(bool running);

    QLabel *m_lblStatus = nullptr;
    QListWidget *m_lstStatus = nullptr;
    FormBinding *m_binding = nullptr;
    bool m_shownOnce = false;
    bool m_closePending = false;
};
