#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class DeviceLink;
class ProgramState;

// What became of one exchange of a device message.
enum class PageOutcome {
    Done,   // the device answered as it should
    Busy,   // the device is on a telephone call: the reply began with the busy reply
    Failed, // no reply, a short one, another header, or an "error" reply
};

// How a store is judged. The configuration page needs the whole reply to equal what was sent;
// the model editors accept the echo of the four header bytes.
enum class StoreCheck { WholeReply, HeaderEcho };

// What became of a read, modify and store of one page: which step ended it and how.
enum class PageWrite { Stored, StoreBusy, StoreFailed, ReadBusy, ReadFailed };

// Changes the header of a page image to the store header: bytes 1 to 3 become DD CC BB, byte 4
// (the page number) stays. False, with nothing changed, when the image has no header.
bool InsertStoreUserPageCommand(QByteArray &strSend);

// A read (identify or page) succeeded: the transaction was accepted and the reply starts with
// the request's four bytes.
bool ReadSucceeded(bool transactionOk, const QByteArray &request, const QByteArray &reply);
// A store succeeded by the given check.
bool StoreSucceeded(bool transactionOk, const QByteArray &request, const QByteArray &reply, StoreCheck check);
// Done when it succeeded; otherwise Busy or Failed by the busy test.
PageOutcome Classify(bool succeeded, const QByteArray &reply);

// Moves user pages between the program and a device over the device link: identify, read one
// page, store one page, and a page changed in place by read, modify, store. Every exchange is one
// transaction on port 10001 with a 60-byte reply; a busy device is reported, never retried.
class UserPages {
public:
    static constexpr int PageCount = 16;
    static constexpr int PageSize = 60;

    UserPages(ProgramState &state, DeviceLink &link);

    // A plain command: its code padded with NUL to 60 bytes, done when the reply echoes the code.
    PageOutcome SendCommand(const QString &address, const QByteArray &code);
    // Identify; when it succeeds the reply is parsed into ModelFamily, ModelNumber and
    // FirmwareRevision of the program state (a failed identify leaves them as they were).
    PageOutcome Identify(const QString &address);
    // Reads page n (0 to 15). image receives the reply as it arrived (on success the 60 bytes,
    // header AA BB CC n included; otherwise whatever came, possibly nothing).
    PageOutcome ReadPage(const QString &address, int page, QByteArray &image);
    // Stores a 60-byte page image as read (header included), with the store header put in
    // place of the read header. The device's own reply stays in lastReply().
    PageOutcome StorePage(const QString &address, const QByteArray &image, StoreCheck check);
    // Reads page n, lets change edit the image (60 bytes, read header included), then stores it.
    // Nothing is stored when the read failed.
    PageWrite ModifyPage(const QString &address, int page, const std::function<void(QByteArray &)> &change,
                         StoreCheck check);

    ProgramState &state() const { return m_state; }
    // The reply of the last exchange, as it arrived.
    const QByteArray &lastReply() const { return m_reply; }

private:
    bool transact(const QString &address, const QByteArray &request);

    ProgramState &m_state;
    DeviceLink &m_link;
    QByteArray m_reply;
};
