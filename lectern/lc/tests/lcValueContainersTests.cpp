#include "lectern/lc/lcValueContainers.h"

#include "classlib/Platform.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/lcLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Obj = std::unique_ptr<TLcValueObject>;

Obj Int(int32_t value)
{
    auto v = std::make_unique<TLcIntegerValue>();
    v->SetInteger(value);
    return v;
}

Obj Str(const std::string& value)
{
    auto v = std::make_unique<TLcStringValue>();
    v->SetString(value);
    return v;
}

// A record of integer fields, in the order given.
std::unique_ptr<TLcRecord> Rec(const std::vector<std::pair<std::string, int>>& fields)
{
    auto r = std::make_unique<TLcRecord>();
    for (const auto& [name, value] : fields) {
        r->SetObject(name, Int(value));
    }
    return r;
}

// An array of strings; an empty string leaves its slot empty.
std::unique_ptr<TLcArray> Arr(const std::vector<std::string>& items)
{
    auto a = std::make_unique<TLcArray>();
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].empty()) {
            a->SetObject(static_cast<int32_t>(i), Str(items[i]));
        }
    }
    return a;
}

Obj Holding(Obj content)
{
    auto h = std::make_unique<TLcValue>();
    h->SetObject(std::move(content));
    return h;
}

// A value that cannot be copied or read.
class TBrokenValue : public TLcValueObject {
public:
    void CopyFrom(TLcValueObject&) override { throw ELcInfo("copy failed"); }
    TLcValueType GetType() const override { return vt_Variant; }
    bool TypeCheck(TLcValueType) const override { return false; }
    std::unique_ptr<TLcValueObject> copyOf() override { throw ELcInfo("copy failed"); }

    CL_CLASS_NAME(TBrokenValue)
};

// "-" for none, else the class and the string form.
std::string Describe(TLcValueObject* object)
{
    if (object == nullptr) {
        return "-";
    }
    std::string form;
    if (auto* simple = dynamic_cast<TLcSimpleValue*>(object)) {
        form = simple->GetString();
    } else if (auto* holder = dynamic_cast<TLcAbsValue*>(object)) {
        form = holder->GetString();
    } else if (auto* record = dynamic_cast<TLcRecord*>(object)) {
        form = record->StringForm();
    } else if (auto* array = dynamic_cast<TLcArray*>(object)) {
        form = array->StringForm();
    }
    return std::string(object->ClassName()) + ":" + form;
}

// Runs f and answers the message of the Exception it raised, or "" when it raised none.
template <class F>
std::string ErrorOf(F&& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return std::string(e.ClassName()) + ": " + e.Message();
    }
    return "";
}

// ---- storing: one table over the three kinds of place -------------------------------------

// The place the store table writes to: a holder's content, field "f" of a record, slot 0 of
// an array.
class TPlace {
public:
    virtual ~TPlace() = default;
    virtual Obj Set(TLcStoreArg value) = 0;
    virtual TLcValueObject* Get() = 0;
};

class THolderPlace : public TPlace {
public:
    Obj Set(TLcStoreArg value) override { return FHolder.SetObject(std::move(value)); }
    TLcValueObject* Get() override { return FHolder.GetObject(); }
    TLcValue FHolder;
};

class TFieldPlace : public TPlace {
public:
    Obj Set(TLcStoreArg value) override { return FRecord.SetObject("f", std::move(value)); }
    TLcValueObject* Get() override { return FRecord.GetObject("F"); }
    TLcRecord FRecord;
};

class TSlotPlace : public TPlace {
public:
    Obj Set(TLcStoreArg value) override { return FArray.SetObject(0, std::move(value)); }
    TLcValueObject* Get() override { return FArray.GetObject(0); }
    TLcArray FArray;
};

enum TOld { OldNone, OldInt, OldRecord };
enum TNew { NewNone, NewSame, NewString, NewArray };

