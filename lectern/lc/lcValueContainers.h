// lcValueContainers: the value objects that own other value objects.
//
//   TLcAbsValue   -> TLcValue         a holder of one value object, or of none
//   TLcAbsRecord  -> TLcRecord        named fields in insertion order
//                    -> TLcFunctionInfo   a record with a function name (a remote call)
//                    -> TLcInfo           a record that also lists objects of its owner
//   TLcAbsArray   -> TLcArray         numbered slots from 0, any of them empty
//
// The three abstract bases hold the shared reading operations: each looks at one contained
// object (the holder's content, a field by name, a slot by index) and reads it as a Boolean,
// an integer, a string, a text, an array or a record. Null (no object) reads as False, 0, an
// empty string, or no container; with AutoCreate on, a missing array or record is made on the
// spot (NewArray / NewRecord, which pass the flag on to the child they make).
//
// Ownership. A container owns every value object in it and frees it when the object is
// replaced, cleared or when the container goes. What is stored is said with a TLcStoreArg:
// Take hands an object over, Copy stores a copy of an object that stays the caller's. Storing
// none with Copy frees the old object; storing none with Take forgets it, and SetObject gives
// it back to the caller. A container is never stored inside itself: handing over a container
// that is, or that holds, the target raises ELcInfo. A refused store frees an object that was
// handed over to it (the caller gave it away); a copied one stays the caller's. Pointers that GetObject, GetArray,
// GetRecord, NewArray and NewRecord answer are borrowed: they stay valid while the object
// stays in its container.
//
// Replacing. A simple value, or an empty slot, is replaced by whatever is stored; a holder in
// the place passes the store on to its own content; any other container must be set to none
// first ("... allready assigned ..."). Reading a text format and CopyFrom work only on an
// empty container, and what they build is taken over only when all of it was built.
//
// Nothing here locks: a container and everything in it are used by one thread at a time.
#pragma once

#include "lectern/lc/lcValues.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class tStringObjList;
class TLcArray;
class TLcRecord;

// When on, the failures of NewArray, NewRecord, CopyFrom and TLcInfo::Clear are logged with
// LogException under "INFO" before they pass on [false]; nothing in the system sets it.
extern std::atomic<bool> LogInfoErrors;

// What SetObject is asked to store: an object handed over (Take), or a copy of an object that
// stays the caller's (Copy). The value may be none (see the top of this file).
class TLcStoreArg {
public:
    static TLcStoreArg Take(std::unique_ptr<TLcValueObject> value);
    static TLcStoreArg Copy(TLcValueObject* value);
    static TLcStoreArg Free() { return Copy(nullptr); }
    static TLcStoreArg Forget() { return Take(nullptr); }

    TLcValueObject* Get() const { return FValue; }
    bool AsCopy() const { return FAsCopy; }
    // The object to store: a new copy of the value, or the value itself.
    std::unique_ptr<TLcValueObject> Release();
    // The value turned out to be the container's already: let go of it without freeing it.
    void Disown();

private:
    TLcStoreArg(TLcValueObject* value, std::unique_ptr<TLcValueObject> owned, bool asCopy);

    TLcValueObject* FValue;
    std::unique_ptr<TLcValueObject> FOwned;
    bool FAsCopy;
};

// ---- holder -------------------------------------------------------------------------------

class TLcAbsValue : public TLcValueObject {
public:
    bool AutoCreate() const { return FAutoCreate; }
    void SetAutoCreate(bool value) { FAutoCreate = value; }

    // Answers the old content when value is Forget() and there was content, else none.
    virtual std::unique_ptr<TLcValueObject> SetObject(TLcStoreArg value) = 0;
    virtual TLcValueObject* GetObject() const = 0;
    virtual void Clear() = 0;

    // Stores value itself (without copy).
    std::unique_ptr<TLcValueObject> SetObject(std::unique_ptr<TLcValueObject> value);

    bool isNull() const { return GetObject() == nullptr; }
    bool GetBoolean();
    int32_t GetInteger();
    std::string GetString();
    std::string GetText();
    TLcArray* GetArray();
    TLcRecord* GetRecord();
    TLcArray* NewArray();
    TLcRecord* NewRecord();

    CL_CLASS_NAME(TLcAbsValue)

private:
    bool FAutoCreate = false;
};

class TLcValue : public TLcAbsValue {
public:
    TLcValue() = default;
    ~TLcValue() override;
    TLcValue(const TLcValue&) = delete;
    TLcValue& operator=(const TLcValue&) = delete;

