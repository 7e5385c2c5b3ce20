#pragma once

#include <QString>

// One value of a device page and the control that shows it. Editors are described by lists of
// these: which page, which bytes, how the bytes become the control's text and back.

// How the bytes of a field are read and written.
enum class FieldCodec {
    Int16,           // two bytes, high byte first, two's complement
    Byte,            // one byte, 0 to 255
    Name,            // 20 characters, blank-padded; shown without surrounding blanks
    PhoneNumber,     // 20 dialled symbols; 1C after a shorter number
    OptionZeroFirst, // byte: 0 selects option 0, anything else option 1; written 0 or 1
    OptionOneFirst,  // byte: 1 selects option 0, anything else option 1; written 1 or 0
    ItemIndex16,     // 16-bit list item index (0 or 1); any other value selects nothing
    Flag16,          // 16-bit: 0 selects item 0, anything else item 1; written as the item index
    Reading,         // readings reply: a sensor's reading shown as its state text
};

// How a number field is scaled between the bytes and the text.
enum class FieldScale {
    Whole,      // whole numbers both ways
    TenthsMode, // tenths of a unit on the device when the editor is in tenths mode
    Tenths,     // always tenths of a unit on the device; shown with one decimal digit
};

// When a download shows the field.
enum class FieldGate {
    Always,
    Named,     // only while the sensor it belongs to has a name; otherwise its box is emptied
    TenthsMode // only in tenths mode; otherwise its box stays empty
};

// The page number under which the readings reply is decoded.
inline constexpr int ReadingsPage = 20;

struct PageField {
    QString key;      // the control's name with its index, e.g. "txtLL_3" (an option pair: its name)
    int page = 0;     // user page, or ReadingsPage
    int position = 0; // first byte, counted from 1 as the device documents it
    FieldCodec codec = FieldCodec::Int16;
    FieldScale scale = FieldScale::Whole;
    FieldGate gate = FieldGate::Always;
    int sensor = -1;          // the sensor row the field belongs to; -1 for none
    bool emptyIsZero = false; // an empty box is written as 0 instead of keeping the bytes
    QString label;            // what messages call the field

    bool isChoice() const
    {
        return codec == FieldCodec::OptionZeroFirst || codec == FieldCodec::OptionOneFirst ||
               codec == FieldCodec::ItemIndex16 || codec == FieldCodec::Flag16;
    }
    bool isNumber() const { return codec == FieldCodec::Int16 || codec == FieldCodec::Byte; }
    bool decodeOnly() const { return page == ReadingsPage; }
    // The bytes the field takes.
    int width() const;
};
