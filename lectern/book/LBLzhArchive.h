// The viewer's book: a container opened for reading when it is made, with its settings entry
// ("#SYSTEM") and its topic map ("#MAP") loaded into string lists. The main form makes one per
// run before the page server starts; worker threads then use only Exists and ExtractEntry.
#pragma once

#include "LBFile.h"

#include "classlib/StringList.h"

#include <memory>
#include <string>

class TLBLzhArchive : public TLBFile {
public:
    // Never raises for a bad or missing file: Valid is then false and both lists are empty.
    // The wide path reaches files whose names the code page lacks.
    explicit TLBLzhArchive(const std::u16string& path);
    explicit TLBLzhArchive(const std::string& path);
    ~TLBLzhArchive() override;

    // name=value lines and the "[MainMenu]" / "[ContextMenu]" sections of "#SYSTEM".
    TStringList& BookSettings() const { return *FBookSettings; }
    // "number=page" lines of "#MAP".
    TStringList& TopicMap() const { return *FTopicMap; }
    bool Valid() const { return FValid; }

    CL_CLASS_NAME(TLBLzhArchive)

private:
    void LoadSystemLists();

    std::unique_ptr<TStringList> FBookSettings;
    std::unique_ptr<TStringList> FTopicMap;
    bool FValid = false;
};
