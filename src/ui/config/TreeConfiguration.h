#pragma once

#include <config/DataLog.h>
#include <config/UserPages.h>

#include <QDialog>
#include <QIcon>

#include <optional>

class DataLogFrame;
class Database;
class DeviceLink;
class EmailListFrame;
class MailManager;
class ModelEditorRegistry;
class ProgramState;
class QAction;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class ServerFrame;

// frmTreeConfiguration, "Tallyport Setup": the list of monitored devices as a tree, and the
// frames to add, edit, save, delete, enable and disable a device, edit its alarm e-mail list,
// and reach its clock, log and parameter editor. Opened modally with polling stopped; every
// device transaction made while it is open shows its hourglass and progress bar.
class TreeConfiguration final : public QDialog {
    Q_OBJECT
public:
    static constexpr const char *FormName = "frmTreeConfiguration";
    static constexpr int ServerFrameIndex = 0;
    static constexpr int EmailFrameIndex = 2;

    TreeConfiguration(ProgramState &state, Database &db, DeviceLink &link, MailManager &mail,
                      const ModelEditorRegistry &editors, QWidget *parent = nullptr);
    ~TreeConfiguration() override;

    // The tree from the device table; true when it lists at least one device.
    bool LoadServers();
    void FindServer();
    void ClearBold();
    void HideAllFrames();
    // -1 hides every frame, 2 opens the e-mail list, any other index shows that frame.
    void ShowFrame(int frame);
    void AlignFrame(int frame);
    void AddAServer();
    void EditAServer();
    void SaveAServer();
    bool DeleteServer(qint64 serverId);
    void DisplayModel();
    void Sensors();

    qint64 CurrentServerID() const { return m_currentServerId; }
    bool isBusy() const { return m_busy; }
    bool inAddMode() const { return m_addMode; }
    // The editor the last Sensors command chose (empty: none for that model).
    QString lastEditorChoice() const { return m_lastEditorChoice; }

    ServerFrame *serverFrame() const { return m_server; }
    EmailListFrame *emailFrame() const { return m_email; }
    DataLogFrame *dataLogFrame() const { return m_dataLog; }
    const DataLogModel &logModel() const { return m_logModel; }
    const QByteArray &logBuffer() const { return m_logBuffer; }
    QTreeWidget *tree() const { return m_tree; }

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Layout and wiring (TreeConfiguration.cpp)
    void buildWindow();
    void buildMenus();
    void connectLink();
    void enterBusy();
    void leaveBusy();
    void updateCursor();
    // The window was closed or the program is ending: the operation under way stops quietly.
    bool stopped() const;

    // Tree and search (TreeConfigurationTree.cpp)
    void onTreeSelection(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void onTreeRightButton(const QPoint &position);
    // True when the key was used up (Enter runs the search).
    bool onSearchKey(int key);
    void onFindNext();
    void markFound(QTreeWidgetItem *item);
    bool matchesCriteria(const QTreeWidgetItem *item) const;
    bool searchable() const;
    void onDeleteServer();
    void onEnableDisable();
    QTreeWidgetItem *selectedDeviceNode() const;
    QTreeWidgetItem *nodeOfServer(qint64 id) const;
    void selectServerNode(qint64 id);

    // Device record (TreeConfigurationServer.cpp)
    void onEditServer();
    void onRefresh();
    void onSaveServer();
    void downloadConfiguration(const QString &storedName, const QString &storedModel, const QString &address);
    void readClockAndLog(const QString &address);
    void showDeviceFrames(bool identified);
    bool addressInUse(const QString &address);
    bool requiredFieldsMissing();
    bool nameRefused();
    bool uploadConfiguration(const QString &name, const QString &address, int &enabled, int &comm);
    void writeRecord(const QString &name, const QString &address, int enabled, int comm);
    void onMore();
    void openEmailFrame();

    // Maintenance commands (TreeConfigurationMaintenance.cpp)
    void onRestoreFactoryDefaults();
    void onTestCommunication();
    void onStoreDateTime();
    // The update rate typed, whole and within 1 to 60; no value (after the message) otherwise.
    std::optional<int> typedUpdateRate();

    // The on-board log (TreeConfigurationLog.cpp)
    void onDownloadLog();
    void onExportLog();
    bool askResetPointer(int &answerCode);
    void refreshLogCount(const QString &address);
    void showDecodedLog();
    void keepRawFile();
    void clearLog();

    ProgramState &m_state;
    Database &m_db;
    DeviceLink &m_link;
    const ModelEditorRegistry &m_editors;
    UserPages m_pages;

    qint64 m_currentServerId = -1;
    bool m_addMode = false;
    bool m_busy = false;
    bool m_linkBusy = false;
    bool m_closing = false;
    bool m_ignoreSelection = false;
    QString m_lastEditorChoice;
    DataLogModel m_logModel;
    QByteArray m_logBuffer; // the bytes of the last download; "Fail" after a failed one
    bool m_downloading = false;
    bool m_resettingLog = false; // the running download ends only when the device closes
    QIcon m_commOnIcon;
    QIcon m_commOffIcon;

    QTreeWidget *m_tree = nullptr;
    QLineEdit *m_txtSearchCriteria = nullptr;
    QPushButton *m_btnFindNext = nullptr;
    QProgressBar *m_progressBar = nullptr;
    ServerFrame *m_server = nullptr;
    EmailListFrame *m_email = nullptr;
    DataLogFrame *m_dataLog = nullptr;
    QMenu *m_popup = nullptr;
    QAction *m_mnuEnableDisable = nullptr;
};
