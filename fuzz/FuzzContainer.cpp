// Opens a mutated container and reads every entry it lists.
//
// Input: one flags byte, then the file body. Flags bit 0 puts the marker (assembled at run
// time) in front of the body, bit 1 also puts 9000 bytes of filler in front of the marker
// (the marker then straddles two search blocks), bit 2 turns entry caching on, bit 3 opens the
// file as the viewer's book as well. Without bit 0 the body is the whole file. Damage may only
// end in ECorruptInput; any other exception escapes and is a finding.
#include "lectern/book/LBFile.h"
#include "lectern/book/LBLzhArchive.h"

#include "classlib/Platform.h"
#include "tests/support/BookWriter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr size_t kFillerBytes = 9000;

void ReadEverything(TLBFile& book, int64_t fileSize)
{
    for (int i = 0; i < book.RecordCount(); ++i) {
        const std::string name = book.Records(i)->Name;
        if (!book.Exists(name)) {
            continue;  // an unsorted directory hides some names
        }
        // The entry's extent lies within the file, whatever its directory says.
        const int64_t stored = book.StoredSize(name);
        if (stored < 0 || stored > fileSize) {
            std::abort();
        }
        TMemoryStream dest;
        try {
            book.ExtractEntry(name, &dest);
        } catch (const ECorruptInput&) {
            // a corrupt entry: the decoder's or the stream's error; anything else is a fault
        }
        if (TMemoryStream* entry = book.ReadEntry(name)) {
            entry->Size();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    const uint8_t flags = data[0];
    std::string file;
    if (flags & 1) {
        if (flags & 2) {
            file.assign(kFillerBytes, 'M');
        }
        file += booktest::BookMarker();
    }
    file.append(reinterpret_cast<const char*>(data + 1), size - 1);

    static const std::string path =
        plat::TempDir() + "fuzz_container_" + std::to_string(plat::CurrentThreadId()) + ".book";
    {
        TFileStream out(path, fmCreate);
        out.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
    }
    {
        TLBFile book(nullptr);
        book.SetCacheEntries((flags & 4) != 0);
        if (book.Open(path, TLBFile::kModeRead)) {
            ReadEverything(book, static_cast<int64_t>(file.size()));
            ReadEverything(book, static_cast<int64_t>(file.size()));  // a second pass reads from the caches
        }
    }
    if (flags & 8) {
        TLBLzhArchive archive(path);
        if (archive.Valid()) {
            ReadEverything(archive, static_cast<int64_t>(file.size()));
        }
    }
    return 0;
}