TEST(ContainerStore, OldContentTimesNewValueTimesCopy)
{
    struct Case {
        TOld old;
        TNew value;
        bool copy;
        const char* content;    // afterwards
        const char* returned;   // the forgotten object given back
        const char* error;      // substring of the refusal, or empty
    };
    const char* const kRecord = "TLcRecord:(a=1)";
    const char* const kAssigned = "allready assigned";
    const Case cases[] = {
        {OldNone, NewNone, false, "-", "-", ""},
        {OldNone, NewNone, true, "-", "-", ""},
        {OldNone, NewString, false, "TLcStringValue:x", "-", ""},
        {OldNone, NewString, true, "TLcStringValue:x", "-", ""},
        {OldNone, NewArray, false, "TLcArray:y", "-", ""},
        {OldNone, NewArray, true, "TLcArray:y", "-", ""},
        {OldInt, NewNone, false, "-", "TLcIntegerValue:7", ""},
        {OldInt, NewNone, true, "-", "-", ""},
        {OldInt, NewSame, false, "TLcIntegerValue:7", "-", ""},
        {OldInt, NewSame, true, "TLcIntegerValue:7", "-", ""},
        {OldInt, NewString, false, "TLcStringValue:x", "-", ""},
        {OldInt, NewString, true, "TLcStringValue:x", "-", ""},
        {OldInt, NewArray, false, "TLcArray:y", "-", ""},
        {OldInt, NewArray, true, "TLcArray:y", "-", ""},
        {OldRecord, NewNone, false, "-", kRecord, ""},
        {OldRecord, NewNone, true, "-", "-", ""},
        {OldRecord, NewSame, false, kRecord, "-", ""},
        {OldRecord, NewSame, true, kRecord, "-", ""},
        {OldRecord, NewString, false, kRecord, "-", kAssigned},
        {OldRecord, NewString, true, kRecord, "-", kAssigned},
        {OldRecord, NewArray, false, kRecord, "-", kAssigned},
        {OldRecord, NewArray, true, kRecord, "-", kAssigned},
    };
    const std::vector<std::function<std::unique_ptr<TPlace>()>> places = {
        [] { return std::make_unique<THolderPlace>(); },
        [] { return std::make_unique<TFieldPlace>(); },
        [] { return std::make_unique<TSlotPlace>(); },
    };
    for (size_t p = 0; p < places.size(); ++p) {
        for (const Case& c : cases) {
            SCOPED_TRACE("place " + std::to_string(p) + ", old " + std::to_string(c.old) + ", new " +
                         std::to_string(c.value) + (c.copy ? ", copy" : ", take"));
            std::unique_ptr<TPlace> place = places[p]();
            if (c.old == OldInt) {
                place->Set(TLcStoreArg::Take(Int(7)));
            } else if (c.old == OldRecord) {
                place->Set(TLcStoreArg::Take(Rec({{"a", 1}})));
            }
            Obj value;   // the caller's object when copying
            TLcValueObject* given = nullptr;
            if (c.value == NewString) {
                value = Str("x");
            } else if (c.value == NewArray) {
                value = Arr({"y"});
            }
            given = c.value == NewSame ? place->Get() : value.get();

            Obj returned;
            const std::string error = ErrorOf([&] {
                returned = c.copy ? place->Set(TLcStoreArg::Copy(given))
                                  : place->Set(TLcStoreArg::Take(c.value == NewSame ? Obj(given) : std::move(value)));
            });

            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            EXPECT_EQ(error.empty(), *c.error == '\0') << error;
            EXPECT_EQ(Describe(place->Get()), c.content);
            EXPECT_EQ(Describe(returned.get()), c.returned);
            if (error.empty() && given != nullptr) {
                // A copy leaves the caller's object alone; without copy the object itself is kept.
                EXPECT_EQ(place->Get() == given, !c.copy || c.value == NewSame);
                if (c.copy) {
                    EXPECT_NE(Describe(given), "-");
                }
            }
        }
    }
}

TEST(ContainerStore, AHolderInAFieldOrSlotTakesTheStore)
{
    TLcRecord record;
    record.SetObject("h", Holding(Int(1)));
    TLcValueObject* holder = record.GetObject("h");
    record.SetObject("h", Str("x"));
    EXPECT_EQ(record.GetObject("h"), holder);
    EXPECT_EQ(Describe(holder), "TLcValue:x");

    TLcArray array;
    array.SetObject(0, Holding(Rec({{"a", 1}})));
    EXPECT_EQ(ErrorOf([&] { array.SetObject(0, Int(2)); }),
              "ELcInfo: Value of type TLcRecord allready assigned.\r\n"
              "Set to NULL before assigning a different object.");
    // Storing none takes the holder itself out of its place.
    Obj forgotten = array.SetObject(0, nullptr);
    EXPECT_EQ(Describe(forgotten.get()), "TLcValue:(a=1)");
    EXPECT_EQ(array.Count(), 0);
}

TEST(ContainerStore, RefusalsNameThePlace)
{
    struct Case {
        std::function<void()> store;
        const char* message;
    };
    TLcRecord record;
    record.SetObject("Sub", Rec({}));
    TLcArray array;
    array.SetObject(2, Arr({"z"}));
    TLcValue holder;
    holder.SetObject(Rec({}));
    const Case cases[] = {
        {[&] { record.SetObject("", nullptr); }, "TLcRecord.SetObject: Fields without a name not allowed."},
        {[&] { record.SetObject("", Int(1)); }, "TLcRecord.SetObject: Fields without a name not allowed."},
        {[&] { record.SetObject("sub", Int(1)); },
         "Value of type TLcRecord allready assigned to \"sub\".\r\n"
         "Set [sub] to NULL before assigning a different object."},
        {[&] { array.SetObject(2, Int(1)); },
         "Value of type TLcArray allready assigned at index 2.\r\n"
         "Set [2] to NULL before assigning a different object."},
        {[&] { array.SetObject(-1, Int(1)); }, "TLcArray.SetObject: index lower than 0 (zero) not allowed."},
        {[&] { array.SetObject(-1, nullptr); }, "TLcArray.SetObject: index lower than 0 (zero) not allowed."},
        {[&] { holder.SetObject(Arr({})); },
         "Value of type TLcRecord allready assigned.\r\nSet to NULL before assigning a different object."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorOf(c.store), std::string("ELcInfo: ") + c.message);
    }
    EXPECT_EQ(record.Count(), 1);
    EXPECT_EQ(array.Count(), 3);
    EXPECT_EQ(Describe(holder.GetObject()), "TLcRecord:()");
}

