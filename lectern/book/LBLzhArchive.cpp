#include "LBLzhArchive.h"

#include "classlib/PlatformText.h"

namespace {

const char kSystemEntry[] = "#SYSTEM";
const char kMapEntry[] = "#MAP";

}  // namespace

TLBLzhArchive::TLBLzhArchive(const std::u16string& path)
    : TLBFile(nullptr), FBookSettings(std::make_unique<TStringList>()), FTopicMap(std::make_unique<TStringList>())
{
    FValid = Open(path, kModeRead);
    if (FValid) {
        LoadSystemLists();
    }
}

TLBLzhArchive::TLBLzhArchive(const std::string& path) : TLBLzhArchive(plat::SystemToWide(path)) {}

TLBLzhArchive::~TLBLzhArchive() = default;

void TLBLzhArchive::LoadSystemLists()
{
    // Both entries stay cached in their records.
    SetCacheEntries(true);
    const auto load = [this](const char* name, TStringList& list) {
        if (Exists(name)) {
            if (TMemoryStream* entry = ReadEntry(name)) {
                list.LoadFromStream(*entry);
            }
        }
    };
    load(kSystemEntry, *FBookSettings);
    load(kMapEntry, *FTopicMap);
}
