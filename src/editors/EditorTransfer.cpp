#include "EditorTransfer.h"

#include "PageField.h"

#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>

PageOutcome EditorTransfer::ReadPage(const QString &address, int page, QByteArray &image)
{
    const PageOutcome outcome =
        page == ReadingsPage ? readReadings(address, image) : m_pages.ReadPage(address, page, image);
    image = image.left(UserPages::PageSize);
    image.append(UserPages::PageSize - image.size(), ' ');
    return outcome;
}

PageOutcome EditorTransfer::readReadings(const QString &address, QByteArray &image)
{
    const QByteArray request = BuildCommand(DeviceCommands().DataCommand);
    const bool accepted =
        m_link.ReadFromQM(address, DeviceLink::DevicePort, request, image, UserPages::PageSize, QString());
    return Classify(ReadSucceeded(accepted, request, image), image);
}