TEST(ContainerStore, AContainerIsNeverStoredInsideItself)
{
    // Each case hands a container over to itself or to something inside it; the refused
    // container is freed with everything in it (the sanitizer checks that nothing leaks and
    // that nothing freed is touched).
    const std::vector<std::function<void()>> cases = {
        [] {
            auto holder = std::make_unique<TLcValue>();
            TLcValue* raw = holder.get();
            raw->SetObject(std::move(holder));
        },
        [] {
            auto record = std::make_unique<TLcRecord>();
            TLcRecord* raw = record.get();
            raw->SetObject("me", std::move(record));
        },
        [] {
            auto array = std::make_unique<TLcArray>();
            TLcArray* raw = array.get();
            raw->SetObject(3, std::move(array));
        },
        [] {
            auto record = std::make_unique<TLcRecord>();
            TLcArray* child = record->NewArray("list");
            child->SetObject(0, std::move(record));
        },
        [] {
            auto array = std::make_unique<TLcArray>();
            array->SetObject(0, Holding(nullptr));
            auto* holder = dynamic_cast<TLcValue*>(array->GetObject(0));
            TLcRecord* grandchild = holder->NewRecord();
            grandchild->SetObject("up", std::move(array));
        },
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string error = ErrorOf(cases[i]);
        EXPECT_NE(error.find(".SetObject: a container can not be stored inside itself."), std::string::npos)
            << i << ": " << error;
    }

    // A copy of itself is a new, separate tree.
    TLcRecord record;
    record.SetObject("a", Int(1));
    record.SetObject("self", TLcStoreArg::Copy(&record));
    EXPECT_EQ(record.StringForm(), "(a=1; self=(a=1))");
}

// ---- reading ------------------------------------------------------------------------------

TEST(ContainerRead, ConversionsOfTheContainedObject)
{
    struct Case {
        const char* name;
        std::function<Obj()> make;
        const char* boolean;   // "T"/"F", or the failure after the prefix
        const char* integer;
        const char* string;
        const char* text;
    };
    const Case cases[] = {
        {"null", [] { return Obj(); }, "F", "0", "", ""},
        {"integer", [] { return Int(5); }, "T", "5", "5", "5"},
        {"no", [] { return Str("no"); }, "F", "!", "no", "no"},
        {"nested holders", [] { return Holding(Holding(Int(3))); }, "T", "3", "3", "3"},
        {"record", [] { return Obj(Rec({{"a", 1}, {"b", 2}})); }, "!TLcRecord to Boolean.",
         "!TLcRecord to Integer.", "(a=1; b=2)", "(a=1; b=2)"},
        {"array", [] { return Obj(Arr({"a", "", "b"})); }, "!TLcArray to Boolean.", "!TLcArray to Integer.",
         "ab", "ab"},
        {"call", [] { return Obj(std::make_unique<TLcFunctionInfo>()); }, "!TLcFunctionInfo to Boolean.",
         "!TLcFunctionInfo to Integer.", "()", "()"},
        {"other", [] { return Obj(std::make_unique<TBrokenValue>()); }, "!TBrokenValue to Boolean.",
         "!TBrokenValue to Integer.", "!TBrokenValue to AnsiString.", "!TBrokenValue to Text."},
    };
    // Each host reads the object with its own failure prefix.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TLcValue holder;
        holder.SetObject(c.make());
        TLcRecord record;
        record.SetObject("v", c.make());
        TLcArray array;
        array.SetObject(1, c.make());

        const auto expect = [](const char* expected, const char* prefix, const std::function<std::string()>& read) {
            std::string got;
            const std::string error = ErrorOf([&] { got = read(); });
            if (*expected != '!') {
                EXPECT_EQ(got, expected);
                EXPECT_EQ(error, "");
            } else if (expected[1] != '\0') {
                EXPECT_EQ(error, std::string("EConvertError: ") + prefix + (expected + 1));
            } else {
                EXPECT_NE(error, "");   // the text does not parse
            }
        };
        const char* unable = "Unable to convert ";
        const char* cannot = "Can not convert ";
        expect(c.boolean, unable, [&] { return std::string(holder.GetBoolean() ? "T" : "F"); });
        expect(c.boolean, cannot, [&] { return std::string(record.GetBoolean("V") ? "T" : "F"); });
        expect(c.integer, unable, [&] { return std::to_string(holder.GetInteger()); });
        expect(c.integer, cannot, [&] { return std::to_string(record.GetInteger("v")); });
        expect(c.string, unable, [&] { return holder.GetString(); });
        expect(c.string, cannot, [&] { return record.GetString("v"); });
        expect(c.string, cannot, [&] { return array.GetString(1); });
        expect(c.text, unable, [&] { return holder.GetText(); });
        expect(c.text, cannot, [&] { return record.GetText("v"); });
        expect(c.text, cannot, [&] { return array.GetText(1); });
    }
}

