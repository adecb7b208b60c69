// lcValueFormat: the walk over a value that the value model's two text formats share
// (lcCodeFormat and lcXmlRpc), so that they cannot drift apart in what they take as a value.
//
// A format gives its steps, one for each kind of value the formats know: a simple value, a
// function call, a record (TLcInfo too), an array, a data set and a holder (TLcValue); one set
// for writing and one for reading. The walk takes the object as the most derived of these
// classes and runs the format's step for it. Any other class raises ELcInfo
// "Value class <class> has no <operation>.". Each call, record, array and data set is one
// level of nesting, counted per format on the calling thread; the level past the format's
// limit raises ELcInfo with the format's message, the limit and " levels.". A holder is a
// level only where the format reads one as such (an XML-RPC holder reads a whole method
// response, which may hold another).
#pragma once

#include "lectern/lc/lcValues.h"

#include <cstddef>
#include <string>

class TLcArray;
class TLcDataSet;
class TLcFunctionInfo;
class TLcHugeString;
class TLcRecord;
class TLcValue;

namespace lc_detail {

// The steps of a format's writer, one for each kind of value.
struct TLcFormatWriter {
    void (*FSimple)(TLcSimpleValue& value, TLcHugeString& builder);
    void (*FCall)(TLcFunctionInfo& call, TLcHugeString& builder);
    void (*FRecord)(TLcRecord& record, TLcHugeString& builder);
    void (*FArray)(TLcArray& array, TLcHugeString& builder);
    void (*FDataSet)(TLcDataSet& set, TLcHugeString& builder);
    void (*FHolder)(TLcValue& holder, TLcHugeString& builder);
};

// The steps of a format's reader, one for each kind of value.
struct TLcFormatReader {
    void (*FSimple)(TLcSimpleValue& value, const std::string& text, size_t& at);
    void (*FCall)(TLcFunctionInfo& call, const std::string& text, size_t& at);
    void (*FRecord)(TLcRecord& record, const std::string& text, size_t& at);
    void (*FArray)(TLcArray& array, const std::string& text, size_t& at);
    void (*FDataSet)(TLcDataSet& set, const std::string& text, size_t& at);
    void (*FHolder)(TLcValue& holder, const std::string& text, size_t& at);
};

// A text format as the walk sees it.
struct TLcValueFormat {
    const char* FWriteOperation;   // the names failure messages give, "to_Code" ...
    const char* FReadOperation;    // ... and "from_Code"
    int FNestingLimit;             // containers inside containers; one level more fails
    const char* FNestingMessage;   // what the failure says before the limit
    int& (*FDepth)();              // the calling thread's open levels of this format
    bool FHolderReadIsLevel;       // reading a holder opens a level
    TLcFormatWriter FWrite;
    TLcFormatReader FRead;
};

void WriteValue(const TLcValueFormat& format, TLcValueObject& object, TLcHugeString& builder);
void ReadValue(const TLcValueFormat& format, TLcValueObject& object, const std::string& text, size_t& at);

// The bytes a reader gave a byte-stream value become its stream's whole content, which is
// left at position 0.
void FillByteStream(TLcSimpleValue& value, const std::string& bytes);

}  // namespace lc_detail
