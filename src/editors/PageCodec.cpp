#include "PageCodec.h"

#include "EditorForm.h"
#include "FieldText.h"
#include "PhoneNumber.h"

#include <alarms/AlarmTexts.h>
#include <config/ConfigPage.h>
#include <core/Win1252.h>
#include <link/PageValues.h>

namespace {

constexpr int NameWidth = 20;

QString numberText(int stored, bool tenths)
{
    return tenths ? OneDecimalText(double(float(stored) / 10.0f)) : QString::number(stored);
}

QString nameText(const QByteArray &page, int index)
{
    QByteArray bytes = page.mid(index, NameWidth);
    // Blanks and NUL padding around a name are not part of it.
    const auto isPad = [](char c) { return c == ' ' || c == '\0'; };
    while (!bytes.isEmpty() && isPad(bytes.back()))
        bytes.chop(1);
    while (!bytes.isEmpty() && isPad(bytes.front()))
        bytes.remove(0, 1);
    // White space alone (a no-break space among blanks, say) names nothing, as on the way out.
    const QString text = FromWin1252(bytes);
    return text.trimmed().isEmpty() ? QString() : text;
}

// A sensor's reading as its editor shows it: the state text, or for a temperature the value
// with one decimal digit.
QString readingText(const EditorLayout &layout, const PageField &field, const QByteArray &page,
                    bool tenthsMode)
{
    const auto raw = PageInt16(page, field.position - 1);
    if (!raw)
        return QString();
    float value = float(*raw);
    const bool temperature = field.scale == FieldScale::TenthsMode;
    if (temperature && tenthsMode)
        value /= 10.0f;
    QString text;
    SensorStateText(value, layout.sensors.value(field.sensor), text);
    return temperature && IsNumericText(text) ? OneDecimalText(double(value)) : text;
}

int choiceOf(FieldCodec codec, int stored)
{
    switch (codec) {
    case FieldCodec::OptionZeroFirst:
        return stored == 0 ? 0 : 1;
    case FieldCodec::OptionOneFirst:
        return stored == 1 ? 0 : 1;
    case FieldCodec::ItemIndex16:
        return stored == 0 || stored == 1 ? stored : -1;
    default: // Flag16
        return stored != 0 ? 1 : 0;
    }
}

int storedChoice(FieldCodec codec, int choice)
{
    switch (codec) {
    case FieldCodec::OptionZeroFirst:
        return choice == 0 ? 0 : 1;
    case FieldCodec::OptionOneFirst:
        return choice == 0 ? 1 : 0;
    default:
        return choice;
    }
}

bool isSixteenBit(FieldCodec codec)
{
    return codec == FieldCodec::Int16 || codec == FieldCodec::ItemIndex16 || codec == FieldCodec::Flag16;
}

std::optional<int> storedValue(const PageField &field, const QByteArray &page)
{
    return isSixteenBit(field.codec) ? PageInt16(page, field.position - 1)
                                     : PageByte(page, field.position - 1);
}

void decodeField(const EditorLayout &layout, const PageField &field, const QByteArray &page, EditorForm &form,
                 bool tenthsMode)
{
    if (field.codec == FieldCodec::Reading) {
        form.setText(field.key, readingText(layout, field, page, tenthsMode));
        return;
    }
    if (field.codec == FieldCodec::Name) {
        form.setText(field.key, nameText(page, field.position - 1));
        return;
    }
    if (field.codec == FieldCodec::PhoneNumber) {
        form.setText(field.key, DecodePhoneNumber(page, field.position - 1));
        return;
    }
    const auto stored = storedValue(field, page);
    if (!stored)
        return;
    if (field.isChoice())
        form.setChoice(field.key, choiceOf(field.codec, *stored));
    else
        form.setText(field.key, numberText(*stored, InTenths(field, tenthsMode)));
}

// False when the field's gate keeps it from being shown now.
bool gateOpen(const PageField &field, const EditorForm &form, bool tenthsMode)
{
    switch (field.gate) {
    case FieldGate::Named:
        return SensorNamed(form, field.sensor);
    case FieldGate::TenthsMode:
        return tenthsMode;
    default:
        return true;
    }
}

} // namespace

QString NameAsStored(const QString &text)
{
    if (text.trimmed().isEmpty())
        return QString();
    return nameText(FixedField(text, NameWidth), 0);
}

bool SensorNamed(const EditorForm &form, int sensor)
{
    return !form.text(ControlKey("txtName", sensor)).trimmed().isEmpty();
}