TEST(ContainerRead, TypesOfHeldAndMissingObjects)
{
    TLcValue holder;
    EXPECT_EQ(holder.GetType(), vt_Null);
    EXPECT_TRUE(holder.TypeCheck(vt_Null));
    EXPECT_FALSE(holder.TypeCheck(vt_Integer));
    EXPECT_TRUE(holder.isNull());
    holder.SetObject(Int(1));
    EXPECT_EQ(holder.GetType(), vt_Integer);
    EXPECT_TRUE(holder.TypeCheck(vt_LargeInt));
    EXPECT_FALSE(holder.TypeCheck(vt_Null));

    TLcRecord record;
    record.SetObject("a", Arr({"x"}));
    EXPECT_EQ(record.GetType("A"), vt_Array);
    EXPECT_EQ(record.GetType("b"), vt_Null);
    EXPECT_TRUE(record.isNull("b"));
    EXPECT_EQ(record.GetType(), vt_Record);

    TLcArray array;
    array.SetObject(1, Rec({}));
    EXPECT_EQ(array.GetType(1), vt_Record);
    EXPECT_EQ(array.GetType(0), vt_Null);
    EXPECT_EQ(array.GetType(-1), vt_Null);
    EXPECT_EQ(array.GetObject(2), nullptr);
    EXPECT_EQ(array.GetType(), vt_Array);

    TLcInfo info;
    TLcFunctionInfo call;
    EXPECT_EQ(info.GetType(), vt_Record);
    EXPECT_EQ(call.GetType(), vt_FunctionCall);
    EXPECT_TRUE(call.TypeCheck(vt_FunctionCall));
    EXPECT_FALSE(call.TypeCheck(vt_Record));
}

TEST(ContainerRead, ContainersFromTypesAndSimpleness)
{
    const struct {
        TLcValueType type;
        const char* className;
    } cases[] = {
        {vt_FunctionCall, "TLcFunctionInfo"},
        {vt_Array, "TLcArray"},
        {vt_Record, "TLcRecord"},
        {vt_Variant, "TLcValue"},
    };
    for (const auto& c : cases) {
        Obj object = ObjectFromType(c.type);
        ASSERT_NE(object, nullptr) << c.className;
        EXPECT_STREQ(object->ClassName(), c.className);
        EXPECT_FALSE(object->TypeCheck(vt_String)) << c.className;
    }
    // A holder is as simple as what it holds.
    EXPECT_TRUE(IsSimpleValue(Holding(nullptr).get()));
    EXPECT_TRUE(IsSimpleValue(Holding(Int(1)).get()));
    EXPECT_FALSE(IsSimpleValue(Holding(Obj(Rec({}))).get()));
    EXPECT_FALSE(IsSimpleValue(Rec({}).get()));
}

TEST(ContainerRead, ArraysAndRecordsOnDemandWithAutoCreate)
{
    // Off: a missing container reads as none and nothing is made.
    TLcValue holder;
    TLcRecord record;
    TLcArray array;
    EXPECT_EQ(holder.GetArray(), nullptr);
    EXPECT_EQ(holder.GetRecord(), nullptr);
    EXPECT_EQ(record.GetArray("list"), nullptr);
    EXPECT_EQ(array.GetRecord(2), nullptr);
    EXPECT_TRUE(holder.isNull());
    EXPECT_EQ(record.Count(), 0);
    EXPECT_EQ(array.Count(), 0);

    // On: each level makes the next and hands the flag down.
    TLcRecord root;
    root.SetAutoCreate(true);
    TLcArray* list = root.GetArray("list");
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->AutoCreate());
    TLcRecord* third = list->GetRecord(2);
    ASSERT_NE(third, nullptr);
    EXPECT_TRUE(third->AutoCreate());
    EXPECT_EQ(list->Count(), 3);
    ASSERT_NE(third->GetArray("deep"), nullptr);
    EXPECT_EQ(root.GetArray("LIST"), list);
    EXPECT_EQ(list->GetRecord(2), third);
    EXPECT_EQ(root.StringForm(), "(list=(deep=))");

    TLcValue autoHolder;
    autoHolder.SetAutoCreate(true);
    TLcRecord* made = autoHolder.GetRecord();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(autoHolder.GetObject(), made);
    EXPECT_TRUE(made->AutoCreate());
    EXPECT_EQ(ErrorOf([&] { autoHolder.GetArray(); }), "EConvertError: Unable to convert TLcRecord to TLcArray.");

    // A container behind a holder is found; a simple value is not a container.
    TLcRecord mixed;
    mixed.SetObject("h", Holding(Arr({"q"})));
    mixed.SetObject("i", Int(1));
    ASSERT_NE(mixed.GetArray("h"), nullptr);
    EXPECT_EQ(mixed.GetArray("h")->StringForm(), "q");
    EXPECT_EQ(ErrorOf([&] { mixed.GetArray("i"); }), "EConvertError: Can not convert TLcIntegerValue to TLcArray.");
    TLcArray numbers;
    numbers.SetObject(0, Int(1));
    EXPECT_EQ(ErrorOf([&] { numbers.GetRecord(0); }), "EConvertError: Can not convert TLcIntegerValue to TLcRecord.");
}

