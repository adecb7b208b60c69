#include "StringList.h"

namespace {

constexpr char kNameValueSeparator = '=';

bool SameTextLocale(const std::string& a, const std::string& b)
{
    return plat::CompareTextLocale(a, b) == plat::TextOrder::Equal;
}

}  // namespace

void TStringList::CheckIndex(int index) const
{
    if (index < 0 || index >= Count()) {
        throw EListError(Format("List index out of bounds (%d)", index));
    }
}

const std::string& TStringList::Strings(int index) const
{
    CheckIndex(index);
    return FItems[static_cast<size_t>(index)].text;
}

void TStringList::SetStrings(int index, const std::string& text)
{
    CheckIndex(index);
    FItems[static_cast<size_t>(index)].text = text;
}

TObject* TStringList::Objects(int index) const
{
    CheckIndex(index);
    return FItems[static_cast<size_t>(index)].object;
}

void TStringList::SetObjects(int index, TObject* object)
{
    CheckIndex(index);
    FItems[static_cast<size_t>(index)].object = object;
}

int TStringList::AddObject(const std::string& text, TObject* object)
{
    FItems.push_back(Item{text, object});
    return Count() - 1;
}

void TStringList::Insert(int index, const std::string& text)
{
    if (index < 0 || index > Count()) {
        throw EListError(Format("List index out of bounds (%d)", index));
    }
    FItems.insert(FItems.begin() + index, Item{text, nullptr});
}

void TStringList::Delete(int index)
{
    CheckIndex(index);
    FItems.erase(FItems.begin() + index);
}

int TStringList::IndexOf(const std::string& text) const
{
    for (int i = 0; i < Count(); ++i) {
        if (SameTextLocale(FItems[static_cast<size_t>(i)].text, text)) {
            return i;
        }
    }
    return -1;
}

std::string TStringList::Names(int index) const
{
    const std::string& line = Strings(index);
    const size_t pos = line.find(kNameValueSeparator);
    return pos == std::string::npos ? std::string() : line.substr(0, pos);
}

std::string TStringList::ValueFromIndex(int index) const
{
    const std::string& line = Strings(index);
    const size_t pos = line.find(kNameValueSeparator);
    return pos == std::string::npos ? std::string() : line.substr(pos + 1);
}

int TStringList::IndexOfName(const std::string& name) const
{
    for (int i = 0; i < Count(); ++i) {
        const std::string& line = FItems[static_cast<size_t>(i)].text;
        const size_t pos = line.find(kNameValueSeparator);
        if (pos != std::string::npos && SameTextLocale(line.substr(0, pos), name)) {
            return i;
        }
    }
    return -1;
}

std::string TStringList::Values(const std::string& name) const
{
    const int index = IndexOfName(name);
    return index < 0 ? std::string() : ValueFromIndex(index);
}

void TStringList::SetValues(const std::string& name, const std::string& value)
{
    const int index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0) {
            Delete(index);
        }
    } else if (index >= 0) {
        SetStrings(index, name + kNameValueSeparator + value);
    } else {
        Add(name + kNameValueSeparator + value);
    }
}

std::string TStringList::Text() const
{
    std::string text;
    for (const Item& item : FItems) {
        text += item.text;
        text += "\r\n";
    }
    return text;
}

void TStringList::SetText(const std::string& text)
{
    FItems.clear();
    size_t start = 0;
    const size_t n = text.size();
    while (start < n) {
        size_t end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n') {
            ++end;
        }
        Add(text.substr(start, end - start));
        if (end < n && text[end] == '\r') {
            ++end;
        }
        if (end < n && text[end] == '\n') {
            ++end;
        }
        start = end;
    }
}

void TStringList::LoadFromStream(TStream& stream)
{
    const int64_t size = stream.Size() - stream.Position();
    std::string text(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
    if (!text.empty()) {
        stream.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
    }
    SetText(text);
}

void TStringList::SaveToStream(TStream& stream) const
{
    const std::string text = Text();
    stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TStringList::LoadFromFile(const std::string& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TStringList::SaveToFile(const std::string& fileName) const
{
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}
