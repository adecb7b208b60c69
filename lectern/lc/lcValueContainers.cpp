#include "lectern/lc/lcValueContainers.h"

#include "classlib/PlatformText.h"
#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/lcLog.h"
#include "lectern/lc/memStringObjList.h"

#include <type_traits>
#include <utility>

std::atomic<bool> LogInfoErrors{false};

// The field list of a record: entry i of Names (the name index) is Values[i]. Names holds no
// objects; the values are owned here.
struct TLcRecord::TFieldList {
    tLcFastStringObjList Names;
    std::vector<std::unique_ptr<TLcValueObject>> Values;
};

namespace {

using lc_detail::SystemToUtf8;
using lc_detail::Utf8ToSystem;

// Node block size of the object list of TLcInfo (nothing in the system fills it).
constexpr int kInfoObjectsBlockSize = 16;

// Prefixes of the conversion failures: the holder's, and the record's and array's.
constexpr const char* kHolderPrefix = "Unable to convert ";
constexpr const char* kItemPrefix = "Can not convert ";

constexpr const char* kToBoolean = " to Boolean.";
constexpr const char* kToInteger = " to Integer.";
constexpr const char* kToString = " to AnsiString.";
constexpr const char* kToText = " to Text.";
constexpr const char* kToArray = " to TLcArray.";
constexpr const char* kToRecord = " to TLcRecord.";

// Second lines of the "allready assigned" refusals.
constexpr const char* kSetToNull = " to NULL before assigning a different object.";

[[noreturn]] void FailConvert(const char* prefix, const TLcValueObject& object, const char* ending)
{
    throw EConvertError(prefix + std::string(object.ClassName()) + ending);
}

void LogInfoError(const std::string& context, const Exception& e)
{
    if (LogInfoErrors) {
        LogException(context, e, "INFO");
    }
}


// Reading a text format works only on an empty container.
void RefuseInUse(bool inUse, const char* message)
{
    if (inUse) {
        throw ELcInfo(message);
    }
}

// The source of CopyFrom as a T; the class is checked first, then that self is still empty.
template <class T>
T& CopySource(TLcValueObject& source, const TLcValueObject& self, bool inUse, const char* message)
{
    auto* typed = dynamic_cast<T*>(&source);
    if (typed == nullptr) {
        lc_detail::FailCopy(source, self);
    }
    RefuseInUse(inUse, message);
    return *typed;
}

// A new object of the class of self that copies it.
template <class T>
std::unique_ptr<TLcValueObject> CopyOfSame(T& self)
{
    auto copy = std::make_unique<T>();
    copy->CopyFrom(self);
    return copy;
}

bool IsSimple(const TLcValueObject* object) { return dynamic_cast<const TLcSimpleValue*>(object) != nullptr; }

// Handing over a container that is, or holds, the target would make the target own itself.
void RefuseSelfStore(const TLcStoreArg& value, const TLcValueObject& target, const char* className)
{
    if (!value.AsCopy() && value.Get() != nullptr && ValueHolds(*value.Get(), target)) {
        throw ELcInfo(std::string(className) + ".SetObject: a container can not be stored inside itself.");
    }
}

// The last steps of storing into a field or slot that holds something else: nothing or a
// simple value there is replaced (and freed), a holder there stores the value itself, any
// other container refuses with the exception that refusal() makes.
template <class TRefusal>
std::unique_ptr<TLcValueObject> ReplaceInPlace(std::unique_ptr<TLcValueObject>& place, TLcStoreArg value,
                                               TRefusal&& refusal)
{
    if (!place || IsSimple(place.get())) {
        place = value.Release();
        return nullptr;
    }
    if (auto* holder = dynamic_cast<TLcAbsValue*>(place.get())) {
        return holder->SetObject(std::move(value));
    }
    throw refusal(*place);
}


// ---- reading one contained object -----------------------------------------------------------

bool ReadBoolean(TLcValueObject* object, const char* prefix)
{
    if (object == nullptr) {
        return false;
    }
    if (auto* simple = dynamic_cast<TLcSimpleValue*>(object)) {
        return simple->GetBoolean();
    }
    if (auto* holder = dynamic_cast<TLcAbsValue*>(object)) {
        return holder->GetBoolean();
    }
    FailConvert(prefix, *object, kToBoolean);
}

int32_t ReadInteger(TLcValueObject* object, const char* prefix)
{
    if (object == nullptr) {
        return 0;
    }
    if (auto* simple = dynamic_cast<TLcSimpleValue*>(object)) {
        return simple->GetInteger();
    }
    if (auto* holder = dynamic_cast<TLcAbsValue*>(object)) {
        return holder->GetInteger();
    }
    FailConvert(prefix, *object, kToInteger);
}

// The string form (asText false) or the text form of any value.
std::string ReadString(TLcValueObject* object, const char* prefix, bool asText)
{
    if (object == nullptr) {
        return {};
    }
    if (auto* simple = dynamic_cast<TLcSimpleValue*>(object)) {
        return asText ? simple->GetText() : simple->GetString();
    }
    if (auto* holder = dynamic_cast<TLcAbsValue*>(object)) {
        return asText ? holder->GetText() : holder->GetString();
    }
    if (auto* array = dynamic_cast<TLcArray*>(object)) {
        return asText ? array->TextForm() : array->StringForm();
    }
    if (auto* record = dynamic_cast<TLcRecord*>(object)) {
        return asText ? record->TextForm() : record->StringForm();
    }
    if (auto* set = dynamic_cast<TLcDataSet*>(object)) {
        return asText ? set->TextForm() : set->StringForm();
    }
    FailConvert(prefix, *object, asText ? kToText : kToString);
}

// A present object read as an array or a record: the object itself, or a holder's answer.
template <class TTarget>
TTarget* ReadContainer(TLcValueObject& object, const char* prefix)
{
    if (auto* target = dynamic_cast<TTarget*>(&object)) {
        return target;
    }
    if (auto* holder = dynamic_cast<TLcAbsValue*>(&object)) {
        if constexpr (std::is_same_v<TTarget, TLcArray>) {
            return holder->GetArray();
        } else {
            return holder->GetRecord();
        }
    }
    FailConvert(prefix, object, std::is_same_v<TTarget, TLcArray> ? kToArray : kToRecord);
}

// Makes an empty TChild with the parent's AutoCreate, hands it to store and answers it. A
// failed store frees the child; the failure is logged under context() and passes on.
template <class TChild, class TStore, class TContext>
TChild* StoreNew(bool autoCreate, TStore&& store, TContext&& context)
{
    auto child = std::make_unique<TChild>();
    child->SetAutoCreate(autoCreate);
    TChild* result = child.get();
    try {
        store(TLcStoreArg::Take(std::move(child)));
    } catch (const Exception& e) {
        LogInfoError(context(), e);
        throw;
    }
    return result;
}

}  // namespace

