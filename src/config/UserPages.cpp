#include "UserPages.h"

#include <core/ProgramState.h>
#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>
#include <link/ReplyParser.h>

namespace {

const QString Where = QStringLiteral("UserPages");

// The page number of an image whose header is a read or store header of a user page; -1 when
// it is neither (a busy reply, an empty or short buffer).
int pageOfImage(const QByteArray &image)
{
    if (image.size() != UserPages::PageSize)
        return -1;
    const int page = static_cast<unsigned char>(image.at(3));
    if (page >= UserPages::PageCount)
        return -1;
    const QByteArray header = image.first(4);
    if (header == CommandCodes::ReadUserPageCommand(page) ||
        header == CommandCodes::StoreUserPageCommand(page))
        return page;
    return -1;
}

} // namespace

bool InsertStoreUserPageCommand(QByteArray &strSend)
{
    if (strSend.size() < 4)
        return false;
    const QByteArray header = CommandCodes::StoreUserPageCommand(static_cast<unsigned char>(strSend.at(3)));
    strSend.replace(0, 3, header.first(3));
    return true;
}

bool ReadSucceeded(bool transactionOk, const QByteArray &request, const QByteArray &reply)
{
    return transactionOk && SameCode(reply, request);
}

bool StoreSucceeded(bool transactionOk, const QByteArray &request, const QByteArray &reply, StoreCheck check)
{
    if (check == StoreCheck::WholeReply)
        return transactionOk && reply == request;
    return ReadSucceeded(transactionOk, request, reply);
}

PageOutcome Classify(bool succeeded, const QByteArray &reply)
{
    if (succeeded)
        return PageOutcome::Done;
    return IsBusyReply(reply) ? PageOutcome::Busy : PageOutcome::Failed;
}

UserPages::UserPages(ProgramState &state, DeviceLink &link) : m_state(state), m_link(link) {}

bool UserPages::transact(const QString &address, const QByteArray &request)
{
    return m_link.ReadFromQM(address, DeviceLink::DevicePort, request, m_reply, PageSize, QString());
}

PageOutcome UserPages::SendCommand(const QString &address, const QByteArray &code)
{
    const QByteArray request = BuildCommand(code);
    return Classify(ReadSucceeded(transact(address, request), request, m_reply), m_reply);
}

PageOutcome UserPages::Identify(const QString &address)
{
    const QByteArray &code = DeviceCommands().IdentifyCommand;
    const PageOutcome outcome = SendCommand(address, code);
    // A reply whose values cannot be parsed leaves the identification unknown: a failure.
    if (outcome == PageOutcome::Done && !ParseMessage(m_state, BuildCommand(code), m_reply))
        return PageOutcome::Failed;
    return outcome;
}

PageOutcome UserPages::ReadPage(const QString &address, int page, QByteArray &image)
{
    image.clear();
    if (page < 0 || page >= PageCount) {
        m_state.AddError(Where, QStringLiteral("there is no user page %1").arg(page));
        return PageOutcome::Failed;
    }
    const QByteArray request = BuildCommand(CommandCodes::ReadUserPageCommand(page));
    const bool ok = ReadSucceeded(transact(address, request), request, m_reply);
    // A page is 60 bytes; anything a device sends after them is not part of it.
    image = ok ? m_reply.left(PageSize) : m_reply;
    return Classify(ok, m_reply);
}

PageOutcome UserPages::StorePage(const QString &address, const QByteArray &image, StoreCheck check)
{
    // Only an image that came from a page read goes back: anything else (a busy reply, a short or
    // empty buffer) would overwrite a page with bytes the device never held.
    if (pageOfImage(image) < 0) {
        m_reply.clear();
        m_state.AddError(Where, QStringLiteral("a store was refused: the image is not a user page"));
        return PageOutcome::Failed;
    }
    QByteArray request = image;
    InsertStoreUserPageCommand(request);
    return Classify(StoreSucceeded(transact(address, request), request, m_reply, check), m_reply);
}

PageWrite UserPages::ModifyPage(const QString &address, int page,
                                const std::function<void(QByteArray &)> &change, StoreCheck check)
{
    QByteArray image;
    const PageOutcome read = ReadPage(address, page, image);
    if (read == PageOutcome::Busy)
        return PageWrite::ReadBusy;
    if (read == PageOutcome::Failed)
        return PageWrite::ReadFailed;
    change(image);
    // The change may only touch the content: the header stays the page's own.
    image.resize(PageSize);
    image.replace(0, 4, CommandCodes::ReadUserPageCommand(page));
    switch (StorePage(address, image, check)) {
    case PageOutcome::Done:
        return PageWrite::Stored;
    case PageOutcome::Busy:
        return PageWrite::StoreBusy;
    case PageOutcome::Failed:
        break;
    }
    return PageWrite::StoreFailed;
}