TEST(ContainerRead, NewContainersThatCannotBeStoredAreFreed)
{
    TLcRecord record;
    record.SetObject("a", Rec({}));
    EXPECT_NE(ErrorOf([&] { record.NewArray("a"); }).find("allready assigned to \"a\""), std::string::npos);
    EXPECT_NE(ErrorOf([&] { record.NewArray(""); }).find("Fields without a name"), std::string::npos);
    TLcArray array;
    EXPECT_NE(ErrorOf([&] { array.NewRecord(-2); }).find("index lower than 0"), std::string::npos);
    EXPECT_EQ(array.Count(), 0);
    TLcValue holder;
    holder.SetObject(Arr({}));
    EXPECT_NE(ErrorOf([&] { holder.NewRecord(); }).find("allready assigned"), std::string::npos);
    EXPECT_EQ(holder.GetType(), vt_Array);
}

// ---- records and arrays -------------------------------------------------------------------

TEST(Record, NamesIgnoreAsciiCaseAndEmptiedEntriesStay)
{
    TLcRecord record;
    record.SetObject("Abc", Int(1));
    record.SetObject("ABC", Int(2));
    record.SetObject("b", Str("x"));
    EXPECT_EQ(record.Count(), 2);
    EXPECT_EQ(record.FieldName(0), "Abc");
    EXPECT_EQ(record.GetInteger("abc"), 2);
    EXPECT_EQ(record.StringForm(), "(Abc=2; b=x)");
    // Only A-Z fold: these are three different names.
    record.SetObject("\xe9", Int(3));
    record.SetObject("\xc9", Int(4));
    EXPECT_EQ(record.Count(), 4);

    record.SetObject("abc", TLcStoreArg::Free());
    EXPECT_EQ(record.Count(), 4);
    EXPECT_EQ(record.FieldName(0), "Abc");
    EXPECT_TRUE(record.isNull("Abc"));
    EXPECT_EQ(record.StringForm(), "(b=x; \xe9=3; \xc9=4)");
    for (int32_t outside : {-1, 4, 1000}) {
        EXPECT_EQ(record.FieldName(outside), "");
    }
    EXPECT_EQ(TLcRecord().StringForm(), "()");
    EXPECT_EQ(TLcRecord().FieldName(0), "");
}

TEST(Record, TextFormKeepsTheCodePage)
{
    TLcRecord record;
    auto text = std::make_unique<TLcTextValue>();
    text->SetText("caf\xe9");
    record.SetObject("n\xe4me", std::move(text));
    record.SetObject("list", Arr({"\xfc", "", "b"}));
    EXPECT_EQ(record.TextForm(), "(n\xe4me=caf\xe9; list=\xfc" "b)");
    EXPECT_EQ(record.GetText("list"), "\xfc" "b");
    TLcValue holder;
    holder.SetObject(TLcStoreArg::Copy(&record));
    EXPECT_EQ(holder.GetText(), record.TextForm());
}

TEST(Array, SlotsGrowAndTheLastEmptiedOneGoes)
{
    TLcArray array;
    array.SetObject(5, Str("x"));
    EXPECT_EQ(array.Count(), 6);
    for (int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(array.GetObject(i), nullptr);
    }
    array.SetObject(7, nullptr);   // storing none beyond the end makes nothing
    EXPECT_EQ(array.Count(), 6);
    array.SetObject(2, Str("a"));
    array.SetObject(5, TLcStoreArg::Free());
    EXPECT_EQ(array.Count(), 5);
    Obj forgotten = array.SetObject(2, nullptr);
    EXPECT_EQ(Describe(forgotten.get()), "TLcStringValue:a");
    EXPECT_EQ(array.Count(), 5);
    EXPECT_EQ(array.StringForm(), "");

    // Emptied down to no slots, the list is still there: the array counts as in use.
    TLcArray one;
    one.SetObject(0, Int(1));
    one.SetObject(0, TLcStoreArg::Free());
    EXPECT_EQ(one.Count(), 0);
    EXPECT_NE(ErrorOf([&] { one.CopyFrom(*Arr({"a"})); }), "");
}

// ---- copies -------------------------------------------------------------------------------