// ---- TLcStoreArg ----------------------------------------------------------------------------

TLcStoreArg::TLcStoreArg(TLcValueObject* value, std::unique_ptr<TLcValueObject> owned, bool asCopy)
    : FValue(value), FOwned(std::move(owned)), FAsCopy(asCopy)
{
}

TLcStoreArg TLcStoreArg::Take(std::unique_ptr<TLcValueObject> value)
{
    TLcValueObject* raw = value.get();
    return TLcStoreArg(raw, std::move(value), false);
}

TLcStoreArg TLcStoreArg::Copy(TLcValueObject* value) { return TLcStoreArg(value, nullptr, true); }

std::unique_ptr<TLcValueObject> TLcStoreArg::Release()
{
    if (FAsCopy) {
        return FValue != nullptr ? FValue->copyOf() : nullptr;
    }
    return std::move(FOwned);
}

void TLcStoreArg::Disown() { static_cast<void>(FOwned.release()); }   // the container owns it

// ---- ValueHolds -----------------------------------------------------------------------------

bool ValueHolds(const TLcValueObject& outer, const TLcValueObject& inner)
{
    // Depth-first over the containers below outer; the tree may be deep, so no recursion.
    std::vector<const TLcValueObject*> pending{&outer};
    while (!pending.empty()) {
        const TLcValueObject* object = pending.back();
        pending.pop_back();
        if (object == &inner) {
            return true;
        }
        if (auto* holder = dynamic_cast<const TLcAbsValue*>(object)) {
            if (holder->GetObject() != nullptr) {
                pending.push_back(holder->GetObject());
            }
        } else if (auto* record = dynamic_cast<const TLcRecord*>(object)) {
            if (record->FFields) {
                for (const auto& value : record->FFields->Values) {
                    if (value) {
                        pending.push_back(value.get());
                    }
                }
            }
        } else if (auto* array = dynamic_cast<const TLcArray*>(object)) {
            if (array->FItems) {
                for (const auto& item : *array->FItems) {
                    if (item) {
                        pending.push_back(item.get());
                    }
                }
            }
        } else if (auto* set = dynamic_cast<const TLcDataRow*>(object)) {
            for (int32_t i = 0, count = set->RowCount(); i < count; ++i) {
                if (const TLcArray* row = set->RowValues(i)) {
                    pending.push_back(row);
                }
            }
        }
    }
    return false;
}

