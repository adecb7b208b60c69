// A list of strings, each with an optional object pointer (never owned).
//
// Lines hold bytes in the system code page. Text splits at CR, LF or CR LF, keeps a final
// line that has no break, and writes every line followed by CR LF. Name=Value access takes
// the part before the first '=' as the name; names match with letter case ignored.
#pragma once

#include "Streams.h"
#include "SysUtils.h"

#include <string>
#include <vector>

class TStringList : public TObject {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& Strings(int index) const;
    const std::string& operator[](int index) const { return Strings(index); }
    void SetStrings(int index, const std::string& text);
    TObject* Objects(int index) const;
    void SetObjects(int index, TObject* object);

    int Add(const std::string& text) { return AddObject(text, nullptr); }
    int AddObject(const std::string& text, TObject* object);
    void Insert(int index, const std::string& text);
    void Delete(int index);
    void Clear() { FItems.clear(); }
    void Assign(const TStringList& source) { FItems = source.FItems; }

    // First index whose line equals text (letter case ignored), or -1.
    int IndexOf(const std::string& text) const;

    // Name=Value access.
    std::string Names(int index) const;
    std::string ValueFromIndex(int index) const;
    int IndexOfName(const std::string& name) const;
    // The value of the first line named name, or empty text.
    std::string Values(const std::string& name) const;
    // Replaces the value of the line named name, or adds a line; an empty value removes it.
    void SetValues(const std::string& name, const std::string& value);

    std::string Text() const;
    void SetText(const std::string& text);

    void LoadFromStream(TStream& stream);   // from the stream's position to its end
    void SaveToStream(TStream& stream) const;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    CL_CLASS_NAME(TStringList)

private:
    struct Item {
        std::string text;
        TObject* object = nullptr;
    };
    void CheckIndex(int index) const;

    std::vector<Item> FItems;
};