TEST(ContainerCopy, CopyFromChecksClassAndEmptiness)
{
    struct Case {
        const char* name;
        std::function<Obj()> target;
        std::function<Obj()> source;
        const char* result;   // Describe of the target afterwards, or the failure
    };
    const auto withNone = [] {
        auto r = Rec({{"a", 1}});
        r->SetObject("b", Int(2));
        r->SetObject("b", TLcStoreArg::Free());
        return Obj(std::move(r));
    };
    const auto info = [] {
        auto i = std::make_unique<TLcInfo>();
        i->SetObject("a", Int(1));
        return Obj(std::move(i));
    };
    const Case cases[] = {
        {"record", [] { return Obj(Rec({})); }, withNone, "TLcRecord:(a=1)"},
        {"filled record", [] { return Obj(Rec({{"z", 0}})); }, withNone,
         "ELcInfo: Can not merge objects. This Record already has data."},
        {"emptied record", withNone, [] { return Obj(Rec({{"c", 3}})); },
         "ELcInfo: Can not merge objects. This Record already has data."},
        {"record from array", [] { return Obj(Rec({})); }, [] { return Obj(Arr({})); },
         "ELcInfo: Can not copy TLcArray to TLcRecord."},
        {"record from info", [] { return Obj(Rec({})); }, info, "TLcRecord:(a=1)"},
        {"array", [] { return Obj(Arr({})); }, [] { return Obj(Arr({"x", "", "y"})); }, "TLcArray:xy"},
        {"filled array", [] { return Obj(Arr({"q"})); }, [] { return Obj(Arr({"x"})); },
         "ELcInfo: Can not merge Arrays. Data already assigned to this Array."},
        {"array from record", [] { return Obj(Arr({})); }, [] { return Obj(Rec({})); },
         "ELcInfo: Can not copy TLcRecord to TLcArray."},
        {"holder", [] { return Holding(nullptr); }, [] { return Holding(Int(3)); }, "TLcValue:3"},
        {"filled holder", [] { return Holding(Int(1)); }, [] { return Holding(Int(3)); },
         "ELcInfo: Can not merge objects. This Value Object already has data."},
        {"holder from record", [] { return Holding(nullptr); }, [] { return Obj(Rec({})); },
         "ELcInfo: Can not copy TLcRecord to TLcValue."},
        {"call from record", [] { return Obj(std::make_unique<TLcFunctionInfo>()); }, [] { return Obj(Rec({})); },
         "ELcInfo: Can not copy TLcRecord to TLcFunctionInfo."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Obj target = c.target();
        Obj source = c.source();
        const std::string before = Describe(source.get());
        const std::string targetBefore = Describe(target.get());
        const std::string error = ErrorOf([&] { target->CopyFrom(*source); });
        if (error.empty()) {
            EXPECT_EQ(Describe(target.get()), c.result);
        } else {
            EXPECT_EQ(error, c.result);
            EXPECT_EQ(Describe(target.get()), targetBefore);
        }
        EXPECT_EQ(Describe(source.get()), before);
    }

    // A record copy keeps the entries that hold none.
    TLcRecord copy;
    copy.CopyFrom(*withNone());
    EXPECT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.FieldName(1), "b");
}

TEST(ContainerCopy, AFailedCopyLeavesTheTargetEmpty)
{
    TLcRecord source;
    source.SetObject("a", Rec({{"x", 1}}));
    source.SetObject("broken", std::make_unique<TBrokenValue>());
    TLcRecord target;
    EXPECT_EQ(ErrorOf([&] { target.CopyFrom(source); }), "ELcInfo: copy failed");
    EXPECT_EQ(target.Count(), 0);
    target.CopyFrom(*Rec({{"b", 2}}));   // still empty, so it may be filled
    EXPECT_EQ(target.StringForm(), "(b=2)");

    TLcArray array;
    array.SetObject(1, std::make_unique<TBrokenValue>());
    TLcArray arrayTarget;
    EXPECT_EQ(ErrorOf([&] { arrayTarget.CopyFrom(array); }), "ELcInfo: copy failed");
    EXPECT_EQ(ErrorOf([&] { array.copyOf(); }), "ELcInfo: copy failed");
    EXPECT_EQ(arrayTarget.Count(), 0);
}

TEST(ContainerCopy, CopyOfIsDeepAndOfTheRightClass)
{
    TLcValue holder;
    EXPECT_EQ(holder.copyOf(), nullptr);
    holder.SetObject(Int(7));
    Obj content = holder.copyOf();
    EXPECT_EQ(Describe(content.get()), "TLcIntegerValue:7");
    EXPECT_NE(content.get(), holder.GetObject());

    TLcRecord record;
    record.SetObject("list", Arr({"a"}));
    Obj copy = record.copyOf();
    auto* recordCopy = dynamic_cast<TLcRecord*>(copy.get());
    ASSERT_NE(recordCopy, nullptr);
    recordCopy->GetArray("list")->SetObject(1, Str("b"));
    EXPECT_EQ(record.StringForm(), "(list=a)");
    EXPECT_EQ(recordCopy->StringForm(), "(list=ab)");

    TLcInfo info;
    info.SetObject("a", Int(1));
    Obj infoCopy = info.copyOf();
    EXPECT_STREQ(infoCopy->ClassName(), "TLcRecord");
    EXPECT_EQ(Describe(infoCopy.get()), "TLcRecord:(a=1)");
}