// ---- TLcAbsValue ----------------------------------------------------------------------------

std::unique_ptr<TLcValueObject> TLcAbsValue::SetObject(std::unique_ptr<TLcValueObject> value)
{
    return SetObject(TLcStoreArg::Take(std::move(value)));
}

bool TLcAbsValue::GetBoolean() { return ReadBoolean(GetObject(), kHolderPrefix); }
int32_t TLcAbsValue::GetInteger() { return ReadInteger(GetObject(), kHolderPrefix); }
std::string TLcAbsValue::GetString() { return ReadString(GetObject(), kHolderPrefix, false); }
std::string TLcAbsValue::GetText() { return ReadString(GetObject(), kHolderPrefix, true); }

TLcArray* TLcAbsValue::GetArray()
{
    TLcValueObject* object = GetObject();
    if (object == nullptr) {
        return AutoCreate() ? NewArray() : nullptr;
    }
    return ReadContainer<TLcArray>(*object, kHolderPrefix);
}

TLcRecord* TLcAbsValue::GetRecord()
{
    TLcValueObject* object = GetObject();
    if (object == nullptr) {
        return AutoCreate() ? NewRecord() : nullptr;
    }
    return ReadContainer<TLcRecord>(*object, kHolderPrefix);
}

TLcArray* TLcAbsValue::NewArray()
{
    return StoreNew<TLcArray>(
        AutoCreate(), [this](TLcStoreArg child) { SetObject(std::move(child)); },
        [] { return std::string("TLcAbsValue.NewArray"); });
}

TLcRecord* TLcAbsValue::NewRecord()
{
    return StoreNew<TLcRecord>(
        AutoCreate(), [this](TLcStoreArg child) { SetObject(std::move(child)); },
        [] { return std::string("TLcAbsValue.NewRecord"); });
}

// ---- TLcValue -------------------------------------------------------------------------------

TLcValue::~TLcValue()
{
    RunAtBoundary("ERROR", "TLcValue.Destroy", [this] { TLcValue::Clear(); }, LogHandledErrors);
}

std::unique_ptr<TLcValueObject> TLcValue::SetObject(TLcStoreArg value)
{
    if (value.Get() == FContent.get()) {
        value.Disown();
        return nullptr;
    }
    RefuseSelfStore(value, *this, "TLcValue");
    if (!FContent) {
        FContent = value.Release();
        return nullptr;
    }
    if (value.Get() == nullptr) {
        if (value.AsCopy()) {
            FContent.reset();
            return nullptr;
        }
        return std::move(FContent);
    }
    if (!IsSimple(FContent.get())) {
        throw ELcInfo("Value of type " + std::string(FContent->ClassName()) + " allready assigned.\r\n" +
                      "Set" + kSetToNull);
    }
    FContent = value.Release();   // frees the old simple value
    return nullptr;
}

void TLcValue::Clear() { SetObject(TLcStoreArg::Free()); }

void TLcValue::CopyFrom(TLcValueObject& source)
{
    TLcAbsValue& holder = CopySource<TLcAbsValue>(source, *this, static_cast<bool>(FContent),
                                                  "Can not merge objects. This Value Object already has data.");
    SetObject(TLcStoreArg::Copy(holder.GetObject()));
}

void TLcValue::Extracted()
{
    std::unique_ptr<TLcValueObject> content = std::move(FContent);
    if (IsSimple(content.get()) || dynamic_cast<TLcValue*>(content.get()) != nullptr) {
        content.release()->Extracted();   // disposes of itself
    }
    delete this;   // any other content goes with the holder
}

TLcValueType TLcValue::GetType() const { return FContent ? FContent->GetType() : vt_Null; }

bool TLcValue::TypeCheck(TLcValueType type) const
{
    return FContent ? FContent->TypeCheck(type) : type == vt_Null;
}

