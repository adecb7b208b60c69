#include "lectern/lc/lcDataSet.h"

#include "classlib/PlatformText.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/lcLog.h"

#include <utility>

namespace {

using lc_detail::SystemToUtf8;
using lc_detail::Utf8ToSystem;

constexpr const char* kFieldTypeCodes[kLcFieldTypeCount] = {
    "U",  "S",  "SI", "I",  "WI", "B",  "F",  "C",  "BC", "DD", "T",  "D",  "BY", "VB", "AI", "O",  "M",  "G",
    "FM", "PO", "DO", "TB", "CU", "FC", "W",  "L",  "AD", "AR", "RF", "DS", "OB", "OC", "V",  "IT", "ID", "GU",
    "DT", "FB", "WC", "WM", "OT", "OI", "WL", "SH", "BB", "FE", "CO", "PA", "ST", "TO", "OJ", "SN",
};

[[noreturn]] void NotOnRow(const char* operation)
{
    throw ELcInfo(std::string(operation) + " method not available for TLcDataRow");
}

void LogStoreError(const char* context, const std::string& name, const Exception& e)
{
    if (LogInfoErrors) {
        LogException(context + name + ")", e, "INFO");
    }
}

// Grows an array indexed by field number with zero entries so that index is inside it.
template <class T>
void GrowTo(std::vector<T>& entries, int32_t index)
{
    if (entries.size() <= static_cast<size_t>(index)) {
        entries.resize(static_cast<size_t>(index) + 1, T{});
    }
}

template <class T>
T EntryAt(const std::vector<T>& entries, int32_t index)
{
    return index >= 0 && static_cast<size_t>(index) < entries.size() ? entries[index] : T{};
}


}  // namespace

const char* FieldTypeCode(TLcFieldTypes type)
{
    return type < kLcFieldTypeCount ? kFieldTypeCodes[type] : kFieldTypeCodes[ft_Unknown];
}

bool FieldTypeOfCode(const std::string& code, TLcFieldTypes& type)
{
    for (int i = 0; i < kLcFieldTypeCount; ++i) {
        if (code == kFieldTypeCodes[i]) {
            type = static_cast<TLcFieldTypes>(i);
            return true;
        }
    }
    return false;
}

TLcFieldTypes DefaultFieldType(TLcValueType type)
{
    switch (type) {
    case vt_Exception:
    case vt_Text:
    case vt_String: return ft_String;
    case vt_Array: return ft_Array;
    case vt_Record: return ft_ADT;
    case vt_DataSet: return ft_DataSet;
    case vt_WideString: return ft_WideString;
    case vt_Boolean: return ft_Boolean;
    case vt_Integer: return ft_Integer;
    case vt_Cardinal:
    case vt_LargeInt:
    case vt_OID: return ft_Largeint;
    case vt_Float: return ft_Float;
    case vt_Currency: return ft_Currency;
    case vt_DateTime: return ft_DateTime;
    case vt_ByteStream: return ft_Blob;
    default: return ft_Unknown;   // Null, Variable, FunctionCall, Variant
    }
}

// ---- TLcDataRow: fields ---------------------------------------------------------------------

TLcDataRow::TLcDataRow() = default;

TLcDataRow::~TLcDataRow()
{
    RunAtBoundary("ERROR", "TLcDataRow.Destroy", [this] { EmptyStorage(); }, LogHandledErrors);
}

int32_t TLcDataRow::FieldCount() const { return FFields ? FFields->Count() : 0; }

std::string TLcDataRow::FieldName(int32_t index) const
{
    return index >= 0 && index < FieldCount() ? FFields->GetName(index) : std::string();
}

int32_t TLcDataRow::FieldIndex(const std::string& name) const { return FFields ? FFields->IndexOf(name) : -1; }

TLcFieldTypes TLcDataRow::FieldTypeAt(int32_t index) const { return EntryAt(FTypes, index); }
int32_t TLcDataRow::FieldSizeAt(int32_t index) const { return EntryAt(FSizes, index); }
bool TLcDataRow::FieldRequiredAt(int32_t index) const { return EntryAt(FRequired, index); }

int32_t TLcDataRow::AddField(const std::string& name)
{
    if (!FFields) {
        FFields = std::make_unique<tLcFastStringObjList>();
    }
    const int32_t index = FFields->IndexOf(name);
    return index >= 0 ? index : FFields->Add(name, nullptr);
}

void TLcDataRow::SetFieldType(const std::string& name, TLcFieldTypes type)
{
    if (name.empty()) {
        throw ELcInfo("Can not set field type without field name.");
    }
    const int32_t index = AddField(name);
    GrowTo(FTypes, index);
    FTypes[index] = type;
}

void TLcDataRow::SetFieldSize(const std::string& name, int32_t size)
{
    if (name.empty()) {
        throw ELcInfo("Can not set field size without field name.");
    }
    const int32_t index = AddField(name);
    GrowTo(FSizes, index);
    FSizes[index] = size;
}

