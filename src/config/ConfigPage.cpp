#include "ConfigPage.h"

#include <core/ProgramState.h>
#include <core/Win1252.h>
#include <link/DeviceCommands.h>

namespace ConfigPage {

int Number(int modelFamily)
{
    return modelFamily == 3 ? 1 : 2;
}

QString TrimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

QString Name(const QByteArray &image)
{
    return TrimBlanks(FromWin1252(image.mid(NameIndex, NameWidth)));
}

QChar Unit(const QByteArray &image)
{
    return image.size() > UnitIndex && image.at(UnitIndex) == 'C' ? QLatin1Char('C') : QLatin1Char('F');
}

QString StoredName(const QString &name)
{
    return TrimBlanks(name).left(NameWidth);
}

QString Name20(const QString &name)
{
    return StoredName(name).leftJustified(NameWidth, QLatin1Char(' '));
}

QString NameRefusal(const QString &name)
{
    if (!HoldsErrorWord(ToWin1252(name)))
        return QString();
    return QStringLiteral("The name \"") + name +
           QStringLiteral("\" can not be used.  A device reply that holds the word \"error\" counts as a "
                          "failure, so the device could never give this name back.  Please choose another "
                          "name.");
}

bool Fill(QByteArray &image, const QString &name, QChar unit, const QString &address)
{
    if (image.size() < UserPages::PageSize)
        return false;
    image.replace(NameIndex, NameWidth, FixedField(StoredName(name), NameWidth));
    image[UnitIndex] = unit == QLatin1Char('C') ? 'C' : 'F';
    image.replace(AddressIndex, AddressWidth, FixedField(address, AddressWidth));
    return true;
}

} // namespace ConfigPage

ConfigDownload DownloadConfigPage(UserPages &pages, const QString &address)
{
    ConfigDownload result;
    if (pages.Identify(address) != PageOutcome::Done)
        return result;
    QByteArray image;
    switch (pages.ReadPage(address, ConfigPage::Number(pages.state().ModelFamily), image)) {
    case PageOutcome::Done:
        result.outcome = ConfigDownload::Outcome::Done;
        result.name = ConfigPage::Name(image);
        result.unit = ConfigPage::Unit(image);
        break;
    case PageOutcome::Busy:
        result.outcome = ConfigDownload::Outcome::ReadBusy;
        break;
    case PageOutcome::Failed:
        result.outcome = ConfigDownload::Outcome::ReadFailed;
        result.errorWordInName = ErrorWordOnlyInFields(
            CommandCodes::ReadUserPageCommand(ConfigPage::Number(pages.state().ModelFamily)),
            pages.lastReply(), UserPages::PageSize, {{ConfigPage::NameIndex, ConfigPage::NameWidth}});
        break;
    }
    return result;
}

ConfigUpload UploadConfigPage(UserPages &pages, const QString &address, const QString &name, QChar unit,
                              const QString &newAddress)
{
    if (pages.Identify(address) != PageOutcome::Done)
        return ConfigUpload::IdentifyFailed;
    const int page = ConfigPage::Number(pages.state().ModelFamily);
    const auto fill = [&](QByteArray &image) { ConfigPage::Fill(image, name, unit, newAddress); };
    switch (pages.ModifyPage(address, page, fill, StoreCheck::WholeReply)) {
    case PageWrite::Stored:
        return ConfigUpload::Stored;
    case PageWrite::StoreBusy:
        return ConfigUpload::StoreBusy;
    case PageWrite::StoreFailed:
        return ConfigUpload::StoreFailed;
    case PageWrite::ReadBusy:
        return ConfigUpload::ReadBusy;
    case PageWrite::ReadFailed:
        break;
    }
    return ConfigUpload::ReadFailed;
}
