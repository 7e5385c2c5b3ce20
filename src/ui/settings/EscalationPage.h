#pragma once

#include <core/IniSettings.h>

#include <QWidget>

class ProgramState;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

// The "Escalation" tab: reminders of an alarm nobody has acknowledged ([escalation]
// repeatMinutes) and the steps of the chain it goes up ([escalate.N]). Saved at once with the
// tab's own button; a value that cannot be used (minutes that are not a number, an address that
// is not one, a channel that is not set up, a step that tells nobody) is refused with the reason
// and nothing is saved. A step keeps its number for as long as it stands, so that an alarm under
// way neither repeats nor skips it.
class EscalationPage final : public QWidget {
    Q_OBJECT
public:
    explicit EscalationPage(ProgramState &state, QWidget *parent = nullptr);
    static QString title() { return QStringLiteral("Escalation"); }
    // The boxes hold what the tab's Save has not saved.
    bool hasUnsavedEdits() const;

    enum Column { NumberColumn, AfterColumn, EmailColumn, ChannelsColumn, DevicesColumn, ColumnCount };

    QSpinBox *spnRepeatMinutes;
    QTableWidget *tblSteps;
    QPushButton *btnStepAdd;
    QPushButton *btnStepRemove;
    QPushButton *btnEscalationSave;
    QLabel *lblEscalationHelp;

protected:
    // Settings changed elsewhere meanwhile (a channel renamed) are shown, unless edits wait.
    void showEvent(QShowEvent *event) override;

private:
    void build();
    void fill(const EscalationIniSettings &escalation);
    void addRow(const EscalationStepSettings &step);
    // The settings as the boxes have them (minutes that are not a number as -1), in the rows'
    // order.
    EscalationIniSettings typed() const;
    // Why the settings cannot be used (the first step that cannot, by its row), or an empty text.
    QString problemOf(const EscalationIniSettings &escalation) const;
    void onAdd();
    void onRemove();
    void onSave();

    ProgramState &m_state;
    EscalationIniSettings m_shown; // what the boxes were filled with
};
