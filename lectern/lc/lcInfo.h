// Unit lcInfo.
//
// It opens with the free functions that the value model, its two text formats, the HTTP
// objects and the logger share: the calling thread's number and the temporary folder, the
// object-manager look-ups, text search and slicing, URL decoding, file helpers, UTF-8 and
// wide text, Base64, and numbers and dates as text in a fixed, locale-independent form.
//
// Each section below has a source of its own: lcInfo.cpp (the unit's start and end, the thread,
// the folders and the object manager), lcInfoTextSearch.cpp, lcInfoUrlDecode.cpp,
// lcInfoFiles.cpp, lcInfoUtf8.cpp, lcInfoBase64.cpp and lcInfoNumbersAndDates.cpp.
//
// Conventions of the whole library hold here: strings are bytes (std::string), wide strings
// are UTF-16 (std::u16string); text positions are 1-based and -1 means "not found"; numbers
// written or read as text always use "." as the decimal point, whatever the locale says.
// The file helpers never raise for a missing or locked file; the text-to-value conversions
// raise EConvertError.
#pragma once

#include "classlib/DateUtils.h"
#include "classlib/SysUtils.h"

#include <cstdint>
#include <memory>
#include <string>

class tObjList;

// ============================================================================================
// Unit start and end
// ============================================================================================

// Makes the unit's globals (the executable's path, the object-manager registry and its
// lock); the program calls it once before the library is used.
void InitializeLcInfo();
// Frees them again; the program calls it once at shut-down.
void FinalizeLcInfo();

// The executable's full path in its UNC form, fixed at unit start (read by the logger).
const std::string& LcExeFileName();

// ============================================================================================
// Thread, folders and the object manager
// ============================================================================================

CL_DECLARE_EXCEPTION(ELcObjectLinks, Exception)
// Misuse and format failures of the value model and of the form values (lcHttpValues). The
// value formats' readers raise it for text they refuse, directly or through the model's own
// refusals, so it shares the corrupt-input base.
CL_DECLARE_EXCEPTION(ELcInfo, ECorruptInput)

// The calling thread's platform thread id.
uint32_t MyThreadId();
// The platform's temporary folder with its trailing path delimiter.
std::string TempFolder();
// A new, empty, uniquely named file in the temporary folder with the prefix "LCT"; empty
// text when the platform cannot make one.
std::string NewTempFileName();

// Links objects to 64-bit object ids. This system only ever looks managers up: nothing in
// it makes or registers one, so the registry stays empty and GetObjectManager fails.
class TLcObjectManager : public TObject {
public:
    TLcObjectManager();
    ~TLcObjectManager() override;
    TLcObjectManager(const TLcObjectManager&) = delete;
    TLcObjectManager& operator=(const TLcObjectManager&) = delete;

    // The object linked to id; nullptr for id 0. Raises ELcObjectLinks for an unknown id or
    // a link without owner.
    TObject* FindObject(int64_t id) const;
    // The id linked to object; 0 for no object. Raises ELcObjectLinks for an unknown object
    // or a link whose id is 0.
    int64_t FindOID(const TObject* object) const;

    CL_CLASS_NAME(TLcObjectManager)

protected:
    // A link entry: the linked object (its owner) and its id. The maps hold entries they do
    // not own: entries belong to whoever linked them.
    struct TLcObjectLink : TObject {
        TObject* FOwner = nullptr;
        int64_t FID = 0;
        CL_CLASS_NAME(TLcObjectLink)
    };

    // Keys of the two maps: an id by its low 32 bits, an object by its address.
    static uint32_t IdKey(int64_t id) { return static_cast<uint32_t>(id); }
    static std::uintptr_t ObjectKey(const TObject* object);

    std::unique_ptr<tObjList> FIDLinks;      // id -> link entry
    std::unique_ptr<tObjList> FObjectLinks;  // object -> link entry
};

// The manager registered for the calling thread; raises ELcObjectLinks
// "No active LC Object Manager." when there is none.
TLcObjectManager* GetObjectManager();

// ============================================================================================
// Text search and slicing (1-based positions; -1 is "not found")
// ============================================================================================

// First position of c in s; -1 when absent or s is empty.
int32_t FindCharPos(char c, const std::string& s);
// First position of c at or after start (a start below 1 counts as 1); -1 when start lies
// beyond the end or c does not follow.
int32_t FindCharFrom(char c, const std::string& s, int32_t start);
// First position of sub at or after start (a start below 1 counts as 1); -1 when sub is
// empty or does not occur there.
int32_t FindSubstrPos(const std::string& sub, const std::string& s, int32_t start);
// s[start .. start+count-1] without the bytes below 33 at both of its ends. A start below 1
// counts as 1 and the slice ends at the end of s.
std::string TrimmedCopy(const std::string& s, int32_t start, int32_t count);

// ============================================================================================
// URL decoding
// ============================================================================================

// "+" becomes a blank and "%" with two hexadecimal digits that byte. A broken escape raises
// EConvertError "Error decoding URL: " + s when strict, else stays as it stands.
std::string DecodeUrlText(const std::string& s, bool strict);

