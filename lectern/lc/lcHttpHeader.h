// Unit lcHttpHeader: the head of one HTTP message.
//
// TLcHttpHeader keeps the header fields in the order their names were first set, found by
// name with ASCII upper-casing (UpperCaseStr), plus the cookies of the message. Its two
// subclasses add the start line: TLcRequest the method, the path (FileName, URIPath, and an
// optional list of path elements) and the query; TLcResponse the status code and text. The
// HTTP wire fills them from received bytes and composes the bytes it sends from them.
//
// Spelling: a field keeps the spelling its name was first set with. SetValue ("Expires", ...)
// goes out as "Expires"; the upper-case operations take names that are already upper case,
// so ContentType and ContentLength go out as "CONTENT-TYPE" and "CONTENT-LENGTH". A field
// whose value is empty stays in the list but is not written.
//
// Cookies: the field named by CookieName ("COOKIE" for a request, "SET-COOKIE" for a
// response) is not a field: every value given under it is joined with ";" into the cookie
// values (TLcHttpValues), and composing writes one line per cookie name with its last value.
//
// Reading field lines (SetHeaderLines): lines end with CR LF or a bare LF; the first empty
// line of either kind ends the head, so a body that follows never becomes header fields.
// A line without ":" is skipped; name and value are trimmed of bytes 0..32. A repeated name
// keeps only its last value (cookies excepted, see above). Lines starting with a blank are
// lines of their own, not continuations.
//
// A message object belongs to one connection and is used by one thread at a time.
#pragma once

#include "classlib/SysUtils.h"
#include "lectern/lc/lcFastStrings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TLcHttpValues;

// An object holding one string: the value of one header field.
class TStringObject : public TObject {
public:
    explicit TStringObject(std::string value = {}) : FValue(std::move(value)) {}

    const std::string& Value() const { return FValue; }
    void SetValue(const std::string& value) { FValue = value; }

    CL_CLASS_NAME(TStringObject)

private:
    std::string FValue;
};

class TLcHttpHeader : public TObject {
public:
    TLcHttpHeader();
    ~TLcHttpHeader() override;
    TLcHttpHeader(const TLcHttpHeader&) = delete;
    TLcHttpHeader& operator=(const TLcHttpHeader&) = delete;

    // The head as text: one "name: value" CR LF line per field with a value, in list order,
    // then one CookieName() + ": name=value" CR LF line per cookie name.
    virtual std::string HeaderLines();
    // Reads field lines into the head (see the unit comment). An empty text changes nothing.
    virtual void SetHeaderLines(const std::string& text);
    // The name of the cookie field, upper case.
    virtual std::string CookieName() const = 0;
    // Name (any case) names the cookie field.
    virtual bool IsCookieName(const std::string& name) const = 0;
    // Name, already upper case, names the cookie field.
    virtual bool IsCookieNameUpper(const std::string& name) const = 0;
    // Frees every field and the cookie values.
    virtual void Clear();

    // The value of the field indexed under name (upper case), or the cookie text; empty when
    // absent.
    std::string GetValueUpper(const std::string& name) const;
    // Sets a field by its upper-case name; a new field is spelled and indexed as given.
    void SetValueUpper(const std::string& name, const std::string& value);
    // Sets a field by name (any case); a new field keeps name's spelling for output.
    void SetValue(const std::string& name, const std::string& value);

    // The trimmed "CONTENT-LENGTH" value as a signed decimal; 0 when absent or empty.
    // Anything but an optional sign and decimal digits raises EConvertError.
    int64_t ContentLength() const;
    void SetContentLength(int64_t length);
    std::string ContentType() const;
    void SetContentType(const std::string& value);

    // The cookie values, made when first asked for.
    TLcHttpValues& Cookie();

    CL_CLASS_NAME(TLcHttpHeader)

protected:
    // The field-line reader that SetHeaderLines of every class ends with.
    void SetFieldLines(std::string_view text);
    // Frees the fields and the cookie values; the destructors call it inside their guard.
    void FreeHead();

private:
    // Field index (or a new one, for index -1, named and indexed as given when nameIsUpper,
    // else indexed upper-cased) := value.
    void StoreField(int index, const std::string& name, bool nameIsUpper, const std::string& value);
    void AddCookieText(const std::string& value);

