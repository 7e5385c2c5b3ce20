// The settings record decoder over any bytes: it reads exactly the records of 1501 bytes or
// more, and what it reads survives being written and read again unchanged.
#include "FuzzHarness.h"

#include <core/ConfigRecord.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = InputBytes(data, size);
    ConfigRecord record;
    const bool decoded = DecodeConfigRecord(bytes, record);
    FUZZ_CHECK(decoded == (bytes.size() >= ConfigLayout::RecordSize));
    if (!decoded)
        return 0;

    const QByteArray encoded = EncodeConfigRecord(record);
    FUZZ_CHECK(encoded.size() == ConfigLayout::RecordSize);
    ConfigRecord again;
    FUZZ_CHECK(DecodeConfigRecord(encoded, again));
    FUZZ_CHECK(again == record);
    for (int i = 0; i < ConfigLayout::fieldCount(); ++i) {
        const ConfigLayout::Field &f = ConfigLayout::fields()[i];
        // Numbers and reserved bytes are kept byte for byte.
        if (f.kind != ConfigLayout::Kind::Text)
            FUZZ_CHECK(encoded.mid(f.offset, f.width) == bytes.mid(f.offset, f.width));
    }
    return 0;
}