void TLcDataRow::SetFieldRequired(const std::string& name, bool required)
{
    if (name.empty()) {
        throw ELcInfo("Can not set required property for field without a field name.");
    }
    const int32_t index = AddField(name);
    GrowTo(FRequired, index);
    FRequired[index] = required;
}

void TLcDataRow::EmptyStorage()
{
    if (FRows) {
        FRows->clear();
    }
    if (FFields) {
        FFields->Clear();
    }
    FTypes.clear();
    FSizes.clear();
    FRequired.clear();
}

// ---- TLcDataRow: cursor ---------------------------------------------------------------------

int32_t TLcDataRow::RowCount() const { return FRows ? static_cast<int32_t>(FRows->size()) : 0; }

void TLcDataRow::SetRow(int32_t row)
{
    if (row < -1) {
        throw ELcInfo("Can not move to a Row beyond BOF, index out of bounds.");
    }
    FRow = row;
}

void TLcDataRow::Next()
{
    if (FRow < RowCount()) {
        ++FRow;
    }
}

bool TLcDataRow::Eof() const { return RowCount() == 0 || FRow >= RowCount(); }

TLcArray* TLcDataRow::RowValues(int32_t index) const
{
    return index >= 0 && index < RowCount() ? (*FRows)[index].get() : nullptr;
}

// ---- TLcDataRow: values ---------------------------------------------------------------------

TLcValueObject* TLcDataRow::GetObject(const std::string& name) const
{
    TLcArray* values = RowValues(FRow);
    if (values == nullptr) {
        return nullptr;
    }
    const int32_t index = FieldIndex(name);
    return index >= 0 ? values->GetObject(index) : nullptr;
}

std::unique_ptr<TLcValueObject> TLcDataRow::SetObject(const std::string& name, TLcStoreArg value)
{
    if (FRow < 0) {
        throw ELcInfo("TLcDataSet.SetObject: Row index beyond BOF.");
    }
    if (name.empty()) {
        throw ELcInfo("TLcDataSet.SetObject: Fields without a name not allowed. Set Field Data by using a Field Name.");
    }
    // A data set handed over into one of its own rows would own itself.
    if (!value.AsCopy() && value.Get() != nullptr && ValueHolds(*value.Get(), *this)) {
        throw ELcInfo("TLcDataSet.SetObject: a container can not be stored inside itself.");
    }
    TLcValueObject* const stored = value.Get();
    const int32_t known = FieldIndex(name);
    TLcArray* existing = RowValues(FRow);
    std::unique_ptr<TLcValueObject> answer;

    if (known >= 0 && existing != nullptr) {
        // A row with values: the row's own SetObject (a none value removes the field's value).
        if (existing->GetObject(known) == stored) {
            value.Disown();
            return nullptr;
        }
        answer = existing->SetObject(known, std::move(value));
    } else {
        if (stored == nullptr) {
            return nullptr;   // a none value never makes a field or a row
        }
        const bool hadLists = FFields != nullptr && FRows != nullptr;
        const bool inside = FRow < RowCount();
        const int32_t index = known >= 0 ? known : FieldCount();
        if (existing != nullptr) {
            // A known row, a new field.
            try {
                existing->SetObject(index, std::move(value));
            } catch (const Exception& e) {
                LogStoreError("TLcDataSet.SetObject 3(", name, e);
                throw;
            }
        } else {
            auto row = std::make_unique<TLcArray>();
            try {
                row->SetObject(index, std::move(value));
            } catch (const Exception& e) {
                LogStoreError(!hadLists ? "TLcDataSet.SetObject 4("
                              : known < 0 ? "TLcDataSet.SetObject 3("
                              : inside    ? "TLcDataSet.SetObject("
                                          : "TLcDataSet.SetObject 2(",
                              name, e);
                throw;   // the new row goes with row
            }
            if (!FRows) {
                FRows = std::make_unique<TRowList>();
            }
            if (FRows->size() <= static_cast<size_t>(FRow)) {
                FRows->resize(static_cast<size_t>(FRow) + 1);
            }
            (*FRows)[FRow] = std::move(row);
        }
        if (known < 0) {
            AddField(name);
        }
    }
    const int32_t index = FieldIndex(name);
    if (stored != nullptr && FieldTypeAt(index) == ft_Unknown) {
        if (TLcValueObject* now = GetObject(name)) {
            const TLcFieldTypes type = DefaultFieldType(now->GetType());
            if (type != ft_Unknown) {
                GrowTo(FTypes, index);
                FTypes[index] = type;
            }
        }
    }
    return answer;
}

// ---- TLcDataRow: the value-object operations are the data set's ------------------------------

