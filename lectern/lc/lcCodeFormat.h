// lcCodeFormat: the value model's own compact text form (to_Code / from_Code).
//
// A text is a flat run of items, each a type code, "=", a payload and ";":
//
//   empty item    code "=" ";"                       the null or empty value of the type
//   short item    code "=" text ";"                  numbers, dates, Boolean "T", counts
//   counted item  code "=" n '"' n bytes '"' ";"     strings, names, streams: any bytes
//
// Containers write a short item with their element count and then their elements: a record
// "RE=n;" and n times name ":" value; an array "AR=n;" and n values; a function call
// "FC=name;" and its record; a data set "DS=n;", n field definitions name ":" type "," size
// "," flag ";", then "ROWS=n;" and n rows (arrays). A missing element is the empty item "X=;".
//
// The reader trusts nothing it reads. Lengths and counts are decimal digits only, checked
// against 64-bit bounds and against the bytes still unread before they are used, and never
// used to reserve memory: a count only says how often to read an element, and each element
// consumes at least three bytes or fails. Containers nest at most kCodeNestingLimit levels, so
// no text can exhaust the stack. Every format failure goes through one helper and raises
// ELcInfo; numbers and dates that do not parse raise EConvertError. A container that fails
// to read stays empty; at is left where the failure happened.
//
// The writer refuses what the reader could not give back: a field name holding ":", a
// function name holding ";", and names that do not survive the trip through UTF-8 in the
// system code page. The reader refuses the same names (overlong UTF-8 can decode to ":" or
// ";"), so whatever it reads writes again. Floats are written so that they read back to the
// same double.
#pragma once

#include "lectern/lc/lcValues.h"

#include <cstddef>
#include <memory>
#include <string>

class TLcHugeString;

// Containers inside containers, counted from the outermost; one level more fails.
constexpr int kCodeNestingLimit = 512;

// Reads the next item, whatever its type; the empty "X" item gives no object.
std::unique_ptr<TLcValueObject> ObjectFromCode(const std::string& text, size_t& at);

// The code-format work of every value class (the classes' to_Code / from_Code end here): the
// walk both formats share (lcValueFormat) with this format's steps.
void WriteCode(TLcValueObject& object, TLcHugeString& builder);
void ReadCode(TLcValueObject& object, const std::string& text, size_t& at);

// A float's text that reads back to the same double: FloatToText when it does, else the
// shortest exact form in the same style.
std::string ExactFloatText(double value);
// TextToFloat, also reading the NAN, INF and -INF that FloatToText writes (any letter case).
double ReadFloatText(const std::string& text);