// ---- text formats -------------------------------------------------------------------------

TEST(ContainerFormats, ReadingIsRefusedWhileInUse)
{
    struct Case {
        std::function<Obj()> make;
        const char* code;
        const char* xmlrpc;
    };
    const Case cases[] = {
        {[] { return Holding(Int(1)); }, "Can not merge data. TLcValue object is already in use.",
         "Can not merge data. TLcValue object is already in use."},
        {[] { return Obj(Rec({{"a", 1}})); }, "Can not merge Record data. TLcRecord object is already in use.",
         "Can not merge Record data. TLcRecord object is already in use."},
        {[] {
             auto r = Rec({{"a", 1}});
             r->SetObject("a", TLcStoreArg::Free());   // no fields left with values, but a list
             return Obj(std::move(r));
         },
         "Can not merge Record data. TLcRecord object is already in use.",
         "Can not merge Record data. TLcRecord object is already in use."},
        {[] { return Obj(Arr({"x"})); }, "Can not merge Arrays. TLcArray is already in use.",
         "Can not merge Array data. TLcArray object is already in use."},
        {[] {
             auto call = std::make_unique<TLcFunctionInfo>();
             call->SetObject("p", Int(1));
             return Obj(std::move(call));
         },
         "Can not merge Function Calls. TLcFunctionInfo is already in use.",
         "Can not merge Record data. TLcRecord object is already in use."},
    };
    for (const Case& c : cases) {
        Obj object = c.make();
        const std::string before = Describe(object.get());
        size_t at = 0;
        EXPECT_EQ(ErrorOf([&] { object->from_Code("I=5;", at); }), std::string("ELcInfo: ") + c.code);
        EXPECT_EQ(ErrorOf([&] { object->from_XMLrpc("<value><i4>5</i4></value>", at); }),
                  std::string("ELcInfo: ") + c.xmlrpc);
        EXPECT_EQ(at, 0u);
        EXPECT_EQ(Describe(object.get()), before);
    }
}

TEST(ContainerFormats, AnEmptyHolderWritesTheNullItem)
{
    TLcValue holder;
    TLcHugeString code;
    holder.to_Code(code);
    EXPECT_EQ(code.GetText(), "X=;");
    TLcHugeString xml;
    holder.to_XMLRPC(xml);
    EXPECT_EQ(xml.GetText(), "<value><nil/></value>");
}

// ---- holder, function call, connection info -----------------------------------------------

TEST(Holder, ExtractedFreesTheHolderAndWhatIsLeftInIt)
{
    // Run under the sanitizer: nothing leaks, nothing is freed twice.
    (new TLcValue)->Extracted();
    auto* simple = new TLcValue;
    simple->SetObject(Int(1));
    simple->Extracted();
    auto* nested = new TLcValue;
    nested->SetObject(Holding(Str("s")));
    nested->Extracted();
    auto* container = new TLcValue;
    container->SetObject(Rec({{"a", 1}}));
    container->Extracted();

    // Whoever wants the content takes it first.
    auto* keep = new TLcValue;
    keep->SetObject(Arr({"x"}));
    Obj taken = keep->SetObject(TLcStoreArg::Forget());
    keep->Extracted();
    EXPECT_EQ(Describe(taken.get()), "TLcArray:x");
}

TEST(FunctionInfo, NameTravelsWithTheFields)
{
    TLcFunctionInfo call;
    call.SetFunctionName("Sum");
    call.SetObject("a", Int(1));
    Obj copy = call.copyOf();
    auto* callCopy = dynamic_cast<TLcFunctionInfo*>(copy.get());
    ASSERT_NE(callCopy, nullptr);
    EXPECT_EQ(callCopy->FunctionName(), "Sum");
    EXPECT_EQ(callCopy->StringForm(), "(a=1)");

    TLcFunctionInfo other;
    other.SetFunctionName("Keep");
    other.SetObject("b", Int(2));
    EXPECT_EQ(ErrorOf([&] { other.CopyFrom(call); }), "ELcInfo: Can not merge objects. This Record already has data.");
    EXPECT_EQ(other.FunctionName(), "Keep");

    call.Clear();
    EXPECT_EQ(call.FunctionName(), "");
    EXPECT_EQ(call.Count(), 0);
    other.Clear();
    other.CopyFrom(*callCopy);
    EXPECT_EQ(other.FunctionName(), "Sum");
}

// Records its name when killed, then frees itself; some fail after that.
class TKillLog : public TLcObject {
public:
    TKillLog(std::vector<std::string>& log, std::string name, bool fails)
        : FLog(log), FName(std::move(name)), FFails(fails)
    {
    }
    void Kill() override
    {
        FLog.push_back(FName);
        const bool fails = FFails;
        delete this;
        if (fails) {
            throw ELcInfo("kill failed");
        }
    }

private:
    std::vector<std::string>& FLog;
    std::string FName;
    bool FFails;
};

