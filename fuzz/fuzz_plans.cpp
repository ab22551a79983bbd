// The plan list reader on any bytes: the titles it reads are written back by
// the settings window as titles that read the same.
#include "shell/settings/Settings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList titles = Settings::parsePlans(bytes);
    if (Settings::parsePlans(Settings::serializePlans(titles)) != titles) {
        std::fprintf(stderr, "fuzz_plans: the titles written back read otherwise\n");
        std::abort();
    }
    return 0;
}
