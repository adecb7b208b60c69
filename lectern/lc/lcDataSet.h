// lcDataSet: the value model's table.
//
//   TLcAbsRecord -> TLcDataRow   field definitions, rows and a current-row cursor; the record
//                                operations (GetObject, SetObject by name) work on the
//                                current row
//                   -> TLcDataSet   adds the operations of a value object (type, copy, clear,
//                                   string forms, the two text formats)
//
// Fields. The field list holds the names in the order they were first used (names compare
// case-insensitively for A-Z, as in a record); a field's number is its position there. Type,
// size and required flag live in three arrays indexed by field number that may be shorter
// than the list: a missing entry reads as ft_Unknown, 0 or false.
//
// Rows. Each row is a TLcArray whose slot n is the value of field number n, or none for a row
// that has no values yet. Storing a value at a row at or beyond RowCount adds the rows up to
// it (those between stay without values); the usual way to fill a data set is to set Row to
// RowCount and store the new row's values. A none value never makes a field or a row.
//
// Lists. The field list and the row list are made on first use and kept by Clear, so that a
// cleared data set counts as in use: CopyFrom and the text readers refuse it.
//
// Nothing here locks: a data set is used by one thread at a time.
#pragma once

#include "lectern/lc/lcValueContainers.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class tLcFastStringObjList;

enum TLcFieldTypes : uint8_t {
    ft_Unknown, ft_String, ft_Smallint, ft_Integer, ft_Word, ft_Boolean, ft_Float, ft_Currency, ft_BCD,
    ft_Date, ft_Time, ft_DateTime, ft_Bytes, ft_VarBytes, ft_AutoInc, ft_Blob, ft_Memo, ft_Graphic,
    ft_FmtMemo, ft_ParadoxOle, ft_DBaseOle, ft_TypedBinary, ft_Cursor, ft_FixedChar, ft_WideString,
    ft_Largeint, ft_ADT, ft_Array, ft_Reference, ft_DataSet, ft_OraBlob, ft_OraClob, ft_Variant,
    ft_Interface, ft_IDispatch, ft_Guid, ft_TimeStamp, ft_FMTBcd, ft_FixedWideChar, ft_WideMemo,
    ft_OraTimeStamp, ft_OraInterval, ft_LongWord, ft_Shortint, ft_Byte, ft_Extended, ft_Connection,
    ft_Params, ft_Stream, ft_TimeStampOffset, ft_Object, ft_Single,
};
constexpr int kLcFieldTypeCount = ft_Single + 1;

// The field type's code in the text formats ("U" for ft_Unknown ... "SN" for ft_Single).
const char* FieldTypeCode(TLcFieldTypes type);
// The field type of a code (exact case); false when no type has it.
bool FieldTypeOfCode(const std::string& code, TLcFieldTypes& type);
// The field type a value of this type gives a field whose type is still ft_Unknown.
TLcFieldTypes DefaultFieldType(TLcValueType type);

class TLcDataRow : public TLcAbsRecord {
public:
    TLcDataRow();
    ~TLcDataRow() override;
    TLcDataRow(const TLcDataRow&) = delete;
    TLcDataRow& operator=(const TLcDataRow&) = delete;

    // ---- field definitions ----
    int32_t FieldCount() const;
    // The name at that position; empty when out of range.
    std::string FieldName(int32_t index) const;
    // The field's number, -1 for an unknown name.
    int32_t FieldIndex(const std::string& name) const;
    TLcFieldTypes FieldType(const std::string& name) const { return FieldTypeAt(FieldIndex(name)); }
    int32_t FieldSize(const std::string& name) const { return FieldSizeAt(FieldIndex(name)); }
    bool FieldRequired(const std::string& name) const { return FieldRequiredAt(FieldIndex(name)); }
    // The same by field number; ft_Unknown, 0 or false outside the arrays.
    TLcFieldTypes FieldTypeAt(int32_t index) const;
    int32_t FieldSizeAt(int32_t index) const;
    bool FieldRequiredAt(int32_t index) const;
    // An empty name raises ELcInfo; a new name is added at the end of the field list.
    void SetFieldType(const std::string& name, TLcFieldTypes type);
    void SetFieldSize(const std::string& name, int32_t size);
    void SetFieldRequired(const std::string& name, bool required);

    // ---- cursor ----
    int32_t RowCount() const;
    int32_t Row() const { return FRow; }
    // Below -1 raises ELcInfo; anything else is taken, also a row at or beyond RowCount.
    void SetRow(int32_t row);
    void First() { FRow = 0; }
    void Next();
    bool Eof() const;
    // The values of row index (borrowed); none for a row without values or out of range.
    TLcArray* RowValues(int32_t index) const;

    // ---- values of the current row ----
    using TLcAbsRecord::SetObject;
    TLcValueObject* GetObject(const std::string& name) const override;
    std::unique_ptr<TLcValueObject> SetObject(const std::string& name, TLcStoreArg value) override;

    // ---- not available on a row view ----
    void Clear() override;
    void CopyFrom(TLcValueObject& source) override;
    TLcValueType GetType() const override;
    bool TypeCheck(TLcValueType type) const override;
    void from_Code(const std::string& text, size_t& at) override;
    void from_XMLrpc(const std::string& text, size_t& at) override;
    std::unique_ptr<TLcValueObject> copyOf() override;
    void to_Code(TLcHugeString& builder) override;
    void to_XMLRPC(TLcHugeString& builder) override;

    CL_CLASS_NAME(TLcDataRow)

protected:
    using TRowList = std::vector<std::unique_ptr<TLcArray>>;

    bool HasLists() const { return FFields != nullptr || FRows != nullptr; }
    // The field number of name, adding it when new (the list is made when missing).
    int32_t AddField(const std::string& name);
    // Frees every row and empties the field list and the arrays; the lists stay.
    void EmptyStorage();

    std::unique_ptr<tLcFastStringObjList> FFields;
    std::vector<TLcFieldTypes> FTypes;
    std::vector<int32_t> FSizes;
    std::vector<bool> FRequired;
    std::unique_ptr<TRowList> FRows;
    int32_t FRow = 0;
};

class TLcDataSet : public TLcDataRow {
public:
    TLcDataSet() = default;
    ~TLcDataSet() override;

    using TLcDataRow::GetType;
    // Empties fields, rows and arrays; keeps both lists and the current row.
    void Clear() override;
    // The source is a data set; refused while this one has a field list or a row list.
    void CopyFrom(TLcValueObject& source) override;
    TLcValueType GetType() const override { return vt_DataSet; }
    bool TypeCheck(TLcValueType type) const override { return type == vt_DataSet; }
    void from_Code(const std::string& text, size_t& at) override;
    void from_XMLrpc(const std::string& text, size_t& at) override;
    std::unique_ptr<TLcValueObject> copyOf() override;
    void to_Code(TLcHugeString& builder) override;
    void to_XMLRPC(TLcHugeString& builder) override;

    // One "(name=value; ...)" + CR LF per row; the cursor is left where it was.
    std::string StringForm();
    std::string TextForm();

    // For the text readers: appends a row (none for a row without values).
    void AppendRow(std::unique_ptr<TLcArray> row);
    // For the text readers: takes over the fields and rows of source, which must be a new
    // data set filled by a reader, while this one has no lists.
    void TakeOver(TLcDataSet& source);

    CL_CLASS_NAME(TLcDataSet)
};
