// The device tree of the configuration window: building it, selecting, searching, the right
// button menu, deleting, enabling and disabling.
#include "TreeConfiguration.h"

#include "ConfigWidgets.h"

#include <config/DeviceRecords.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <db/Database.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>

namespace {
const QString RootKey = QStringLiteral("MainNode");
const QString SearchPrompt = QStringLiteral("Search Criteria");
constexpr int KeyRole = Qt::UserRole;
constexpr int ImageRole = Qt::UserRole + 1; // 1: communicates (and the root), 2: does not

QString keyOf(const QTreeWidgetItem *item)
{
    return item ? item->data(0, KeyRole).toString() : QString();
}

bool isDeviceNode(const QTreeWidgetItem *item)
{
    return keyOf(item).toLower().contains(QLatin1String("server"));
}

void setBold(QTreeWidgetItem *item, bool bold)
{
    QFont font = item->font(0);
    font.setBold(bold);
    item->setFont(0, font);
}
} // namespace

bool TreeConfiguration::LoadServers()
{
    QList<ServerRecord> rows;
    const bool any = m_db.LoadServers(rows);
    const QSignalBlocker quiet(m_tree);
    m_tree->clear();
    auto *root = new QTreeWidgetItem(m_tree, {QStringLiteral("Available Quellmark Devices")});
    root->setData(0, KeyRole, RootKey);
    root->setData(0, ImageRole, 1);
    root->setIcon(0, m_commOnIcon);
    for (const ServerRecord &row : rows) {
        auto *node = new QTreeWidgetItem(root, {ServerNodeText(row.ServerName, row.ServerIPAddress)});
        node->setData(0, KeyRole, ServerNodeKey(row.IDNum));
        node->setData(0, ImageRole, row.isCommOn() ? 1 : 2);
        node->setIcon(0, row.isCommOn() ? m_commOnIcon : m_commOffIcon);
    }
    m_tree->expandAll();
    // The device being worked on stays selected.
    if (QTreeWidgetItem *current = nodeOfServer(m_currentServerId)) {
        m_tree->setCurrentItem(current);
        setBold(current, true);
    }
    return any;
}

QTreeWidgetItem *TreeConfiguration::nodeOfServer(qint64 id) const
{
    const QTreeWidgetItem *root = m_tree->topLevelItem(0);
    for (int i = 0; root && id >= 0 && i < root->childCount(); ++i) {
        if (keyOf(root->child(i)) == ServerNodeKey(id))
            return root->child(i);
    }
    return nullptr;
}

QTreeWidgetItem *TreeConfiguration::selectedDeviceNode() const
{
    QTreeWidgetItem *item = m_tree->currentItem();
    return isDeviceNode(item) ? item : nullptr;
}

// Selecting a node, by the mouse, the keys or a search, makes it the current device.
void TreeConfiguration::onTreeSelection(QTreeWidgetItem *current, QTreeWidgetItem *previous)
{
    if (m_ignoreSelection)
        return;
    if (m_busy) {
        // Ignored while busy: the selection goes back to the device being worked on.
        const QSignalBlocker quiet(m_tree);
        m_tree->setCurrentItem(previous);
        return;
    }
    HideAllFrames();
    if (isDeviceNode(current)) {
        ClearBold();
        setBold(current, true);
        m_currentServerId = ServerIdFromKey(keyOf(current));
    } else {
        m_currentServerId = -1;
    }
}

void TreeConfiguration::selectServerNode(qint64 id)
{
    if (QTreeWidgetItem *node = nodeOfServer(id))
        m_tree->setCurrentItem(node);
}

void TreeConfiguration::ClearBold()
{
    const QTreeWidgetItem *root = m_tree->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i) {
        setBold(root->child(i), false);
        root->child(i)->setSelected(false);
    }
}

void TreeConfiguration::onTreeRightButton(const QPoint &position)
{
    if (m_busy)
        return;
    if (QTreeWidgetItem *item = m_tree->itemAt(position))
        m_tree->setCurrentItem(item);
    QTreeWidgetItem *item = selectedDeviceNode();
    if (item == nullptr) {
        m_mnuEnableDisable->setText(QString());
        return;
    }
    m_mnuEnableDisable->setText(item->data(0, ImageRole).toInt() == 1 ? QStringLiteral("Disable Server")
                                                                      : QStringLiteral("Enable Server"));
    m_popup->popup(m_tree->viewport()->mapToGlobal(position));
}

