// The list-file reader with arbitrary bytes: every entry it gives back is a line of the input,
// and writing the entries out again reads back as the same list.
#include "OutputFileList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QList<QByteArray>> entries = COutputFileList::ParseListFile(bytes);
    if (!entries)
        return 0;
    QByteArray written(COutputFileList::Magic.data(), qsizetype(COutputFileList::Magic.size()));
    written += "\r\n";
    for (const QByteArray& entry : *entries) {
        if (entry.contains('\n') || entry.size() > bytes.size())
            std::abort();
        written += entry + "\r\n";
    }
    // An entry that ends in CR was written with it, so the round trip keeps it only when it is
    // followed by the CR LF added here; entries are compared as the reader gives them back.
    const std::optional<QList<QByteArray>> again = COutputFileList::ParseListFile(written);
    if (!again || *again != *entries)
        std::abort();
    return 0;
}
