#pragma once

#include <acquisition/Monitor.h>
#include <alarms/MailManager.h>
#include <core/Cipher.h>
#include <core/ConfigFile.h>
#include <ui/main/DialogPrompts.h>
#include <ui/main/MainWindow.h>
#include <ui/settings/SettingsWindows.h>

#include <support/SmtpTestServer.h>
#include <support/TestState.h>

#include <SimDevice.h>

#include <QApplication>
#include <QByteArray>
#include <QLineEdit>
#include <QTest>

#include <functional>
#include <memory>

// A control of a window by its objectName; fails the test when it is missing.
template <typename T> T *Control(const QObject &window, const char *name)
{
    T *control = window.findChild<T *>(QLatin1String(name));
    if (!control)
        qFatal("control %s not found", name);
    return control;
}

// Replaces the text of a box as typing or pasting would (textEdited is emitted, the box's
// validator applies).
void TypeInto(QLineEdit *box, const QString &text);

// Runs `act` inside the modal window that the code after this call opens, once it is showing.
void WhenModalOpens(std::function<void(QWidget *modal)> act);

// A program directory with a settings file and the program state over it, for the windows
// that edit the settings.
struct SettingsFixture {
    SettingsFixture();

    // Writes the record in memory to the settings file.
    void save();
    QByteArray fileBytes() const;
    qint16 int16At(int offset) const;
    // The text field at the offset, trailing blanks removed.
    QByteArray textAt(int offset, int width) const;

    TestState t;
    Cipher cipher;
    ConfigFile file{t.state, cipher};
    MailManager mail{t.state};
};

// The main window as the program builds it, watching one simulated device on 127.0.N.1 (a
// temperature sensor on port 0) with the settings windows attached, a 100 ms poll tick, and
// mail to a test server on 127.0.N.10, port 2525.
class MonitoredWindow {
public:
    static constexpr quint16 SmtpPort = 2525;

    explicit MonitoredWindow(int thirdOctet);
    ~MonitoredWindow();

    // Writes the database and the settings (edit `settings` first), starts the device, the mail
    // server and the window, and waits for the first poll cycle. With `withSilentDevice`, a
    // second device "Annex" on 127.0.N.2, polled before "Lab", takes connections and never
    // answers, so every cycle waits on it for the reply time-out.
    bool start(QString &error);
    // Questions from here on open real message boxes (still recorded in t.prompts).
    void showRealBoxes() { t.prompts.showWith = &boxes; }

    QString address(int lastOctet) const;
    QAction *action(const char *name) const;
    // Triggers the menu command once no poll cycle runs (a window command is refused during a
    // cycle); false when cycles did not pause within 10 s.
    bool triggerBetweenCycles(const char *name);
    // Waits until `count` more poll cycles have finished.
    bool waitForCycles(int count, int timeoutMs = 10000);

    ConfigRecord settings;
    bool withSilentDevice = false;
    TestState t;
    DialogPrompts boxes;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Monitor> monitor;
    std::unique_ptr<SettingsWindows> settingsWindows;
    std::unique_ptr<SimDevice> device;
    std::unique_ptr<SimDevice> silent;
    std::unique_ptr<SmtpTestServer> smtp;

private:
    bool addSilentDevice(QString &error);

    int m_octet;
};