// ---- Search ----

bool TreeConfiguration::searchable() const
{
    const QString criteria = m_txtSearchCriteria->text();
    return !criteria.isEmpty() && criteria != SearchPrompt;
}

bool TreeConfiguration::matchesCriteria(const QTreeWidgetItem *item) const
{
    const QString text = item->text(0);
    const QString criteria = m_txtSearchCriteria->text();
    return !text.isEmpty() && !criteria.isEmpty() && text.at(0).toLower() == criteria.at(0).toLower();
}

bool TreeConfiguration::onSearchKey(int key)
{
    if (m_txtSearchCriteria->text() == SearchPrompt)
        m_txtSearchCriteria->clear();
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    FindServer();
    return true;
}

void TreeConfiguration::markFound(QTreeWidgetItem *item)
{
    ClearBold();
    setBold(item, true);
    item->setExpanded(true);
    m_tree->setCurrentItem(item);
    item->setSelected(true);
    HideAllFrames();
}

void TreeConfiguration::FindServer()
{
    if (!searchable() || m_busy)
        return;
    const QString criteria = m_txtSearchCriteria->text();
    ClearBold();
    const QTreeWidgetItem *root = m_tree->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i) {
        if (matchesCriteria(root->child(i))) {
            markFound(root->child(i));
            m_txtSearchCriteria->setFocus();
            m_btnFindNext->setEnabled(true);
            return;
        }
    }
    m_btnFindNext->setEnabled(false);
    m_state.prompts().message(QStringLiteral("No servers has been found with the search criteria '") +
                              criteria + QLatin1Char('\''));
}

void TreeConfiguration::onFindNext()
{
    if (!searchable() || m_busy)
        return;
    const QString criteria = m_txtSearchCriteria->text();
    const QTreeWidgetItem *root = m_tree->topLevelItem(0);
    QTreeWidgetItem *current = m_tree->currentItem();
    const int from = (current && current->parent() == root) ? root->indexOfChild(current) + 1 : 0;
    for (int i = from; root && i < root->childCount(); ++i) {
        if (matchesCriteria(root->child(i))) {
            markFound(root->child(i));
            return;
        }
    }
    m_btnFindNext->setEnabled(false);
    m_state.prompts().message(
        QStringLiteral("No additional servers have been found with the search criteria '") + criteria +
        QLatin1Char('\''));
}

// ---- Delete, enable, disable ----

bool TreeConfiguration::DeleteServer(qint64 serverId)
{
    return m_db.DeleteServer(serverId);
}

void TreeConfiguration::onDeleteServer()
{
    const QTreeWidgetItem *node = selectedDeviceNode();
    if (node == nullptr || m_busy) {
        m_state.prompts().message(QStringLiteral("Please select a server"));
        return;
    }
    const qint64 id = ServerIdFromKey(keyOf(node));
    const Prompts::Answer answer = m_state.prompts().ask(
        QStringLiteral("Delete ") + node->text(0) + QLatin1Char('?'), QStringLiteral("Delete Server?"),
        Prompts::Buttons::OkCancel, Prompts::Icon::Exclamation);
    if (answer != Prompts::Answer::Ok) {
        m_state.prompts().message(QStringLiteral("Server has not been deleted"));
        return;
    }
    const bool deleted = DeleteServer(id);
    if (deleted && id == m_currentServerId)
        m_currentServerId = -1;
    LoadServers();
    HideAllFrames();
    // A failed delete has shown its error; it is never reported as done.
    if (deleted)
        m_state.prompts().message(QStringLiteral("Server has been deleted"));
}

void TreeConfiguration::onEnableDisable()
{
    if (m_busy || m_currentServerId < 0)
        return;
    const bool enable = m_mnuEnableDisable->text().toLower().contains(QLatin1String("enable"));
    if (m_db.EnableDisableServer(m_currentServerId, enable ? 1 : 0, enable ? CommOn : CommOff))
        LoadServers();
}
