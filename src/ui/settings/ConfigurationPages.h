#pragma once

#include <QWidget>

struct ConfigRecord;
struct SettingsInput;
class PrinterList;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// One tab of the settings window: shows its part of the settings record and hands back what
// is typed. Controls carry their names as objectName and member name.
class SettingsPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual QString title() const = 0;
    virtual void fill(const ConfigRecord &record) = 0;
    virtual void collect(SettingsInput &input) const = 0;
};

class OrganizationPage final : public SettingsPage {
    Q_OBJECT
public:
    explicit OrganizationPage(QWidget *parent = nullptr);
    QString title() const override { return QStringLiteral("Organization"); }
    void fill(const ConfigRecord &record) override;
    void collect(SettingsInput &input) const override;

    QLineEdit *txtOrgName;
    QLineEdit *txtOrgAddress;
    QLineEdit *txtOrgPhoneNumber;
};

class EmailPage final : public SettingsPage {
    Q_OBJECT
public:
    explicit EmailPage(QWidget *parent = nullptr);
    QString title() const override { return QStringLiteral("Email"); }
    void fill(const ConfigRecord &record) override;
    void collect(SettingsInput &input) const override;

    QLineEdit *txtHost;
    QLineEdit *txtFromAddress;
    QLineEdit *txtServerFailureEmailAddress;
    QCheckBox *chkSystemOKEmail;
    QPushButton *btnTestEmail;
    QPushButton *btnAdvanced;
};

class CollectionPage final : public SettingsPage {
    Q_OBJECT
public:
    explicit CollectionPage(QWidget *parent = nullptr);
    QString title() const override { return QStringLiteral("Data Collection"); }
    void fill(const ConfigRecord &record) override;
    void collect(SettingsInput &input) const override;

    // The second directory for the data files, as chosen (blank: none).
    void setLogDirectory(const QString &directory);
    const QString &logDirectory() const { return m_logDirectory; }

    QLineEdit *txtUpdateRate;
    QLineEdit *txtCommunicationRetry;
    QLineEdit *txtTCPTimeOut;
    QCheckBox *chkEnableTrending;
    QLabel *lblEnableTrending;
    QCheckBox *chkPopUps;
    QLabel *lblLogDir;
    QPushButton *btnLogDir;
    // Back to no second directory.
    QPushButton *btnNoLogDir;

private:
    QString m_logDirectory;
};

class ReportsPage final : public SettingsPage {
    Q_OBJECT
public:
    static const QString NoPrinterText;

    explicit ReportsPage(QWidget *parent = nullptr);
    QString title() const override { return QStringLiteral("Reports"); }
    void fill(const ConfigRecord &record) override;
    void collect(SettingsInput &input) const override;

    QComboBox *cmboAutoPrintReport;
    QLineEdit *txtTimeToPrint;
    QComboBox *cmboAMPM;
    QLabel *lblPrinter;
    QPushButton *btnPrinter;
    PrinterList *lstPrinters;

private:
    int m_printerIndex = 0;
};

class SecurityPage final : public SettingsPage {
    Q_OBJECT
public:
    explicit SecurityPage(QWidget *parent = nullptr);
    QString title() const override { return QStringLiteral("Security"); }
    void fill(const ConfigRecord &record) override;
    void collect(SettingsInput &input) const override;

    QLineEdit *txtUN;
    QLineEdit *txtPW_0;
    QLineEdit *txtPW_1;
    QPushButton *btnClearUNPW;
};