TEST(Info, CountsFieldsAndObjectsAndKillsObjectsInNameOrder)
{
    std::vector<std::string> killed;
    TLcInfo info;
    EXPECT_EQ(info.Count(), 0);
    info.SetObject("x", Int(1));
    info.SetObject("y", Str("z"));
    for (const char* name : {"b", "a", "C"}) {
        info.AddObject(name, std::make_unique<TKillLog>(killed, name, std::string(name) == "a"));
    }
    EXPECT_EQ(info.Count(), 5);
    EXPECT_NE(info.FindObject("b"), nullptr);
    EXPECT_EQ(info.FindObject("B"), nullptr);
    EXPECT_EQ(info.StringForm(), "(x=1; y=z)");
    EXPECT_EQ(ErrorOf([&] { info.AddObject("b", std::make_unique<TKillLog>(killed, "dup", false)); }),
              "ELcInfo: TLcInfo.AddObject: an object named \"b\" is listed already.");
    EXPECT_EQ(ErrorOf([&] { info.AddObject("n", nullptr); }), "ELcInfo: TLcInfo.AddObject: no object given for \"n\".");
    EXPECT_TRUE(killed.empty());   // the refused object was freed, not killed

    info.Clear();   // "a" fails: passed over, the others still go
    EXPECT_EQ(killed, (std::vector<std::string>{"C", "a", "b"}));
    EXPECT_EQ(info.Count(), 0);
    EXPECT_EQ(info.FindObject("b"), nullptr);

    killed.clear();
    {
        TLcInfo owner;
        owner.AddObject("job", std::make_unique<TKillLog>(killed, "job", true));
    }
    EXPECT_EQ(killed, std::vector<std::string>{"job"});
}

// ---- the failure log -----------------------------------------------------------------------

class FailureLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        FRoot = TempFolder() + "lcvalues_" + std::to_string(MyThreadId()) + std::string(1, plat::PathDelim());
        std::filesystem::remove_all(FRoot);
        std::filesystem::create_directories(FRoot);
        InitializeLcLog();
        SetLogExeFileName(FRoot + "app.exe");
        SetLogTimeFormat("");
        LogEnabled = true;
    }

    void TearDown() override
    {
        LogInfoErrors = false;
        FinalizeLcLog();
        SetLogExeFileName("");
        std::filesystem::remove_all(FRoot);
    }

    std::string InfoLog() const
    {
        std::ifstream in(FRoot + "LOG" + std::string(1, plat::PathDelim()) + "app.exe.INFO.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Runs every failing operation once; each must fail whatever the switch says.
    static void FailEverything()
    {
        TLcRecord source;
        source.SetObject("a", Int(1));
        source.SetObject("b", std::make_unique<TBrokenValue>());
        TLcRecord target;
        EXPECT_NE(ErrorOf([&] { target.CopyFrom(source); }), "");
        source.SetObject("r", Rec({}));
        EXPECT_NE(ErrorOf([&] { source.NewArray("r"); }), "");
        TLcArray array;
        array.SetObject(4, Rec({}));
        EXPECT_NE(ErrorOf([&] { array.NewRecord(4); }), "");
        TLcValue holder;
        holder.SetObject(Rec({}));
        EXPECT_NE(ErrorOf([&] { holder.NewArray(); }), "");
        EXPECT_NE(ErrorOf([&] { holder.NewRecord(); }), "");
        std::vector<std::string> killed;
        TLcInfo info;
        info.AddObject("job", std::make_unique<TKillLog>(killed, "job", true));
        info.Clear();
    }

    std::string FRoot;
};

TEST_F(FailureLog, LogsOnlyWhenSwitchedOn)
{
    FailEverything();
    EXPECT_EQ(InfoLog(), "");

    LogInfoErrors = true;
    FailEverything();
    const std::string assigned = "Exception! ELcInfo: Value of type TLcRecord allready assigned";
    const std::vector<std::string> lines = {
        "TLcRecord.CopyFrom (1/2) Exception! ELcInfo: copy failed\r\n",
        "TLcRecord.CopyFrom Exception! ELcInfo: copy failed\r\n",
        "TLcAbsRecord.NewArray(r) " + assigned + " to \"r\".",
        "TLcAbsArray.NewRecord(4) " + assigned + " at index 4.",
        "TLcAbsValue.NewArray " + assigned + ".",
        "TLcAbsValue.NewRecord " + assigned + ".",
        "TLcInfo.Clear Obj(job) Exception! ELcInfo: kill failed\r\n",
    };
    const std::string log = InfoLog();
    size_t from = 0;
    for (const std::string& line : lines) {
        const size_t at = log.find(line, from);
        EXPECT_NE(at, std::string::npos) << line << "\n---\n" << log;
        from = at == std::string::npos ? from : at + line.size();
    }
}

}  // namespace
