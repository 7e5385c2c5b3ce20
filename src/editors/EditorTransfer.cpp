#include "EditorTransfer.h"

#include "PageField.h"

#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>
#include <link/ReplyParser.h>

namespace {
constexpr int PageSize = DeviceLink::FrameLength;
} // namespace

EditorTransfer::Outcome EditorTransfer::exchange(const QString &address, const QByteArray &request)
{
    const bool accepted =
        m_link.ReadFromQM(address, DeviceLink::DevicePort, request, m_reply, PageSize, QString());
    if (accepted && SameCode(m_reply, request))
        return Outcome::Done;
    return IsBusyReply(m_reply) ? Outcome::Busy : Outcome::Failed;
}

EditorTransfer::Outcome EditorTransfer::Identify(const QString &address)
{
    const QByteArray request = BuildCommand(DeviceCommands().IdentifyCommand);
    const Outcome outcome = exchange(address, request);
    if (outcome == Outcome::Done && !ParseMessage(m_state, request, m_reply))
        return Outcome::Failed;
    return outcome;
}

EditorTransfer::Outcome EditorTransfer::ReadPage(const QString &address, int page, QByteArray &image)
{
    const QByteArray code =
        page == ReadingsPage ? DeviceCommands().DataCommand : CommandCodes::ReadUserPageCommand(page);
    const Outcome outcome = exchange(address, BuildCommand(code));
    image = m_reply.left(PageSize);
    image.append(PageSize - image.size(), ' ');
    return outcome;
}

EditorTransfer::Outcome EditorTransfer::StorePage(const QString &address, const QByteArray &image)
{
    QByteArray request = image;
    request.replace(0, 3, CommandCodes::StoreUserPageCommand(0).first(3));
    return exchange(address, request);
}
