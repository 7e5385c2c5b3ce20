// A model editor's page decoding and encoding over any page a device may send: decoding never
// fails, writing the shown values back changes no byte that no field covers, and what a page
// shows is what the page written from it shows again.
#include "FuzzHarness.h"

#include <editors/EditorForm.h>
#include <editors/ModelLayouts.h>
#include <editors/PageCodec.h>

namespace {

const EditorLayout &layoutOf(int choice)
{
    const EditorLayout *layouts[] = {&Rx705Layout(), &Rx708Layout(),  &Rx720Layout(),          &Rx740Layout(),
                                     &WexaLayout(),  &Wexa16Layout(), &PhoneParametersLayout()};
    return *layouts[choice % 7];
}

bool covered(const EditorLayout &layout, int page, int index)
{
    for (const PageField &field : layout.fields) {
        if (field.page == page && index >= field.position - 1 && index < field.position - 1 + field.width())
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InputReader input(data, size);
    const EditorLayout &layout = layoutOf(input.byte());
    const bool tenths = input.byte() & 1;
    const QList<int> pages = layout.pages();
    const int page = pages.at(input.byte() % pages.size());
    // As the editor keeps a reply: cut or padded with blanks to 60 bytes.
    QByteArray image = input.rest().left(60);
    image.append(60 - image.size(), ' ');

    EditorForm shown;
    DecodePage(layout, page, image, shown, tenths);
    if (page == ReadingsPage)
        return 0; // the readings are never written back

    QByteArray written = image;
    EncodePage(layout, page, shown, written, tenths);
    FUZZ_CHECK(written.size() == 60);
    for (int index = 0; index < 60; ++index)
        FUZZ_CHECK(covered(layout, page, index) || written.at(index) == image.at(index));

    EditorForm again;
    DecodePage(layout, page, written, again, tenths);
    for (const PageField &field : layout.fields) {
        if (field.page != page)
            continue;
        FUZZ_CHECK(again.text(field.key) == shown.text(field.key));
        FUZZ_CHECK(again.choice(field.key) == shown.choice(field.key));
    }
    return 0;
}
