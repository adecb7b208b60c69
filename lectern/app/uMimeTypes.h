// The viewer's table of content types: which "Content-Type" the page server sends for an
// entry, chosen by the extension of the entry's name.
//
// The table is a string list of "extension=type" lines, the extension in lower case with its
// leading dot. It starts with the built-in lines (kBuiltInMimeTypeCount of them, two
// extensions twice; the first line wins a lookup), then takes the platform's registrations:
// the "Content Type" of every extension key under HKEY_CLASSES_ROOT, and after them the
// "Extension" of every type of the MIME database, so that the database wins over the extension
// keys and both win over the built-in lines. An update replaces the value of the first
// matching line or appends a line; lookups ignore letter case.
//
// The registry is read through TMimeTypeSource so that tests can put their own keys in place
// of the platform's (whose database maps some extensions to extra types).
//
// The table is built once on the main thread before the page server starts and only read
// afterwards, from any number of worker threads.
#pragma once

#include "classlib/StringList.h"

#include <memory>
#include <string>
#include <vector>

constexpr int kBuiltInMimeTypeCount = 138;

// The keys of HKEY_CLASSES_ROOT that the table reads. Key paths are relative to the hive's
// root ("" is the root itself) and may begin with "\".
class TMimeTypeSource {
public:
    virtual ~TMimeTypeSource() = default;
    // The names of the key's subkeys; false when the key does not open.
    virtual bool SubkeyNames(const std::string& key, std::vector<std::string>& names) = 0;
    // The key's string value valueName; false when the key does not open or has no such value.
    virtual bool ReadString(const std::string& key, const std::string& valueName, std::string& value) = 0;
};

// The platform's registry (nothing on the host, which has none).
class TRegistryMimeTypeSource : public TMimeTypeSource {
public:
    bool SubkeyNames(const std::string& key, std::vector<std::string>& names) override;
    bool ReadString(const std::string& key, const std::string& valueName, std::string& value) override;
};

// A new table: the built-in lines, then the source's registrations. A failure of the source
// (an exception) ends the reading and keeps the lines gathered so far.
std::unique_ptr<TStringList> BuildMimeTypeList(TMimeTypeSource& source);

// The key MimeTypeOf looks up: the extension of the path's last name with its dot, ASCII
// letters lower-cased and other bytes kept; "" when it has none.
std::string MimeExtensionOf(const std::string& path);

// The content type for a file path: MimeExtensionOf (path) looked up in the table;
// "application/octet-stream" when the table has no type for it.
std::string MimeTypeOf(const TStringList& mimeTypes, const std::string& path);
