#include "ErrorWordPages.h"

#include "EditorForm.h"
#include "PageCodec.h"

#include <core/Win1252.h>
#include <link/DeviceCommands.h>

#include <algorithm>

namespace {

QList<const PageField *> pageFields(const EditorLayout &layout, int page, bool namesOnly)
{
    QList<const PageField *> fields;
    for (const PageField &field : layout.fields) {
        if (field.page == page && !field.decodeOnly() && (!namesOnly || field.codec == FieldCodec::Name))
            fields.append(&field);
    }
    return fields;
}

QList<QPair<int, int>> fieldSpans(const QList<const PageField *> &fields)
{
    QList<QPair<int, int>> list;
    for (const PageField *field : fields)
        list.append({field->position - 1, field->width()});
    return list;
}

QString inQuotes(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString ErrorWordReadText(const EditorLayout &layout, int page, const QByteArray &reply)
{
    const QList<const PageField *> names = pageFields(layout, page, true);
    if (names.isEmpty() || !ErrorWordOnlyInFields(CommandCodes::ReadUserPageCommand(page), reply,
                                                  CommandCodes::FrameLength, fieldSpans(names)))
        return QString();
    const QList<int> spelling = FieldsSpellingErrorWord(reply, fieldSpans(names)).value_or(QList<int>());
    const QString tail = QStringLiteral("  Names can not be changed from here; Restore Factory Defaults in "
                                        "the Setup window clears them.");
    if (spelling.size() < 2)
        return QStringLiteral("The sensor names of page %1 could not be read: a name the device holds "
                              "contains the word \"error\", and every reply that carries it is refused.")
                   .arg(page) +
               tail;
    QStringList texts;
    for (int index : spelling) {
        const PageField *name = names.at(index);
        texts.append(inQuotes(NameAsStored(FromWin1252(reply.mid(name->position - 1, name->width())))));
    }
    return QStringLiteral("The sensor names of page %1 could not be read: the names %2 the device holds side "
                          "by side spell the word \"error\", and every reply that carries them is refused.")
               .arg(page)
               .arg(texts.join(QStringLiteral(" and "))) +
           tail;
}

QList<const PageField *> PageFieldsSpellingErrorWord(const EditorLayout &layout, int page,
                                                     const QByteArray &image)
{
    if (!HoldsErrorWord(image))
        return {};
    const QList<const PageField *> fields = pageFields(layout, page, false);
    QList<const PageField *> spelling;
    for (int index : FieldsSpellingErrorWord(image, fieldSpans(fields)).value_or(QList<int>()))
        spelling.append(fields.at(index));
    std::sort(spelling.begin(), spelling.end(),
              [](const PageField *a, const PageField *b) { return a->position < b->position; });
    return spelling;
}

QString ErrorWordStoreText(const QList<const PageField *> &fields, const EditorForm &form)
{
    const bool allNames = std::all_of(fields.cbegin(), fields.cend(), [](const PageField *field) {
        return field->codec == FieldCodec::Name;
    });
    QStringList named;
    for (const PageField *field : fields)
        named.append(allNames ? inQuotes(form.text(field->key)) : field->label);
    const QString list = named.join(QStringLiteral(" and "));
    const QString refused =
        QStringLiteral("and a device reply that holds it counts as a failure, so the device "
                       "could never give ");
    if (allNames && fields.size() > 1)
        return QStringLiteral("The names ") + list +
               QStringLiteral(" can not be stored side by side: together they spell the word \"error\", ") +
               refused + QStringLiteral("them back.  Please change one of them.");
    return list +
           QStringLiteral(
               " can not be stored as it stands: with the bytes beside it the page would spell the "
               "word \"error\", ") +
           refused + QStringLiteral("it back.  Please change it.");
}
