#pragma once

#include "EditorLayout.h"
#include "EditorTransfer.h"

#include <db/Records.h>

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

class Database;
class DeviceLink;
class EditorForm;
class ProgramState;

// What an editor needs of the program: its state (prompts, error log, identification values),
// the device link and the database (none for the telephone window).
struct EditorServices {
    ProgramState &state;
    DeviceLink &link;
    Database *database = nullptr;
};

// The engine of one open editor window: downloads the model's pages into the form, validates
// and uploads the form, runs the calibration and the window's buttons, all as the editor's
// layout describes. One instance per open window; its page buffers live as long as it does.
class EditorSession final : public QObject {
    Q_OBJECT
public:
    EditorSession(EditorServices services, const EditorLayout &layout, EditorForm &form,
                  QObject *parent = nullptr);

    // Set by the opener before the window is shown.
    QString IPAddress;
    qint64 DatabaseID = 0;

    const EditorLayout &layout() const { return m_layout; }
    const EditorServices &services() const { return m_services; }
    EditorForm &form() const { return m_form; }

    // Enables or disables the transfer buttons together; the calibration button only where the
    // device's firmware has calibration.
    void Buttons(bool state);
    // Empties every text box the pages fill and the notes, and clears the status list.
    void ClearTextBoxes();
    // Downloads and shows everything; true when the download ran to its end.
    bool GetLimits();
    // Validates, encodes and uploads; calOnly stores only the calibration pages.
    bool SaveLimits(bool calOnly);

    // Window actions.
    void Load();             // the window is made: calibration and notes frames hidden
    void Activate();         // the first showing: download with the buttons disabled
    void Refresh();          // hides the notes, downloads again
    void Save();             // uploads with the buttons disabled
    void ToggleNotes();      // shows or hides the notes frame ("Hide" / "Notes")
    void ShowCalibration();  // opens the calibration frame
    void CloseCalibration(); // closes it
    void ShowCorrection();   // shows the correction factors of the Wexa frame
    bool StoreCalibration(); // computes and stores new correction factors
    bool ResetCalibration(); // stores zero for every correction factor
    // The operator's new correction factor of one sensor from the actual temperature.
    bool ComputeFactor(int sensor);

    // True while a download or upload runs.
    bool transferRunning() const { return m_running; }
    // Ends the running transfer after its current exchange (the window is closing).
    void requestStop() { m_stopRequested = true; }

    bool TenthsMode() const { return m_tenthsMode; }
    const DeviceIdentity &identity() const { return m_identity; }
    // The buffer of a page as last read or sent (60 NUL bytes before the first read).
    QByteArray buffer(int page) const { return m_buffers.value(page); }
    // True when the page's read in the last download succeeded.
    bool downloaded(int page) const { return m_downloaded.value(page, false); }
    // True when the window knows whether the device keeps its limits in tenths: from the
    // readings it has read, or because the device's firmware has no tenths at all.
    bool tenthsKnown() const;

signals:
    // A transfer started or ended (the window keeps itself open meanwhile).
    void transferRunningChanged(bool running);

private:
    enum class StepResult { Next, Stop };
    // Marks the session running for the outermost action only; actions call one another.
    class RunScope {
    public:
        explicit RunScope(EditorSession &session) : m_session(session), m_outer(!session.m_running)
        {
            if (m_outer)
                m_session.setRunning(true);
        }
        ~RunScope()
        {
            if (m_outer)
                m_session.setRunning(false);
        }
        RunScope(const RunScope &) = delete;
        RunScope &operator=(const RunScope &) = delete;

    private:
        EditorSession &m_session;
        bool m_outer;
    };

    StepResult runDownloadStep(const DownloadStep &step);
    StepResult runIdentifyStep(const DownloadStep &step);
    // Fields whose bytes mean tenths or whole units by the tenths mode: neither shown nor stored
    // while that mode is not known.
    bool heldBack(const PageField &field) const;
    void clearHeldBack(int page);
    void encode(int page, QByteArray &buffer) const;
    bool mayStore(const UploadStep &step) const;
    // The correction factor of a sensor as the device last gave it; none when not read.
    std::optional<double> deviceFactor(int sensor) const;
    StepResult reportFailure(PageOutcome outcome, const char *busy, const char *failure, bool stops);
    PageOutcome identify();
    bool stepTaken(const DownloadStep &step) const;
    void applyRules();
    void loadNotes();
    bool validate(const QList<UploadStep> &steps);
    bool limitsInRange();
    bool fieldsStorable(const QList<UploadStep> &steps);
    bool pagesReadableAgain(const QList<UploadStep> &steps);
    QList<UploadStep> uploadSteps(bool calOnly) const;
    PageOutcome storeStep(const UploadStep &step);
    PageOutcome storeFresh(const UploadStep &step);
    void saveSensors(const QSet<int> &stored);
    SensorColumns sensorColumns(int sensor, const QSet<int> &stored) const;
    bool finish(bool result);
    bool keepRunning() const;
    void setRunning(bool running);
    void waitMs(int milliseconds);
    QString sensorLabel(int sensor) const;
    bool factorsComputed();
    void storeFactors(bool readBackAlways);

    EditorServices m_services;
    const EditorLayout &m_layout;
    EditorForm &m_form;
    EditorTransfer m_transfer;
    DeviceIdentity m_identity;
    bool m_identified = false;
    bool m_tenthsMode = false;
    bool m_readingsRead = false; // a readings reply was read: the tenths mode is the device's
    bool m_notesLoaded = false;  // the last download loaded the sensor notes
    bool m_running = false;
    bool m_stopRequested = false;
    QHash<int, QByteArray> m_buffers;
    QHash<int, bool> m_downloaded;
    QHash<int, QByteArray> m_readImages; // each page as its last successful read gave it
};