void TLcValue::from_Code(const std::string& text, size_t& at)
{
    RefuseInUse(static_cast<bool>(FContent), "Can not merge data. TLcValue object is already in use.");
    TLcValueObject::from_Code(text, at);
}

void TLcValue::from_XMLrpc(const std::string& text, size_t& at)
{
    RefuseInUse(static_cast<bool>(FContent), "Can not merge data. TLcValue object is already in use.");
    TLcValueObject::from_XMLrpc(text, at);
}

std::unique_ptr<TLcValueObject> TLcValue::copyOf() { return FContent ? FContent->copyOf() : nullptr; }

void TLcValue::to_Code(TLcHugeString& builder)
{
    if (FContent) {
        FContent->to_Code(builder);
    } else {
        builder.Append(std::string("X=;"));   // the empty item of the null type
    }
}

void TLcValue::to_XMLRPC(TLcHugeString& builder)
{
    if (FContent) {
        FContent->to_XMLRPC(builder);
    } else {
        builder.Append(std::string("<value><nil/></value>"));
    }
}

// ---- TLcAbsRecord ---------------------------------------------------------------------------

std::unique_ptr<TLcValueObject> TLcAbsRecord::SetObject(const std::string& name,
                                                        std::unique_ptr<TLcValueObject> value)
{
    return SetObject(name, TLcStoreArg::Take(std::move(value)));
}

bool TLcAbsRecord::GetBoolean(const std::string& name) { return ReadBoolean(GetObject(name), kItemPrefix); }
int32_t TLcAbsRecord::GetInteger(const std::string& name) { return ReadInteger(GetObject(name), kItemPrefix); }
std::string TLcAbsRecord::GetString(const std::string& name)
{
    return ReadString(GetObject(name), kItemPrefix, false);
}
std::string TLcAbsRecord::GetText(const std::string& name)
{
    return ReadString(GetObject(name), kItemPrefix, true);
}

TLcArray* TLcAbsRecord::GetArray(const std::string& name)
{
    TLcValueObject* object = GetObject(name);
    if (object == nullptr) {
        return AutoCreate() ? NewArray(name) : nullptr;
    }
    return ReadContainer<TLcArray>(*object, kItemPrefix);
}

TLcValueType TLcAbsRecord::GetType(const std::string& name) const
{
    TLcValueObject* object = GetObject(name);
    return object != nullptr ? object->GetType() : vt_Null;
}

TLcArray* TLcAbsRecord::NewArray(const std::string& name)
{
    return StoreNew<TLcArray>(
        AutoCreate(), [this, &name](TLcStoreArg child) { SetObject(name, std::move(child)); },
        [&name] { return "TLcAbsRecord.NewArray(" + name + ")"; });
}

// ---- TLcRecord ------------------------------------------------------------------------------

TLcRecord::TLcRecord() = default;

TLcRecord::~TLcRecord()
{
    RunAtBoundary("ERROR", "TLcRecord.Destroy", [this] { TLcRecord::Clear(); }, LogHandledErrors);
}

int32_t TLcRecord::Count() const { return FFields ? FFields->Names.Count() : 0; }

std::string TLcRecord::FieldName(int32_t index) const
{
    if (!FFields || index < 0 || index >= FFields->Names.Count()) {
        return {};
    }
    return FFields->Names.GetName(index);
}

TLcValueObject* TLcRecord::FieldObject(int32_t index) const
{
    if (!FFields || index < 0 || index >= FFields->Names.Count()) {
        return nullptr;
    }
    return FFields->Values[index].get();
}

void TLcRecord::AppendField(const std::string& name, std::unique_ptr<TLcValueObject> value)
{
    if (name.empty() || (FFields && FFields->Names.IndexOf(name) >= 0)) {
        SetObject(name, TLcStoreArg::Take(std::move(value)));   // refuses, or replaces
        return;
    }
    if (!FFields) {
        FFields = std::make_unique<TFieldList>();
    }
    FFields->Values.reserve(FFields->Values.size() + 1);   // so that the push below cannot fail
    FFields->Names.Add(name, nullptr);
    FFields->Values.push_back(std::move(value));
}

TLcValueObject* TLcRecord::GetObject(const std::string& name) const
{
    if (!FFields) {
        return nullptr;
    }
    const int index = FFields->Names.IndexOf(name);
    return index >= 0 ? FFields->Values[index].get() : nullptr;
}