int PageField::width() const
{
    switch (codec) {
    case FieldCodec::Name:
    case FieldCodec::PhoneNumber:
        return NameWidth;
    case FieldCodec::Byte:
    case FieldCodec::OptionZeroFirst:
    case FieldCodec::OptionOneFirst:
        return 1;
    default:
        return 2;
    }
}

std::optional<double> FieldNumber(const PageField &field, const QByteArray &page, bool tenthsMode)
{
    const auto stored = storedValue(field, page);
    if (!stored)
        return std::nullopt;
    return InTenths(field, tenthsMode) ? double(float(*stored) / 10.0f) : double(*stored);
}

bool InTenths(const PageField &field, bool tenthsMode)
{
    return field.scale == FieldScale::Tenths || (field.scale == FieldScale::TenthsMode && tenthsMode);
}

void DecodePage(const EditorLayout &layout, int page, const QByteArray &bytes, EditorForm &form,
                bool tenthsMode)
{
    for (const PageField &field : layout.fields) {
        if (field.page != page)
            continue;
        if (gateOpen(field, form, tenthsMode))
            decodeField(layout, field, bytes, form, tenthsMode);
        else if (!field.isChoice())
            form.setText(field.key, QString()); // a selection stays as it was
    }
}

void EncodeField(const PageField &field, const EditorForm &form, QByteArray &buffer, bool tenthsMode)
{
    const int index = field.position - 1;
    const QString text = form.text(field.key);
    switch (field.codec) {
    case FieldCodec::Reading:
        return;
    case FieldCodec::Name:
        // White space alone names nothing: the field goes out blank.
        if (index >= 0 && qsizetype(index) + NameWidth <= buffer.size())
            buffer.replace(index, NameWidth,
                           FixedField(text.trimmed().isEmpty() ? QString() : text, NameWidth));
        return;
    case FieldCodec::PhoneNumber:
        EncodePhoneNumber(buffer, index, text);
        return;
    case FieldCodec::Int16:
    case FieldCodec::Byte: {
        std::optional<long long> value;
        if (text.trimmed().isEmpty())
            value = field.emptyIsZero ? std::optional<long long>(0) : std::nullopt;
        else
            value = StoredWholeNumber(text, InTenths(field, tenthsMode));
        if (!value)
            return;
        if (field.codec == FieldCodec::Int16)
            SetPageInt16(buffer, index, int(*value));
        else
            SetPageByte(buffer, index, int(*value));
        return;
    }
    default: {
        const int choice = form.choice(field.key);
        if (choice < 0)
            return; // nothing selected: the device's value stays
        const int stored = storedChoice(field.codec, choice);
        if (isSixteenBit(field.codec))
            SetPageInt16(buffer, index, stored);
        else
            SetPageByte(buffer, index, stored);
    }
    }
}

void EncodePage(const EditorLayout &layout, int page, const EditorForm &form, QByteArray &buffer,
                bool tenthsMode)
{
    for (const PageField &field : layout.fields) {
        if (field.page == page)
            EncodeField(field, form, buffer, tenthsMode);
    }
}

std::optional<QString> FieldProblem(const PageField &field, const EditorForm &form, bool tenthsMode)
{
    const QString text = form.text(field.key);
    if (field.codec == FieldCodec::Name) {
        const QString refusal = ConfigPage::NameRefusal(text.trimmed());
        return refusal.isEmpty() ? std::nullopt : std::optional<QString>(refusal);
    }
    if (field.codec == FieldCodec::PhoneNumber) {
        if (IsDiallable(text))
            return std::nullopt;
        return field.label +
               QStringLiteral(" can not be stored.  A number may hold only the digits 0 to 9 and \"*\", at "
                              "most 20 of them.");
    }
    if (!field.isNumber() || field.decodeOnly() || text.trimmed().isEmpty())
        return std::nullopt;
    const bool tenths = InTenths(field, tenthsMode);
    const auto value = StoredWholeNumber(text, tenths);
    if (!value)
        return field.label + QStringLiteral(" can not be stored.  \"") + text +
               QStringLiteral("\" is not a number.");
    const int low = field.codec == FieldCodec::Byte ? 0 : -32768;
    const int high = field.codec == FieldCodec::Byte ? 255 : 32767;
    if (*value >= low && *value <= high)
        return std::nullopt;
    return field.label + QStringLiteral(" is out of range.  Please enter a value between ") +
           numberText(low, tenths) + QStringLiteral(" and ") + numberText(high, tenths) + QStringLiteral(".");
}
