// The page value helpers over any page and any position: a read inside the page gives the
// stored bytes, a read or write that does not fit gives nothing and changes nothing, and a
// value written is read back as its low 16 bits.
#include "FuzzHarness.h"

#include <link/PageValues.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InputReader input(data, size);
    const qint32 index = input.int32();
    const qint32 value = input.int32();
    const QByteArray original = input.rest();

    const qint64 end = qint64(index) + 2;
    const bool byteFits = index >= 0 && index < original.size();
    const bool pairFits = index >= 0 && end <= original.size();

    const auto byte = PageByte(original, index);
    FUZZ_CHECK(byte.has_value() == byteFits);
    if (byte)
        FUZZ_CHECK(*byte == static_cast<unsigned char>(original.at(index)));
    const auto word = PageUInt16(original, index);
    const auto signedWord = PageInt16(original, index);
    FUZZ_CHECK(word.has_value() == pairFits && signedWord.has_value() == pairFits);
    if (word) {
        FUZZ_CHECK(*word >= 0 && *word <= 65535);
        FUZZ_CHECK(qint16(quint16(*word)) == *signedWord);
    }

    QByteArray page = original;
    FUZZ_CHECK(SetPageByte(page, index, value) == byteFits);
    if (byteFits)
        FUZZ_CHECK(*PageByte(page, index) == (value & 0xFF));
    else
        FUZZ_CHECK(page == original);

    page = original;
    FUZZ_CHECK(SetPageInt16(page, index, value) == pairFits);
    if (pairFits) {
        FUZZ_CHECK(*PageUInt16(page, index) == (value & 0xFFFF));
        FUZZ_CHECK(page.size() == original.size());
    } else {
        FUZZ_CHECK(page == original);
    }
    FUZZ_CHECK(HighByte(value) == ((value >> 8) & 0xFF) && LowByte(value) == (value & 0xFF));
    return 0;
}