std::unique_ptr<TLcValueObject> TLcRecord::SetObject(const std::string& name, TLcStoreArg value)
{
    if (name.empty()) {
        throw ELcInfo("TLcRecord.SetObject: Fields without a name not allowed.");
    }
    RefuseSelfStore(value, *this, "TLcRecord");
    const int index = FFields ? FFields->Names.IndexOf(name) : -1;
    if (index < 0) {
        if (value.Get() == nullptr) {
            return nullptr;
        }
        std::unique_ptr<TLcValueObject> object = value.Release();
        auto fresh = FFields ? nullptr : std::make_unique<TFieldList>();
        TFieldList& fields = FFields ? *FFields : *fresh;
        fields.Values.reserve(fields.Values.size() + 1);   // so that the push below cannot fail
        fields.Names.Add(name, nullptr);
        fields.Values.push_back(std::move(object));
        if (fresh) {
            FFields = std::move(fresh);
        }
        return nullptr;
    }
    std::unique_ptr<TLcValueObject>& slot = FFields->Values[index];
    if (slot.get() == value.Get()) {
        value.Disown();
        return nullptr;
    }
    if (value.Get() == nullptr) {
        std::unique_ptr<TLcValueObject> old = std::move(slot);
        return value.AsCopy() ? nullptr : std::move(old);
    }
    return ReplaceInPlace(slot, std::move(value), [&name](const TLcValueObject& old) {
        return ELcInfo("Value of type " + std::string(old.ClassName()) + " allready assigned to \"" + name +
                       "\".\r\nSet [" + name + "]" + kSetToNull);
    });
}

void TLcRecord::Clear() { FFields.reset(); }

void TLcRecord::CopyFrom(TLcValueObject& source)
{
    auto* record = &CopySource<TLcRecord>(source, *this, static_cast<bool>(FFields),
                                          "Can not merge objects. This Record already has data.");
    if (!record->FFields) {
        return;
    }
    try {
        const TFieldList& from = *record->FFields;
        const int count = from.Names.Count();
        auto fresh = std::make_unique<TFieldList>();
        fresh->Values.reserve(count);
        for (int i = 0; i < count; ++i) {
            std::unique_ptr<TLcValueObject> copy;
            try {
                if (from.Values[i]) {
                    copy = from.Values[i]->copyOf();
                }
            } catch (const Exception& e) {
                LogInfoError("TLcRecord.CopyFrom (" + std::to_string(i) + "/" + std::to_string(count) + ")", e);
                throw;
            }
            fresh->Names.Add(from.Names.GetName(i), nullptr);
            fresh->Values.push_back(std::move(copy));
        }
        FFields = std::move(fresh);
    } catch (const Exception& e) {
        LogInfoError("TLcRecord.CopyFrom", e);
        throw;
    }
}

void TLcRecord::from_Code(const std::string& text, size_t& at)
{
    RefuseInUse(static_cast<bool>(FFields), "Can not merge Record data. TLcRecord object is already in use.");
    TLcValueObject::from_Code(text, at);
}

void TLcRecord::from_XMLrpc(const std::string& text, size_t& at)
{
    RefuseInUse(static_cast<bool>(FFields), "Can not merge Record data. TLcRecord object is already in use.");
    TLcValueObject::from_XMLrpc(text, at);
}

std::unique_ptr<TLcValueObject> TLcRecord::copyOf() { return CopyOfSame(*this); }

namespace {

// "(" + name=value pairs joined by "; " + ")". Indices run to the virtual Count, so a record
// that counts more than its fields passes over the nameless rest.
template <class TPiece>
std::string RecordForm(const TLcRecord& record, TPiece&& piece)
{
    std::string form = "(";
    bool first = true;
    for (int32_t i = 0, count = record.Count(); i < count; ++i) {
        const std::string name = record.FieldName(i);
        if (name.empty() || record.isNull(name)) {
            continue;
        }
        if (!first) {
            form += "; ";
        }
        first = false;
        form += piece(name);
    }
    return form + ")";
}

}  // namespace

std::string TLcRecord::StringForm()
{
    return RecordForm(*this, [this](const std::string& name) { return name + "=" + GetString(name); });
}

std::string TLcRecord::TextForm()
{
    // Built in UTF-8, then read back into the system code page.
    return Utf8ToSystem(RecordForm(*this, [this](const std::string& name) {
        return SystemToUtf8(name) + "=" + SystemToUtf8(GetText(name));
    }));
}

