// libFuzzer target: arbitrary bytes as an entry's metadata file. What the
// reader accepts must write back to text it reads the same way.
#include "cacheserver/core/entry_meta.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    EntryMeta meta;
    if (!ParseEntryMeta(text, &meta))
        return 0;
    EntryMeta again;
    const std::string written = FormatEntryMeta(meta);
    if (!ParseEntryMeta(written, &again) || FormatEntryMeta(again) != written)
        std::abort();
    return 0;
}