    using TLcAbsValue::SetObject;
    std::unique_ptr<TLcValueObject> SetObject(TLcStoreArg value) override;
    TLcValueObject* GetObject() const override { return FContent.get(); }
    void Clear() override;

    // The source is another holder; refused while this one has content.
    void CopyFrom(TLcValueObject& source) override;
    // Frees the holder: a simple value (or a holder) in it disposes of itself with its own
    // Extracted; any other content goes with the holder. Whoever wants to keep the content
    // takes it first with SetObject(TLcStoreArg::Forget()).
    void Extracted() override;
    TLcValueType GetType() const override;
    bool TypeCheck(TLcValueType type) const override;
    void from_Code(const std::string& text, size_t& at) override;
    void from_XMLrpc(const std::string& text, size_t& at) override;
    // A copy of the content (not a new holder); none when empty.
    std::unique_ptr<TLcValueObject> copyOf() override;
    void to_Code(TLcHugeString& builder) override;
    void to_XMLRPC(TLcHugeString& builder) override;

    CL_CLASS_NAME(TLcValue)

private:
    std::unique_ptr<TLcValueObject> FContent;
};

// ---- records ------------------------------------------------------------------------------

class TLcAbsRecord : public TLcValueObject {
public:
    bool AutoCreate() const { return FAutoCreate; }
    void SetAutoCreate(bool value) { FAutoCreate = value; }

    // The field's object (names compare case-insensitively for A-Z), none when absent.
    virtual TLcValueObject* GetObject(const std::string& name) const = 0;
    // Answers the old object when value is Forget() and the field held one, else none.
    virtual std::unique_ptr<TLcValueObject> SetObject(const std::string& name, TLcStoreArg value) = 0;
    virtual void Clear() = 0;

    // Stores value itself (without copy).
    std::unique_ptr<TLcValueObject> SetObject(const std::string& name, std::unique_ptr<TLcValueObject> value);

    using TLcValueObject::GetType;
    bool isNull(const std::string& name) const { return GetObject(name) == nullptr; }
    bool GetBoolean(const std::string& name);
    int32_t GetInteger(const std::string& name);
    std::string GetString(const std::string& name);
    std::string GetText(const std::string& name);
    TLcArray* GetArray(const std::string& name);
    TLcValueType GetType(const std::string& name) const;
    TLcArray* NewArray(const std::string& name);

    CL_CLASS_NAME(TLcAbsRecord)

private:
    bool FAutoCreate = false;
};

class TLcRecord : public TLcAbsRecord {
public:
    TLcRecord();
    ~TLcRecord() override;
    TLcRecord(const TLcRecord&) = delete;
    TLcRecord& operator=(const TLcRecord&) = delete;

    // Entries in the field list, those holding none included.
    virtual int32_t Count() const;
    // The name of entry index (from 0) as first stored; empty when out of range.
    std::string FieldName(int32_t index) const;
    // The object of entry index (borrowed); none when it holds none or is out of range.
    TLcValueObject* FieldObject(int32_t index) const;
    // For the text readers: a new name gets an entry at the end, also for none (as a field
    // set to none keeps its entry); a known name is stored as SetObject would.
    void AppendField(const std::string& name, std::unique_ptr<TLcValueObject> value);

    using TLcAbsRecord::GetType;
    using TLcAbsRecord::SetObject;
    TLcValueObject* GetObject(const std::string& name) const override;
    std::unique_ptr<TLcValueObject> SetObject(const std::string& name, TLcStoreArg value) override;
    void Clear() override;

    // The source is a record (of any record class); refused while this record has a list.
    void CopyFrom(TLcValueObject& source) override;
    TLcValueType GetType() const override { return vt_Record; }
    bool TypeCheck(TLcValueType type) const override { return type == vt_Record; }
    void from_Code(const std::string& text, size_t& at) override;
    void from_XMLrpc(const std::string& text, size_t& at) override;
    // Always a plain TLcRecord of the fields.
    std::unique_ptr<TLcValueObject> copyOf() override;

    // "(name=value; ...)" over the fields that hold an object; the text form reads GetText.
    std::string StringForm();
    std::string TextForm();

    CL_CLASS_NAME(TLcRecord)

protected:
    bool HasList() const { return FFields != nullptr; }

private:
    struct TFieldList;

    friend bool ValueHolds(const TLcValueObject& outer, const TLcValueObject& inner);

    std::unique_ptr<TFieldList> FFields;
};

class TLcFunctionInfo : public TLcRecord {
public:
    TLcFunctionInfo() = default;
    ~TLcFunctionInfo() override;

