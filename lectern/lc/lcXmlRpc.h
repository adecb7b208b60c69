// lcXmlRpc: the value model in XML-RPC (to_XMLRPC / from_XMLrpc).
//
// Writing gives the standard elements: <value><string>, <i4> for integers of every size,
// <boolean>, <double>, <dateTime.iso8601>, <base64>, <struct> of <member>s, <array><data>,
// <nil/> for no value, a fault struct (faultCode, faultString) for an exception value and a
// whole <methodCall> for a function call: an array named PARAMS alone gives the positional
// parameters (its elements, as a standard peer writes them), other fields go as one struct
// parameter, which a reader gives back as the call's fields. A data set is a struct of two
// members, LC.DATASET.FIELDS (an array of field structs: Name, Type, Size, Required) and
// LC.DATASET.ROWS (an array of row arrays).
//
// Reading is a small scanner, not a general XML parser. Tag names compare without regard to
// case; comments, declarations and processing instructions between tags are skipped; the
// type tags' aliases (int, dateTime, timestamp, base64Binary, binary, methodFault, call) are
// taken; a value given as plain text is a string, a struct may come as bare name and value
// pairs, and a holder (TLcValue) also reads a whole <methodResponse>. Every tag a reader
// opens is listed and must be closed in reverse order.
//
// Texts and names are escaped and unescaped alike: "&", "<" and ">" as entities, CR as a
// character reference (XML readers turn a bare CR into LF). Reading decodes the named
// entities lt, gt, amp, quot, apos and nbsp, and character references (decimal or "x" and
// hexadecimal) to the UTF-8 bytes of their code point ("&#0;" to the zero byte).
// An "&" that starts no entity or reference (unknown name, no ";" within reach, no digits,
// a surrogate or a number beyond 0x10FFFF) is kept as literal text, so a loosely written
// document is read as its writer meant it.
//
// The reader trusts nothing: containers nest at most kXmlRpcNestingLimit levels, nothing is
// reserved ahead of what was read, and a failure raises ELcInfo (numbers and dates that do not
// parse raise EConvertError); a container that fails to read stays empty. The writer refuses
// names the reader could not give back (blanks or control bytes at either end, bytes that do
// not survive UTF-8 in the system code page) and texts and names that hold a character XML
// allows nowhere (below U+0020 but tab, LF and CR; the reader takes them, raw or as
// references), raising ELcInfo with the character's code; it writes floats that read back
// exactly.
#pragma once

#include "lectern/lc/lcValues.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class TLcHugeString;

// Containers inside containers, counted from the outermost; one level more fails.
constexpr int kXmlRpcNestingLimit = 512;

// The closing tags a reader expects, "/" + upper-case name, last opened last.
using lcClosingTagsType = std::vector<std::string>;

// Reads the next value, whatever its type; a nil value gives no object.
std::unique_ptr<TLcValueObject> ObjectFromXMLrpc(const std::string& text, size_t& at);

// The XML-RPC work of every value class (the classes' to_XMLRPC / from_XMLrpc end here): the
// walk both formats share (lcValueFormat) with this format's steps.
void WriteXmlRpc(TLcValueObject& object, TLcHugeString& builder);
void ReadXmlRpc(TLcValueObject& object, const std::string& text, size_t& at);

// ---- the scanner ----------------------------------------------------------------------------

void SkipXmlSpaces(const std::string& text, size_t& at);
// The next tag, trimmed, normalised ("NIL/", "/VALUE") and upper-cased; empty at the end of
// the text. expected (upper case), when given, must be the tag found.
std::string ReadXmlTag(const std::string& text, size_t& at, bool skipSpacesAfter, const char* expected = nullptr);
// The next tag without moving at; empty also when the next character is not "<".
std::string PeekXmlTag(const std::string& text, size_t at);
void SkipXmlTag(const std::string& text, size_t& at, bool skipSpacesAfter);
// The text up to the next "<" (at stops on it), as it stands or trimmed of bytes below 33.
std::string ReadXmlText(const std::string& text, size_t& at);
std::string ReadXmlTrimmedText(const std::string& text, size_t& at);
// Opens the wrapping tags of a value whose type tag is expected (upper case, canonical name).
void OpenXmlTags(const char* expected, const std::string& text, lcClosingTagsType& closing, size_t& at);
void CloseXmlTags(const std::string& text, size_t& at, lcClosingTagsType& closing);
// The type of the next value; vt_Variant for a method response, vt_Null for a nil value.
TLcValueType XmlRpcTypeOf(const std::string& text, size_t at);
// Consumes a nil value with its wrappers.
void ReadXmlNil(const std::string& text, size_t& at);

// ---- escaping -------------------------------------------------------------------------------

// Raises ELcInfo for a character below U+0020 other than tab, LF and CR (see the top).
std::string XmlEncodeText(const std::string& text);
std::string XmlDecodeText(const std::string& text);
