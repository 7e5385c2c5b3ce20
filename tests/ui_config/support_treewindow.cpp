#include "support_treewindow.h"

#include <config/DeviceRecords.h>
#include <db/SchemaFile.h>
#include <ui/config/ConfigWidgets.h>

#include <support/QuickTimings.h>
#include <support/Screenshot.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

LinkTimings windowTimings()
{
    return quickTimings();
}

TreeWindow::TreeWindow(int octet, LinkTimings timings)
    : octet(octet), db(t.state), link(t.state, timings), mail(t.state, nullptr)
{
    QString error;
    if (!CreateDatabaseFromSchema(QString(TALLYPORT_SOURCE_DIR) + "/resources/schema.sql", t.path("wexa.mdb"),
                                  false, error))
        qFatal("no database: %s", qPrintable(error));
    t.state.Config.TCPTimeOut = 2;
    t.state.ActiveFormName = QLatin1String(TreeConfiguration::FormName);
    window = std::make_unique<TreeConfiguration>(t.state, db, link, mail, editors);
    window->show();
}

TreeWindow::~TreeWindow()
{
    window.reset();
}

SimDevice *TreeWindow::addSim(int family, int model, int firmware)
{
    auto device = std::make_shared<SimDevice>(family, model, firmware);
    if (!device->start(QStringLiteral("127.0.%1.%2").arg(octet).arg(devices.size() + 1)))
        qFatal("simulator did not start: %s", qPrintable(device->errorString()));
    device->setFrozen(true);
    devices.append(device);
    return device.get();
}

QString TreeWindow::addressOf(const SimDevice *device) const
{
    return device->address().toString();
}

qint64 TreeWindow::addRecord(const QString &name, const QString &address, bool enabled, bool comm,
                             const QString &emails)
{
    qint64 id = 0;
    if (!db.AddServer(name, QStringLiteral("Stored model"), address, QStringLiteral("notes"), enabled ? 1 : 0,
                      QStringLiteral("pw"), emails, comm ? CommOn : CommOff, &id))
        qFatal("record not added");
    window->LoadServers();
    return id;
}

ServerRecord TreeWindow::record(qint64 id)
{
    ServerRecord row;
    db.OpenServerRecord(id, row);
    return row;
}

ServerRecord TreeWindow::recordAt(const QString &address)
{
    QList<ServerRecord> rows;
    int count = 0;
    db.RecordServers(rows, count);
    for (const ServerRecord &row : rows) {
        if (row.ServerIPAddress == address)
            return row;
    }
    return ServerRecord();
}

int TreeWindow::serverCount()
{
    QList<ServerRecord> rows;
    int count = 0;
    db.RecordServers(rows, count);
    return count;
}

void TreeWindow::click(const char *buttonName)
{
    QTest::mouseClick(find<QPushButton>(buttonName), Qt::LeftButton);
}

void TreeWindow::trigger(const char *actionName)
{
    find<QAction>(actionName)->trigger();
}

void TreeWindow::type(const char *boxName, const QString &text)
{
    auto *box = find<QLineEdit>(boxName);
    box->clear();
    QTest::keyClicks(box, text);
}

void TreeWindow::select(qint64 id)
{
    const QTreeWidgetItem *root = window->tree()->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i) {
        if (root->child(i)->data(0, Qt::UserRole).toString() == ServerNodeKey(id))
            window->tree()->setCurrentItem(root->child(i));
    }
}

void TreeWindow::addDevice(const QString &name, const QString &address, QChar unit, bool enable)
{
    trigger("mnuAdd");
    type("txtServerName", name);
    type("txtServerIPAddress", address);
    find<QComboBox>("cmboUnits")->setCurrentIndex(unit == QLatin1Char('C') ? 1 : 0);
    find<QCheckBox>("chkEnable")->setChecked(enable);
    click("btnSaveServer");
}

QString TreeWindow::status() const
{
    return find<QLabel>("lblServerError")->text();
}

bool TreeWindow::statusRed() const
{
    return isStatusRed(find<QLabel>("lblServerError"));
}

void TreeWindow::screenshot(const QString &name) const
{
    SaveScreenshot(*window, name);
}
