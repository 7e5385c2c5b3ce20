#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>

class QThread;

// Makes an answer on a thread of its own, so that a large one (the metrics of tens of thousands
// of sensors) never holds up the window's thread or a poll cycle. One is made at a time: a
// request that comes while one is made waits for that one, which is at most as old as its
// making. Each answer gets a new thread, whose start and end order it with this object's thread
// where a thread checker can see it.
class OffThreadRender final : public QObject {
    Q_OBJECT
public:
    using Make = std::function<QByteArray()>;
    using Done = std::function<void(const QByteArray &)>;

    explicit OffThreadRender(QObject *parent = nullptr);
    // Waits for an answer being made; the calls waiting for it are dropped.
    ~OffThreadRender() override;

    bool busy() const { return m_thread != nullptr; }
    // Calls done with the answer on this object's thread once it is made: make() on a thread of
    // its own when none is being made, else the answer being made (make is then not used).
    void render(const Make &make, Done done);

private:
    void onThreadDone();

    QThread *m_thread = nullptr;
    QByteArray m_made;
    QList<Done> m_waiting;
};
