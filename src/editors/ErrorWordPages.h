#pragma once

#include "EditorLayout.h"

#include <QByteArray>
#include <QList>
#include <QString>

class EditorForm;

// A device reply that holds the word "error" is refused, so a page whose bytes spell it can never
// be read again (only the device's factory defaults clear it). Two 20-character names side by
// side can spell it between them ("...Ferro" + "Rack B"): pages are judged whole, as they are
// stored and as they come back.

// Why a page read failed when only names on it spell the word: one name holds it, or two side by
// side spell it between them. Empty when the read failed for another reason.
QString ErrorWordReadText(const EditorLayout &layout, int page, const QByteArray &reply);

// The fields of a page image about to be stored that spell the word, in page order; none when
// the image is free of it.
QList<const PageField *> PageFieldsSpellingErrorWord(const EditorLayout &layout, int page,
                                                     const QByteArray &image);

// What the operator is told about those fields, named with what the form holds.
QString ErrorWordStoreText(const QList<const PageField *> &fields, const EditorForm &form);