    tLcFastStrObjList FFields;  // name -> TStringObject, owned
    std::unique_ptr<TLcHttpValues> FCookie;
};

class TLcRequest;

// The path elements of a request: its FileName cut at every "/". Setting an element, or the
// count, writes FileName back as "/" + element 0 + "/" + element 1 ... ("/" for no element).
class TLcFilePath : public TObject {
public:
    explicit TLcFilePath(TLcRequest& request) : FRequest(request) {}

    int Count() const { return static_cast<int>(FItems.size()); }
    // Resizes the list; new elements are empty. A negative count empties it.
    void SetCount(int count);
    // Element i, or the empty string when i is out of range.
    std::string Item(int i) const;
    // Element i := text. Raises ELcInfo when text holds "/" (the list stays as it was). The
    // empty string cuts the list to i elements (nothing happens at or beyond its end); a text
    // at or beyond the end grows the list to i + 1 elements. A negative i does nothing.
    void SetItem(int i, const std::string& text);

    CL_CLASS_NAME(TLcFilePath)

private:
    friend class TLcRequest;
    // Cuts fileName at every "/": one element after each "/".
    void Rebuild(const std::string& fileName);
    void WriteBack();

    TLcRequest& FRequest;
    std::vector<std::string> FItems;
};

class TLcRequest : public TLcHttpHeader {
public:
    TLcRequest();
    ~TLcRequest() override;

    // Reads a request line when the first line is one (it ends in "HTTP/1.x" or "HTTPS/1.x"),
    // then the field lines.
    void SetHeaderLines(const std::string& text) override;
    std::string CookieName() const override { return "COOKIE"; }
    bool IsCookieName(const std::string& name) const override;
    bool IsCookieNameUpper(const std::string& name) const override { return name == "COOKIE"; }
    // Also frees the query, the body values and the path elements and empties Method,
    // FileName and URIPath.
    void Clear() override;

    const std::string& Method() const { return FMethod; }
    // Stores the method upper-cased.
    void SetMethod(const std::string& method);
    const std::string& FileName() const { return FFileName; }
    // URIPath follows while it equals FileName; the path elements are rebuilt when they exist.
    void SetFileName(const std::string& fileName);
    const std::string& URIPath() const { return FURIPath; }
    // Takes a request URI: the text before the first "?" is the path (it becomes FileName
    // while that is empty, else only URIPath), the text after it the query text.
    void SetURI(const std::string& uri);

    // Made when first asked for.
    TLcHttpValues& Query();
    TLcHttpValues& BodyValues();
    TLcFilePath& FilePath();

    CL_CLASS_NAME(TLcRequest)

private:
    friend class TLcFilePath;
    void FreeRequestParts();
    // FileName and, while they are equal, URIPath := fileName; the path elements are left.
    void StoreFileName(const std::string& fileName);

    std::unique_ptr<TLcHttpValues> FQuery;
    std::unique_ptr<TLcHttpValues> FBodyValues;
    std::unique_ptr<TLcFilePath> FFilePath;
    std::string FMethod;
    std::string FFileName;
    std::string FURIPath;
};

class TLcResponse : public TLcHttpHeader {
public:
    TLcResponse();
    ~TLcResponse() override;

    // Reads a status line when the text starts with "HTTP/" or "HTTPS/" (any case), then the
    // field lines. A status line sets the code and text only when both are present and the
    // code is a decimal number; otherwise they become 0 and empty.
    void SetHeaderLines(const std::string& text) override;
    std::string CookieName() const override { return "SET-COOKIE"; }
    bool IsCookieName(const std::string& name) const override;
    bool IsCookieNameUpper(const std::string& name) const override { return name == "SET-COOKIE"; }
    // Clear keeps StatusCode and StatusText.

    int32_t StatusCode() const { return FStatusCode; }
    void SetStatusCode(int32_t code) { FStatusCode = code; }
    const std::string& StatusText() const { return FStatusText; }
    void SetStatusText(const std::string& text) { FStatusText = text; }

    CL_CLASS_NAME(TLcResponse)

private:
    int32_t FStatusCode = 0;
    std::string FStatusText;
};
