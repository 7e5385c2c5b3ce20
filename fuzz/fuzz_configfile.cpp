// Reading "TallyportConfig.dat" with any contents, through the cipher of the protected fields:
// the read never crashes, and a record it accepts is saved and read back the same.
#include "FuzzHarness.h"
#include "FuzzState.h"

#include <core/Cipher.h>
#include <core/ConfigFile.h>
#include <core/ConfigRecord.h>

namespace {
const Cipher &sharedCipher()
{
    static Cipher cipher;
    static const bool ready = cipher.InitCipher();
    if (!ready)
        FuzzFail("the cipher is available", __FILE__, __LINE__);
    return cipher;
}

// Saving trims the protected values, so a record read back has them trimmed.
ConfigRecord withProtectedTrimmed(ConfigRecord record)
{
    for (QString ConfigRecord::*field : {&ConfigRecord::SMTPPassword, &ConfigRecord::SMTPUserName,
                                         &ConfigRecord::AdminUserName, &ConfigRecord::AdminPassword})
        record.*field = (record.*field).trimmed();
    return record;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzState &fuzz = SharedFuzzState();
    fuzz.reset();
    const Cipher &cipher = sharedCipher();
    ProgramState &state = fuzz.state;
    state.Config = ConfigRecord();

    ConfigFile file(state, cipher);
    WriteFuzzFile(file.path(), InputBytes(data, size));
    const bool read = file.ReadConfiguration();
    FUZZ_CHECK(read == (fuzz.errors.count == 0));
    if (size < size_t(ConfigLayout::RecordSize))
        FUZZ_CHECK(!read && state.Config == ConfigRecord());
    if (!read)
        return 0;

    const ConfigRecord first = state.Config;
    if (!file.SaveConfiguration()) {
        // Only a protected value too long to encrypt may be refused (text that was not UTF-8
        // grows when its bytes become replacement characters).
        FUZZ_CHECK(fuzz.errors.count == 1);
        return 0;
    }
    FUZZ_CHECK(ReadFuzzFile(file.path()).size() == ConfigLayout::RecordSize);
    state.Config = ConfigRecord();
    FUZZ_CHECK(file.ReadConfiguration());
    FUZZ_CHECK(state.Config == withProtectedTrimmed(first));
    return 0;
}