// ---- TLcFunctionInfo ------------------------------------------------------------------------

TLcFunctionInfo::~TLcFunctionInfo()
{
    RunAtBoundary("ERROR", "TLcFunctionInfo.Destroy", [this] { TLcFunctionInfo::Clear(); }, LogHandledErrors);
}

void TLcFunctionInfo::Clear()
{
    TLcRecord::Clear();
    FFunctionName.clear();
}

void TLcFunctionInfo::CopyFrom(TLcValueObject& source)
{
    auto* call = dynamic_cast<TLcFunctionInfo*>(&source);
    if (call == nullptr) {
        lc_detail::FailCopy(source, *this);
    }
    TLcRecord::CopyFrom(source);
    FFunctionName = call->FFunctionName;
}

void TLcFunctionInfo::from_Code(const std::string& text, size_t& at)
{
    RefuseInUse(HasList(), "Can not merge Function Calls. TLcFunctionInfo is already in use.");
    TLcValueObject::from_Code(text, at);
}

void TLcFunctionInfo::from_XMLrpc(const std::string& text, size_t& at)
{
    RefuseInUse(HasList(), "Can not merge Record data. TLcRecord object is already in use.");
    TLcValueObject::from_XMLrpc(text, at);
}

std::unique_ptr<TLcValueObject> TLcFunctionInfo::copyOf() { return CopyOfSame(*this); }

// ---- TLcInfo --------------------------------------------------------------------------------

TLcInfo::TLcInfo() = default;

TLcInfo::~TLcInfo()
{
    RunAtBoundary("ERROR", "TLcRecord.Destroy", [this] { TLcInfo::Clear(); }, LogHandledErrors);
}

int32_t TLcInfo::Count() const { return TLcRecord::Count() + (FObjects ? FObjects->Count() : 0); }

void TLcInfo::Clear()
{
    TLcRecord::Clear();
    KillObjects();
}

void TLcInfo::KillObjects()
{
    if (!FObjects) {
        return;
    }
    while (!FObjects->IsEmpty()) {
        std::string name;
        TObject* object = nullptr;
        FObjects->FindMin(name, object);
        FObjects->Remove(name);
        if (auto* lcObject = dynamic_cast<TLcObject*>(object)) {
            try {
                lcObject->Kill();
            } catch (const Exception& e) {
                LogInfoError("TLcInfo.Clear Obj(" + name + ")", e);
            } catch (...) {
            }
        }
    }
    FObjects.reset();
}

void TLcInfo::AddObject(const std::string& name, std::unique_ptr<TLcObject> object)
{
    if (!object) {
        throw ELcInfo("TLcInfo.AddObject: no object given for \"" + name + "\".");
    }
    if (!FObjects) {
        FObjects = std::make_unique<tStringObjList>(kInfoObjectsBlockSize);
    }
    if (FObjects->Find(name) != nullptr) {
        throw ELcInfo("TLcInfo.AddObject: an object named \"" + name + "\" is listed already.");
    }
    FObjects->Insert(name, object.get());
    static_cast<void>(object.release());   // disposed of with Kill by KillObjects
}

TLcObject* TLcInfo::FindObject(const std::string& name) const
{
    return FObjects ? static_cast<TLcObject*>(FObjects->Find(name)) : nullptr;
}

// ---- TLcAbsArray ----------------------------------------------------------------------------

std::unique_ptr<TLcValueObject> TLcAbsArray::SetObject(int32_t index, std::unique_ptr<TLcValueObject> value)
{
    return SetObject(index, TLcStoreArg::Take(std::move(value)));
}

std::string TLcAbsArray::GetString(int32_t index) { return ReadString(GetObject(index), kItemPrefix, false); }
std::string TLcAbsArray::GetText(int32_t index) { return ReadString(GetObject(index), kItemPrefix, true); }

TLcRecord* TLcAbsArray::GetRecord(int32_t index)
{
    TLcValueObject* object = GetObject(index);
    if (object == nullptr) {
        return AutoCreate() ? NewRecord(index) : nullptr;
    }
    return ReadContainer<TLcRecord>(*object, kItemPrefix);
}

TLcValueType TLcAbsArray::GetType(int32_t index) const
{
    TLcValueObject* object = GetObject(index);
    return object != nullptr ? object->GetType() : vt_Null;
}

