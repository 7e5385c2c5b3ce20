#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

#include "UserPages.h"

// The configuration page of a device: its name, temperature unit and address. Family 3 keeps it
// on page 1, every other family on page 2. Layout (bytes counted from 1): 9-28 the name, 20
// characters padded with blanks; 29 the unit letter "C" or "F"; 30-49 the address as text, 20
// characters padded with blanks; the other bytes are the device's own and go back unchanged.
namespace ConfigPage {

constexpr int NameIndex = 8;
constexpr int NameWidth = 20;
constexpr int UnitIndex = 28;
constexpr int AddressIndex = 29;
constexpr int AddressWidth = 20;

// 1 for family 3, 2 for the others.
int Number(int modelFamily);

// The text without the blanks at either end; other white space (a tab, a line break) is part of
// a name and stays.
QString TrimBlanks(const QString &text);

// The name of a page image, blanks trimmed at both ends (Windows-1252).
QString Name(const QByteArray &image);
// 'C' when byte 29 is "C", else 'F'.
QChar Unit(const QByteArray &image);

// The name as it is stored: blanks trimmed, cut to 20 characters. Used for messages too.
QString StoredName(const QString &name);
// The stored name padded with blanks to 20 characters.
QString Name20(const QString &name);

// Why a name can not be given to a device or a sensor: a device reply holding the word "error"
// is always refused, so the device would store the name and never give it back. Empty when the
// name can be used.
QString NameRefusal(const QString &name);

// Writes name (trimmed, cut and padded to 20), unit letter and address (cut or padded to 20) into
// a 60-byte image. False when the image is shorter than a page.
bool Fill(QByteArray &image, const QString &name, QChar unit, const QString &address);

} // namespace ConfigPage

// What came of reading a device's name and unit.
struct ConfigDownload {
    enum class Outcome { Done, IdentifyFailed, ReadBusy, ReadFailed };
    Outcome outcome = Outcome::IdentifyFailed;
    QString name;
    QChar unit = QLatin1Char('F');
    // ReadFailed only because the name the device holds contains the word "error".
    bool errorWordInName = false;
};

// What came of writing a device's name, unit and address.
enum class ConfigUpload { IdentifyFailed, ReadBusy, ReadFailed, StoreBusy, StoreFailed, Stored };

// Identify, then read the configuration page of the device's family. The identification values
// of the program state are those of this device when the outcome is not IdentifyFailed.
ConfigDownload DownloadConfigPage(UserPages &pages, const QString &address);
// Identify, read the configuration page, put name, unit and address into it and store it; the
// store succeeds only when the device echoes the whole page. Nothing is stored when a step before
// it failed.
ConfigUpload UploadConfigPage(UserPages &pages, const QString &address, const QString &name, QChar unit,
                              const QString &newAddress);
