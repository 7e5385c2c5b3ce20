#pragma once

#include "EditorLayout.h"

#include <QByteArray>
#include <QString>

#include <optional>

class EditorForm;

// Turns the pages of an editor into the texts and selections of its controls and back. Every
// byte that no field of the page covers stays as it is.

// The name a sensor has once its text is stored in a 20-character field and read back: cut to
// 20 characters, blanks around it removed. White space alone names nothing.
QString NameAsStored(const QString &text);
// The sensor has a name in the form.
bool SensorNamed(const EditorForm &form, int sensor);

// Fills the form from one page (ReadingsPage for the readings reply). Fields of sensors
// without a name are emptied where their gate says so.
void DecodePage(const EditorLayout &layout, int page, const QByteArray &bytes, EditorForm &form,
                bool tenthsMode);

// Writes the form's fields of one page into its buffer. An empty number box keeps its bytes
// (or stores 0 where the field says so), a name is always written, an option without a
// selection keeps its bytes.
void EncodePage(const EditorLayout &layout, int page, const EditorForm &form, QByteArray &buffer,
                bool tenthsMode);
void EncodeField(const PageField &field, const EditorForm &form, QByteArray &buffer, bool tenthsMode);

// Why a field's text cannot be stored: not a number, outside what its bytes hold, or a
// telephone number that cannot be dialled. No value when it can be stored.
std::optional<QString> FieldProblem(const PageField &field, const EditorForm &form, bool tenthsMode);

// The number a field holds in a page, scaled as the field says; none when the bytes are missing.
std::optional<double> FieldNumber(const PageField &field, const QByteArray &page, bool tenthsMode);

// Whether a field is kept in tenths on the device, given the editor's tenths mode.
bool InTenths(const PageField &field, bool tenthsMode);
