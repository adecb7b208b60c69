// Test helper: random value trees for the round trips of the two text formats, and a
// structural comparison that does not go through either format.
#pragma once

#include "lectern/lc/lcDataSet.h"

#include <cstdint>
#include <memory>
#include <string>

class TRandomValues {
public:
    struct TOptions {
        // XML-RPC keeps date-times to the second.
        bool WholeSeconds = false;
        // Strings, texts and names only of printable ASCII and UTF-8 letters (for other
        // programs' XML readers, which reject control characters).
        bool PrintableText = false;
        // No function calls inside the tree (other programs take calls only at the top).
        bool NoCalls = false;
        // Strings, texts and messages without the characters XML allows nowhere (below U+0020
        // but tab, LF and CR), which the XML-RPC writer refuses; any other byte or code unit,
        // drawn as without the option.
        bool XmlCharacters = false;
    };

    TRandomValues(uint32_t seed, TOptions options);

    uint32_t Next();
    uint32_t Below(uint32_t n) { return n == 0 ? 0 : Next() % n; }

    // Any value: simple values, records, arrays, function calls and data sets down to depth
    // levels of containers; none now and then.
    std::unique_ptr<TLcValueObject> Tree(int depth);
    // A simple value of the type, often the type's empty or an extreme value.
    std::unique_ptr<TLcValueObject> Simple(TLcValueType type);
    std::unique_ptr<TLcDataSet> DataSet(int depth);
    // A field or function name: no ":" or ";", no blank at either end.
    std::string Name();

private:
    // count random bytes; text: of a string, text or message (see XmlCharacters).
    std::string Bytes(size_t count, bool text);
    // The character c of a text, or with XmlCharacters one XML allows in its place (c + 0x20).
    uint32_t TextCharacter(uint32_t c) const;
    uint8_t Byte();

    TOptions FOptions;
    uint32_t FSeed;
    std::string FPool;
    size_t FUsed = 0;
};

// Equal type, class and value, all the way down (a NaN equals a NaN). why says where not.
bool SameValue(TLcValueObject* a, TLcValueObject* b, std::string& why);

// What a tree becomes after a trip through XML-RPC: integers of every size as LargeInt, the
// texts as String (their UTF-8 bytes), currency as Float, a fault's code in its decimal form,
// a holder as its content. Worked out from each value's stored field by the format's rules,
// never through the library's UTF-8, currency or integer conversions that a trip checks.
std::unique_ptr<TLcValueObject> AsAfterXmlRpc(TLcValueObject* value);
