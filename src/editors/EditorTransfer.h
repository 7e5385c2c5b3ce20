#pragma once

#include <config/UserPages.h>

#include <QByteArray>
#include <QString>

class DeviceLink;
class ProgramState;

// The exchanges of an editor with its device: identify, read a page or the readings, store a
// page. Pages move through the user-page transfer; a store is accepted on the echo of its four
// header bytes.
class EditorTransfer {
public:
    EditorTransfer(ProgramState &state, DeviceLink &link) : m_pages(state, link), m_link(link) {}

    // Identify; on success the reply is parsed into the program state's identification values.
    PageOutcome Identify(const QString &address) { return m_pages.Identify(address); }
    // Reads page n, or the readings for ReadingsPage. image becomes the reply cut or padded with
    // blanks to 60 bytes, whatever the outcome.
    PageOutcome ReadPage(const QString &address, int page, QByteArray &image);
    // Stores a page image read from the device (its header made the store header).
    PageOutcome StorePage(const QString &address, const QByteArray &image)
    {
        return m_pages.StorePage(address, image, StoreCheck::HeaderEcho);
    }

private:
    PageOutcome readReadings(const QString &address, QByteArray &image);

    UserPages m_pages;
    DeviceLink &m_link;
};