void TLcDataRow::Clear() { NotOnRow("Clear"); }
void TLcDataRow::CopyFrom(TLcValueObject&) { NotOnRow("CopyFrom"); }
TLcValueType TLcDataRow::GetType() const { NotOnRow("GetType"); }
bool TLcDataRow::TypeCheck(TLcValueType) const { NotOnRow("TypeCheck"); }
void TLcDataRow::from_Code(const std::string&, size_t&) { NotOnRow("from_Code"); }
void TLcDataRow::from_XMLrpc(const std::string&, size_t&) { NotOnRow("from_XMLrpc"); }
std::unique_ptr<TLcValueObject> TLcDataRow::copyOf() { NotOnRow("copyOf"); }
void TLcDataRow::to_Code(TLcHugeString&) { NotOnRow("to_Code"); }
void TLcDataRow::to_XMLRPC(TLcHugeString&) { NotOnRow("to_XMLRPC"); }

// ---- TLcDataSet -----------------------------------------------------------------------------

TLcDataSet::~TLcDataSet()
{
    RunAtBoundary("ERROR", "TLcDataSet.Destroy", [this] { EmptyStorage(); }, LogHandledErrors);
}

void TLcDataSet::Clear() { EmptyStorage(); }

void TLcDataSet::CopyFrom(TLcValueObject& source)
{
    auto* from = dynamic_cast<TLcDataSet*>(&source);
    if (from == nullptr) {
        lc_detail::FailCopy(source, *this);
    }
    if (HasLists()) {
        throw ELcInfo("Can not merge DataSets. This DataSet already has data assigned.");
    }
    TLcDataSet copy;
    for (int32_t i = 0, count = from->FieldCount(); i < count; ++i) {
        const std::string name = from->FieldName(i);
        copy.SetFieldType(name, from->FieldTypeAt(i));
        copy.SetFieldSize(name, from->FieldSizeAt(i));
        copy.SetFieldRequired(name, from->FieldRequiredAt(i));
    }
    if (from->FRows) {
        copy.FRows = std::make_unique<TRowList>();
        copy.FRows->reserve(from->FRows->size());
        for (const auto& row : *from->FRows) {
            std::unique_ptr<TLcArray> rowCopy;
            if (row) {
                rowCopy = std::make_unique<TLcArray>();
                rowCopy->CopyFrom(*row);
            }
            copy.FRows->push_back(std::move(rowCopy));
        }
    }
    TakeOver(copy);
}

void TLcDataSet::from_Code(const std::string& text, size_t& at)
{
    if (HasLists()) {
        throw ELcInfo("Can not merge DataSet data. TLcDataSet object is already in use.");
    }
    TLcValueObject::from_Code(text, at);
}

void TLcDataSet::from_XMLrpc(const std::string& text, size_t& at)
{
    if (HasLists()) {
        throw ELcInfo("Can not merge DataSet data. TLcDataSet object is already in use.");
    }
    TLcValueObject::from_XMLrpc(text, at);
}

std::unique_ptr<TLcValueObject> TLcDataSet::copyOf()
{
    auto copy = std::make_unique<TLcDataSet>();
    copy->CopyFrom(*this);
    return copy;
}

void TLcDataSet::to_Code(TLcHugeString& builder) { TLcValueObject::to_Code(builder); }
void TLcDataSet::to_XMLRPC(TLcHugeString& builder) { TLcValueObject::to_XMLRPC(builder); }

void TLcDataSet::AppendRow(std::unique_ptr<TLcArray> row)
{
    if (!FRows) {
        FRows = std::make_unique<TRowList>();
    }
    FRows->push_back(std::move(row));
}

void TLcDataSet::TakeOver(TLcDataSet& source)
{
    FFields = std::move(source.FFields);
    FTypes = std::move(source.FTypes);
    FSizes = std::move(source.FSizes);
    FRequired = std::move(source.FRequired);
    FRows = std::move(source.FRows);
}

namespace {

// Every row as "(" + pieces of the fields that hold a value, joined by "; " + ")" + CR LF. The
// cursor walks the rows and is put back afterwards, also when a piece fails.
template <class TPiece>
std::string RowsForm(TLcDataSet& set, TPiece&& piece)
{
    struct TRestore {
        TLcDataSet& Set;
        int32_t Row;
        ~TRestore() { Set.SetRow(Row); }
    } restore{set, set.Row()};
    std::string form;
    for (set.First(); !set.Eof(); set.Next()) {
        form += "(";
        bool first = true;
        for (int32_t i = 0, count = set.FieldCount(); i < count; ++i) {
            const std::string name = set.FieldName(i);
            if (set.isNull(name)) {
                continue;
            }
            if (!first) {
                form += "; ";
            }
            first = false;
            form += piece(name);
        }
        form += ")\r\n";
    }
    return form;
}

}  // namespace

std::string TLcDataSet::StringForm()
{
    return RowsForm(*this, [this](const std::string& name) { return name + "=" + GetString(name); });
}

std::string TLcDataSet::TextForm()
{
    return plat::WideToSystem(Utf8DecodeText(RowsForm(
        *this, [this](const std::string& name) { return SystemToUtf8(name) + "=" + SystemToUtf8(GetText(name)); })));
}
