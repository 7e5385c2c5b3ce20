#pragma once

#include <core/IniSettings.h>

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The "Remote Access" tab: the [web] settings of "Tallyport.ini" (the status page, JSON API,
// metrics and health check served over HTTP), and what the server does now.
class RemoteAccessPage final : public QWidget {
    Q_OBJECT
public:
    explicit RemoteAccessPage(QWidget *parent = nullptr);
    static QString title() { return QStringLiteral("Remote Access"); }

    void fill(const WebIniSettings &settings, const QString &statusLine);
    // The settings as typed; false with the reason and the box to mark when the port is not a
    // number from 1 to 65535.
    bool collect(WebIniSettings &settings, QString &reason, QLineEdit *&badBox) const;

    QCheckBox *chkWebEnabled;
    QLineEdit *txtWebAddress;
    QLineEdit *txtWebPort;
    QLineEdit *txtWebToken;
    QPushButton *btnWebToken;
    // Checked: the token is shown as typed; otherwise each character is masked.
    QPushButton *btnWebShowToken;
    QLineEdit *txtWebCertificate;
    QLineEdit *txtWebKey;
    QLabel *lblWebStatus;

signals:
    // A new token was made (an edit the window counts as a change).
    void tokenMade();

private:
    void makeToken();
    void showToken(bool shown);
};