// ============================================================================================
// Files. access: 0 = others may read and write, 1 = others may only read, 2 or more = no
// sharing. Missing or locked files give empty text, -1 or false.
// ============================================================================================

// The file can be opened for reading with sharing open to all.
bool FileIsOpenable(const std::string& name);
// Up to size bytes from loc (a negative loc is 0, a negative size is "to the end"), never
// more than the file holds; empty when the file cannot be opened, read or held in memory.
std::string ReadFileRange(const std::string& name, int32_t access, int64_t size, int64_t loc);
std::string ReadWholeFile(const std::string& name, int32_t access);
// The 0-based offset of the first occurrence of pattern inside the size bytes from loc
// (a negative loc is 0), read in pieces of blockSize bytes; -1 when none, when the file
// cannot be opened, or when size or blockSize is below 1 or pattern is empty.
int64_t ScanFile(const std::string& name, const std::string& pattern, int32_t blockSize, int32_t access,
                 int64_t loc, int64_t size);
// Deletes the file when it can be opened (as FileIsOpenable); true when it was deleted.
bool DeleteFileIfPresent(const std::string& name);
// Writes data at loc (a negative loc appends). A file that does not exist is created; one
// that exists but cannot be opened is left alone. True when every byte was written; empty
// data writes nothing and answers false.
bool WriteFileAt(const std::string& name, const std::string& data, int32_t access, int64_t loc);

// ============================================================================================
// Wide text and UTF-8
// ============================================================================================

// Encodes count UTF-16 units into dst, each unit by itself (surrogate halves as three bytes
// each), stopping before a sequence that would not fit beside the terminating zero byte.
// Answers the bytes written plus one; with dst null, the bytes needed plus one. Never
// writes past dstSize bytes; a dstSize below 1 writes nothing and answers 0.
int32_t WideToUtf8Buffer(char* dst, int32_t dstSize, const char16_t* src, int32_t count);
// Decodes len bytes of UTF-8 into dst (four-byte sequences become surrogate pairs), stopping
// before a character that would not fit beside the terminating zero unit. Answers the units
// written plus one; with dst null, the units needed plus one; -1 for invalid UTF-8 (a stray
// continuation byte, a lead byte of 0xF8 or above, a bad or missing continuation byte, or a
// character beyond U+10FFFF). Never writes past dstCount units; a dstCount below 1 writes
// nothing and answers 0 (or -1 for invalid input).
int32_t Utf8ToWideBuffer(char16_t* dst, int32_t dstCount, const char* src, int32_t len);
// The UTF-8 form of a wide string.
std::string Utf8EncodeText(const std::u16string& wide);
// The wide string of UTF-8 text; invalid UTF-8 gives an empty string.
std::u16string Utf8DecodeText(const std::string& s);
// The same for the count bytes from position start (clamped to s).
std::u16string Utf8DecodeSlice(const std::string& s, int32_t start, int32_t count);

// ============================================================================================
// Base64 (the standard alphabet, "=" padding, lines of 76 characters joined by CR LF)
// ============================================================================================

std::string Base64EncodeText(const std::string& s);
// Skips every byte outside the alphabet; never fails.
std::string Base64DecodeText(const std::string& s);

// ============================================================================================
// Numbers and dates as text ("." as decimal point always)
// ============================================================================================

std::string IntegerToText(int32_t value);
std::string CardinalToText(uint32_t value);
std::string LargeIntToText(int64_t value);
// Optional leading blanks and sign, then decimal digits or "$" (or "0x") and hexadecimal
// digits. Raises EConvertError "'<s>' is not a valid integer value".
int32_t TextToInteger(const std::string& s);
int64_t TextToLargeInt(const std::string& s);
int32_t TextToIntegerDef(const std::string& s, int32_t defaultValue);

// 15 significant digits, fixed form unless the exponent form ("E") is needed.
std::string FloatToText(double value);
// A currency value (a 64-bit integer scaled by 10 000), with up to four decimals and no
// trailing zeros.
std::string CurrencyToText(int64_t currency);
// Blanks may surround the number. Raise EConvertError "'<s>' is not a valid floating point
// value".
double TextToFloat(const std::string& s);
int64_t TextToCurrency(const std::string& s);  // scaled by 10 000, rounded half away from 0

// Prefixes "0" until s has width characters.
std::string ZeroPad(const std::string& s, int32_t width);

// "y-m-d h:n:s.z", "y-m-d" or "h:n:s.z" with unpadded numbers; 0 gives empty text.
std::string DateTimeToText(TDateTime d);
// Reads that form back; raises EConvertError with the failure + CR LF + "Invalid date format.".
TDateTime TextToDateTime(const std::string& s);
// "yyyymmddThh:nn:ss"; 0 gives "00000000T00:00:00".
std::string DateTimeToISO(TDateTime d);
// Reads the basic or extended ISO-8601 date with an optional time; raises EConvertError
// with the failure + CR LF + "Invalid DateTime format.".
TDateTime ISOToDateTime(const std::string& s);