    const std::string& FunctionName() const { return FFunctionName; }
    void SetFunctionName(const std::string& name) { FFunctionName = name; }

    using TLcRecord::GetType;
    // Also empties FunctionName.
    void Clear() override;
    // The source is a function call: its fields, then its name.
    void CopyFrom(TLcValueObject& source) override;
    TLcValueType GetType() const override { return vt_FunctionCall; }
    bool TypeCheck(TLcValueType type) const override { return type == vt_FunctionCall; }
    void from_Code(const std::string& text, size_t& at) override;
    void from_XMLrpc(const std::string& text, size_t& at) override;
    std::unique_ptr<TLcValueObject> copyOf() override;

    CL_CLASS_NAME(TLcFunctionInfo)

private:
    std::string FFunctionName;
};

// The information record of a connection object or a job queue: fields as in any record, and
// a list of named objects that the info disposes of with Kill when it is cleared or freed.
class TLcInfo : public TLcRecord {
public:
    TLcInfo();
    ~TLcInfo() override;

    // Fields plus listed objects.
    int32_t Count() const override;
    // Clears the fields, then kills the listed objects in ascending (byte) order of their
    // names; a Kill that fails is passed over.
    void Clear() override;

    // Lists object under name; the info takes it over. Refused for none and for a name that
    // is listed already.
    void AddObject(const std::string& name, std::unique_ptr<TLcObject> object);
    // The object listed under name (it stays the info's), none when absent.
    TLcObject* FindObject(const std::string& name) const;

    CL_CLASS_NAME(TLcInfo)

private:
    void KillObjects();

    std::unique_ptr<tStringObjList> FObjects;
};

// ---- arrays -------------------------------------------------------------------------------

class TLcAbsArray : public TLcValueObject {
public:
    bool AutoCreate() const { return FAutoCreate; }
    void SetAutoCreate(bool value) { FAutoCreate = value; }

    // The slot's object, none for an empty slot or an index outside 0 .. Count - 1.
    virtual TLcValueObject* GetObject(int32_t index) const = 0;
    // Answers the old object when value is Forget() and the slot held one, else none.
    virtual std::unique_ptr<TLcValueObject> SetObject(int32_t index, TLcStoreArg value) = 0;
    virtual void Clear() = 0;

    // Stores value itself (without copy).
    std::unique_ptr<TLcValueObject> SetObject(int32_t index, std::unique_ptr<TLcValueObject> value);

    using TLcValueObject::GetType;
    std::string GetString(int32_t index);
    std::string GetText(int32_t index);
    TLcRecord* GetRecord(int32_t index);
    TLcValueType GetType(int32_t index) const;
    TLcRecord* NewRecord(int32_t index);

    CL_CLASS_NAME(TLcAbsArray)

private:
    bool FAutoCreate = false;
};

class TLcArray : public TLcAbsArray {
public:
    TLcArray() = default;
    ~TLcArray() override;
    TLcArray(const TLcArray&) = delete;
    TLcArray& operator=(const TLcArray&) = delete;

    // Slots, empty ones included.
    virtual int32_t Count() const;
    // For the text readers: a new last slot holding value, or empty for none.
    void AppendItem(std::unique_ptr<TLcValueObject> value);

    using TLcAbsArray::GetType;
    using TLcAbsArray::SetObject;
    TLcValueObject* GetObject(int32_t index) const override;
    std::unique_ptr<TLcValueObject> SetObject(int32_t index, TLcStoreArg value) override;
    void Clear() override;

    // The source is an array; refused while this array has a list.
    void CopyFrom(TLcValueObject& source) override;
    TLcValueType GetType() const override { return vt_Array; }
    bool TypeCheck(TLcValueType type) const override { return type == vt_Array; }
    void from_Code(const std::string& text, size_t& at) override;
    void from_XMLrpc(const std::string& text, size_t& at) override;
    std::unique_ptr<TLcValueObject> copyOf() override;

    // Every slot's GetString (GetText) joined without separator.
    std::string StringForm();
    std::string TextForm();

    CL_CLASS_NAME(TLcArray)

private:
    using TItemList = std::vector<std::unique_ptr<TLcValueObject>>;

    friend bool ValueHolds(const TLcValueObject& outer, const TLcValueObject& inner);

    std::unique_ptr<TItemList> FItems;
};

// True when inner is outer itself or lies anywhere inside it.
bool ValueHolds(const TLcValueObject& outer, const TLcValueObject& inner);
