// The device tree: its nodes, search, the right-button menu, delete, enable and disable, and the
// choice of the parameter editor.
#include "support_treewindow.h"

#include <config/DeviceRecords.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace {
constexpr int Octet = 33;

QTreeWidgetItem *root(const TreeWindow &w)
{
    return w.window->tree()->topLevelItem(0);
}

QStringList nodeTexts(const TreeWindow &w)
{
    QStringList texts;
    for (int i = 0; i < root(w)->childCount(); ++i)
        texts.append(root(w)->child(i)->text(0));
    return texts;
}

int imageOf(const QTreeWidgetItem *item)
{
    return item->data(0, Qt::UserRole + 1).toInt();
}

QTreeWidgetItem *current(const TreeWindow &w)
{
    return w.window->tree()->currentItem();
}

void rightClick(TreeWindow &w, const QTreeWidgetItem *item)
{
    QTreeWidget *tree = w.window->tree();
    const QPoint where = tree->visualItemRect(item).center();
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, where);
    emit tree->customContextMenuRequested(where);
}
} // namespace

class TestTreeBrowse : public QObject {
    Q_OBJECT
private slots:
    void nodes()
    {
        TreeWindow w(Octet);
        const qint64 long_ = w.addRecord("Freezer number 12 in the basement", "10.0.0.1", true, true);
        w.addRecord("boiler", "10.0.0.2", true, false);
        QCOMPARE(root(w)->text(0), QStringLiteral("Available Quellmark Devices"));
        QCOMPARE(root(w)->data(0, Qt::UserRole).toString(), QStringLiteral("MainNode"));
        QCOMPARE(imageOf(root(w)), 1);
        QCOMPARE(nodeTexts(w),
                 QStringList({"boiler               @ IP 10.0.0.2", "Freezer number 12 in @ IP 10.0.0.1"}));
        QCOMPARE(imageOf(root(w)->child(0)), 2);
        QCOMPARE(imageOf(root(w)->child(1)), 1);
        QCOMPARE(root(w)->child(1)->data(0, Qt::UserRole).toString(), "SERVER" + QString::number(long_));
        QVERIFY(root(w)->isExpanded());

        // A click selects: bold, the current device, no frame.
        w.window->tree()->setCurrentItem(root(w)->child(1));
        QCOMPARE(w.window->CurrentServerID(), long_);
        QVERIFY(root(w)->child(1)->font(0).bold());
        w.window->tree()->setCurrentItem(root(w));
        QCOMPARE(w.window->CurrentServerID(), -1);
        QVERIFY(!w.find<QWidget>("frmSetup_0")->isVisible());
    }

    void search()
    {
        TreeWindow w(Octet);
        int host = 0;
        for (const char *name : {"Boiler", "Freezer A", "fridge", "Garage", "Freezer B"})
            w.addRecord(name, QStringLiteral("10.0.0.%1").arg(++host));
        auto *box = w.find<QLineEdit>("txtSearchCriteria");
        auto *findNext = w.find<QPushButton>("btnFindNext");
        QCOMPARE(box->text(), QStringLiteral("Search Criteria"));
        QVERIFY(!findNext->isEnabled());
        // The prompt text and an empty box start no search.
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(box->text(), QString());
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(w.t.prompts.texts, QStringList());
        QCOMPARE(current(w), nullptr);

        QTest::keyClicks(box, "f");
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(current(w)->text(0).startsWith("Freezer A"));
        QVERIFY(current(w)->font(0).bold());
        QVERIFY(findNext->isEnabled());
        QCOMPARE(w.window->CurrentServerID(), ServerIdFromKey(current(w)->data(0, Qt::UserRole).toString()));
        w.click("btnFindNext");
        QVERIFY(current(w)->text(0).startsWith("Freezer B"));
        QVERIFY(!root(w)->child(1)->font(0).bold());
        w.click("btnFindNext");
        QVERIFY(current(w)->text(0).startsWith("fridge"));
        w.click("btnFindNext");
        QCOMPARE(w.t.prompts.texts,
                 QStringList{"No additional servers have been found with the search criteria 'f'"});
        QVERIFY(!findNext->isEnabled());

        QTest::mouseClick(box, Qt::LeftButton); // a click empties the box
        QCOMPARE(box->text(), QString());
        QTest::keyClicks(box, "x");
        QTest::keyClick(box, Qt::Key_Enter);
        QCOMPARE(w.t.prompts.texts.last(),
                 QStringLiteral("No servers has been found with the search criteria 'x'"));
    }