TLcRecord* TLcAbsArray::NewRecord(int32_t index)
{
    return StoreNew<TLcRecord>(
        AutoCreate(), [this, index](TLcStoreArg child) { SetObject(index, std::move(child)); },
        [index] { return "TLcAbsArray.NewRecord(" + std::to_string(index) + ")"; });
}

// ---- TLcArray -------------------------------------------------------------------------------

TLcArray::~TLcArray()
{
    RunAtBoundary("ERROR", "TLcArray.Destroy", [this] { TLcArray::Clear(); }, LogHandledErrors);
}

int32_t TLcArray::Count() const { return FItems ? static_cast<int32_t>(FItems->size()) : 0; }

void TLcArray::AppendItem(std::unique_ptr<TLcValueObject> value)
{
    if (!FItems) {
        FItems = std::make_unique<TItemList>();
    }
    FItems->push_back(std::move(value));
}

TLcValueObject* TLcArray::GetObject(int32_t index) const
{
    if (index < 0 || index >= Count()) {
        return nullptr;
    }
    return (*FItems)[index].get();
}

std::unique_ptr<TLcValueObject> TLcArray::SetObject(int32_t index, TLcStoreArg value)
{
    if (index < 0) {
        throw ELcInfo("TLcArray.SetObject: index lower than 0 (zero) not allowed.");
    }
    RefuseSelfStore(value, *this, "TLcArray");
    const auto at = static_cast<size_t>(index);
    if (!FItems || at >= FItems->size()) {
        if (value.Get() == nullptr) {
            return nullptr;
        }
        std::unique_ptr<TLcValueObject> object = value.Release();
        auto fresh = FItems ? nullptr : std::make_unique<TItemList>();
        TItemList& items = FItems ? *FItems : *fresh;
        items.resize(at + 1);
        items[at] = std::move(object);
        if (fresh) {
            FItems = std::move(fresh);
        }
        return nullptr;
    }
    std::unique_ptr<TLcValueObject>& item = (*FItems)[at];
    if (item.get() == value.Get()) {
        value.Disown();
        return nullptr;
    }
    if (value.Get() == nullptr) {
        std::unique_ptr<TLcValueObject> old = std::move(item);
        if (at + 1 == FItems->size()) {
            FItems->pop_back();   // the slots before it stay, empty or not
        }
        return value.AsCopy() ? nullptr : std::move(old);
    }
    return ReplaceInPlace(item, std::move(value), [index](const TLcValueObject& old) {
        const std::string number = std::to_string(index);
        return ELcInfo("Value of type " + std::string(old.ClassName()) + " allready assigned at index " + number +
                       ".\r\nSet [" + number + "]" + kSetToNull);
    });
}

void TLcArray::Clear() { FItems.reset(); }

void TLcArray::CopyFrom(TLcValueObject& source)
{
    auto* array = &CopySource<TLcArray>(source, *this, static_cast<bool>(FItems),
                                        "Can not merge Arrays. Data already assigned to this Array.");
    if (!array->FItems) {
        return;
    }
    auto fresh = std::make_unique<TItemList>();
    fresh->reserve(array->FItems->size());
    for (const auto& item : *array->FItems) {
        fresh->push_back(item ? item->copyOf() : nullptr);
    }
    FItems = std::move(fresh);
}

void TLcArray::from_Code(const std::string& text, size_t& at)
{
    RefuseInUse(static_cast<bool>(FItems), "Can not merge Arrays. TLcArray is already in use.");
    TLcValueObject::from_Code(text, at);
}

void TLcArray::from_XMLrpc(const std::string& text, size_t& at)
{
    RefuseInUse(static_cast<bool>(FItems), "Can not merge Array data. TLcArray object is already in use.");
    TLcValueObject::from_XMLrpc(text, at);
}

std::unique_ptr<TLcValueObject> TLcArray::copyOf() { return CopyOfSame(*this); }

std::string TLcArray::StringForm()
{
    std::string form;
    for (int32_t i = 0, count = Count(); i < count; ++i) {
        form += GetString(i);
    }
    return form;
}

std::string TLcArray::TextForm()
{
    std::string form;
    for (int32_t i = 0, count = Count(); i < count; ++i) {
        form += SystemToUtf8(GetText(i));
    }
    return Utf8ToSystem(form);
}
