#pragma once

#include <QByteArray>
#include <QString>

class DeviceLink;
class ProgramState;

// The exchanges of an editor with its device: identify, read a page (or the readings), store a
// page. Each is one transaction on port 10001 with a 60-byte reply.
class EditorTransfer {
public:
    enum class Outcome { Done, Busy, Failed };

    EditorTransfer(ProgramState &state, DeviceLink &link) : m_state(state), m_link(link) {}

    // Identify; on success the reply is parsed into the program state's identification values.
    Outcome Identify(const QString &address);
    // Reads page n, or the readings for ReadingsPage. image becomes the reply cut or padded with
    // blanks to 60 bytes, whatever the outcome.
    Outcome ReadPage(const QString &address, int page, QByteArray &image);
    // Stores a page image (its header made the store header); done when the reply echoes the
    // four header bytes.
    Outcome StorePage(const QString &address, const QByteArray &image);

private:
    Outcome exchange(const QString &address, const QByteArray &request);

    ProgramState &m_state;
    DeviceLink &m_link;
    QByteArray m_reply;
};