    void deleteKeepsHistory()
    {
        TreeWindow w(Octet);
        const qint64 id = w.addRecord("Doomed", "10.0.0.5");
        w.addRecord("Kept", "10.0.0.6");
        QVERIFY(w.db.SaveSensor(id, "Probe", 0, "", "Temperature", "", "", ""));
        QVERIFY(w.db.AddAlarmRecord(1, w.t.clock.now(), "Doomed", "Probe", "90.0", 5, -1));
        w.select(id);
        const QString text = current(w)->text(0);

        w.t.prompts.queueAnswer(Prompts::Answer::Cancel);
        w.trigger("mnuDeleteServerPopUp");
        QCOMPARE(w.t.prompts.texts, QStringList({"Delete " + text + "?", "Server has not been deleted"}));
        QCOMPARE(w.t.prompts.titles.first(), QStringLiteral("Delete Server?"));
        QCOMPARE(w.serverCount(), 2);

        w.t.prompts.texts.clear();
        w.t.prompts.queueAnswer(Prompts::Answer::Ok);
        w.trigger("mnuDeleteServerPopUp");
        QCOMPARE(w.t.prompts.texts.last(), QStringLiteral("Server has been deleted"));
        QCOMPARE(w.serverCount(), 1);
        QCOMPARE(nodeTexts(w).size(), 1);
        QCOMPARE(w.window->CurrentServerID(), -1);
        int sensors = 0;
        QVERIFY(!w.db.CountNamedSensors(sensors));
        int alarms = 0;
        QVERIFY(w.db.CountAlarms(alarms));
        QCOMPARE(alarms, 1);

        // Nothing selected but the root: nothing to delete.
        w.t.prompts.texts.clear();
        w.window->tree()->setCurrentItem(root(w));
        w.trigger("mnuDeleteServerPopUp");
        QCOMPARE(w.t.prompts.texts, QStringList{"Please select a server"});
    }

    void enableDisable()
    {
        TreeWindow w(Octet);
        const qint64 id = w.addRecord("Lab", "10.0.0.7", true, true);
        auto *menu = w.find<QMenu>("mnuPopUp");
        auto *caption = w.find<QAction>("mnuEnableDisable");
        w.select(id);
        rightClick(w, current(w));
        QVERIFY(menu->isVisible());
        QCOMPARE(caption->text(), QStringLiteral("Disable Server"));
        menu->hide();
        caption->trigger();
        QCOMPARE(w.record(id).Enabled + w.record(id).Comm, QStringLiteral("00"));
        QCOMPARE(imageOf(current(w)), 2);

        rightClick(w, current(w));
        QCOMPARE(caption->text(), QStringLiteral("Enable Server"));
        menu->hide();
        caption->trigger();
        QCOMPARE(w.record(id).Enabled + w.record(id).Comm, QStringLiteral("1-1"));
        QCOMPARE(imageOf(current(w)), 1);

        rightClick(w, root(w));
        QCOMPARE(caption->text(), QString());
        QVERIFY(!menu->isVisible());
    }

    void modelEditorChoice_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("editor");
        QTest::newRow("Wexa 13") << 3 << 3 << "frmWexa";
        QTest::newRow("Wexa 16") << 3 << 6 << "frmWexa16";
        QTest::newRow("RX700-5") << 5 << 5 << "frmRX705";
        QTest::newRow("RX700-10") << 5 << 10 << "frmRX705";
        QTest::newRow("RX700-8") << 5 << 8 << "frmRX708";
        QTest::newRow("RX720") << 5 << 20 << "frmRX720";
        QTest::newRow("RX740") << 5 << 40 << "frmRX740";
        QTest::newRow("RX700-4") << 5 << 4 << "";
    }

    void modelEditorChoice()
    {
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(QString, editor);
        TreeWindow w(Octet);
        QList<ModelEditorRequest> opened;
        w.editors.add("frmRX705", [&](const ModelEditorRequest &request) { opened.append(request); });
        SimDevice *device = w.addSim(family, model, 25);
        const qint64 id = w.addRecord("Device", w.addressOf(device));
        w.select(id);
        w.click("btnSensors");
        QCOMPARE(w.window->lastEditorChoice(), editor);
        QCOMPARE(w.t.prompts.texts, QStringList());
        // Only a registered editor opens, with the device's address and number.
        QCOMPARE(opened.size(), editor == "frmRX705" ? 1 : 0);
        if (!opened.isEmpty()) {
            QCOMPARE(opened.first().IPAddress, w.addressOf(device));
            QCOMPARE(opened.first().DatabaseID, id);
            QCOMPARE(opened.first().owner, w.window.get());
        }
    }

    void sensorsAndMoreNeedTheDevice()
    {
        TreeWindow w(Octet);
        QList<ModelEditorRequest> opened;
        w.editors.add("frmRX705PhoneParameters", [&](const ModelEditorRequest &r) { opened.append(r); });
        SimDevice *device = w.addSim(5, 5, 25);
        const qint64 id = w.addRecord("Phone box", w.addressOf(device));
        w.select(id);
        w.trigger("mnuEditServer");
        QVERIFY(w.find<QPushButton>("btnMore")->isVisible());
        w.click("btnMore");
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.first().ServerName,
                 QStringLiteral("Phone Parameters for server: ") + device->deviceName());
        QCOMPARE(opened.first().IPAddress, w.addressOf(device));

        device->setFault(SimFault::Refused);
        w.trigger("mnuEditSensors");
        QCOMPARE(w.t.prompts.texts,
                 QStringList({"The was an error communicating with the server at IP address" +
                              w.addressOf(device) + ".  Please try again."}));
    }
};

QTEST_MAIN(TestTreeBrowse)
#include "tst_treebrowse.moc"
