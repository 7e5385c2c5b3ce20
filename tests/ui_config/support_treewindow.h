#pragma once

#include <alarms/MailManager.h>
#include <db/Database.h>
#include <link/DeviceLink.h>
#include <ui/config/ModelEditorRegistry.h>
#include <ui/config/TreeConfiguration.h>

#include <SimDevice.h>
#include <support/TestState.h>

#include <QList>
#include <QWidget>

#include <memory>

// The link's waits for window tests: connect 1000 ms, close 500 ms, replies 500 ms.
LinkTimings windowTimings();

// The device configuration window over a fresh database, with simulated devices on
// 127.0.<octet>.1, .2, ... and short link waits (reply 500 ms). The window is shown modelessly;
// buttons act at once and prompts are answered through the scripted prompts.
struct TreeWindow {
    explicit TreeWindow(int octet, LinkTimings timings = windowTimings());
    ~TreeWindow();

    // A simulated device on the next address, started and frozen.
    SimDevice *addSim(int family, int model, int firmware);
    QString addressOf(const SimDevice *device) const;
    // A device record; returns its IDNum.
    qint64 addRecord(const QString &name, const QString &address, bool enabled = true, bool comm = true,
                     const QString &emails = QString());
    ServerRecord record(qint64 id);
    // The record of the only device with that address; IDNum 0 when there is none.
    ServerRecord recordAt(const QString &address);
    int serverCount();

    template <typename T> T *find(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    void click(const char *buttonName);
    void trigger(const char *actionName);
    void type(const char *boxName, const QString &text);
    // Selects the device node of the record, as a click does.
    void select(qint64 id);
    // Add New Server with these fields, then Save.
    void addDevice(const QString &name, const QString &address, QChar unit = QLatin1Char('F'),
                   bool enable = true);
    QString status() const; // lblServerError
    bool statusRed() const;
    // Saves the window as docs/screenshots/<name>.png when TALLYPORT_SCREENSHOTS names a directory.
    void screenshot(const QString &name) const;

    int octet;
    TestState t;
    Database db;
    DeviceLink link;
    MailManager mail;
    ModelEditorRegistry editors;
    QList<std::shared_ptr<SimDevice>> devices;
    std::unique_ptr<TreeConfiguration> window;
};
