#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

// The program's windows in the order they were opened (last shown last), so that they can be
// closed from the most recently opened down. It watches the show events of the whole
// application while it lives.
class WindowOrder final : public QObject {
    Q_OBJECT
public:
    explicit WindowOrder(QObject *parent = nullptr);
    ~WindowOrder() override;

    // Closes every open window except `keep`, newest first.
    void CloseNewestFirst(const QWidget *keep);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<QPointer<QWidget>> m_opened;
};
