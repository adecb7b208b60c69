// Random sequences of container operations on one tree of records, arrays and holders:
// storing with and without copy, forgetting, freeing, moving a container to another place
// (also into itself or below itself, which must be refused), copying, clearing and reading.
// Every operation either works or raises ELcInfo / EConvertError; the sanitizers catch any
// leak, double free or use of a freed object.
#include "lectern/lc/lcValueContainers.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

// Keeps copies from growing the tree without bound.
constexpr size_t kMaxNodes = 400;
constexpr int kKeys = 6;

// A container in the tree and where it lies: its parent and its key there (none for the root).
struct TPlace {
    TLcValueObject* Object;
    TLcValueObject* Parent;
    int Key;
};

std::string FieldNameOf(int key, bool upper) { return std::string(upper ? "K" : "k") + std::to_string(key); }

bool IsContainer(const TLcValueObject* o)
{
    return dynamic_cast<const TLcRecord*>(o) != nullptr || dynamic_cast<const TLcArray*>(o) != nullptr ||
           dynamic_cast<const TLcValue*>(o) != nullptr;
}

// Every container below root, root first; counts every object into nodes.
std::vector<TPlace> Walk(TLcValueObject& root, size_t& nodes)
{
    std::vector<TPlace> places{{&root, nullptr, 0}};
    nodes = 0;
    for (size_t i = 0; i < places.size(); ++i) {
        TLcValueObject* o = places[i].Object;
        const auto visit = [&](TLcValueObject* child, int key) {
            if (child != nullptr) {
                ++nodes;
                if (IsContainer(child)) {
                    places.push_back({child, o, key});
                }
            }
        };
        if (auto* record = dynamic_cast<TLcRecord*>(o)) {
            for (int key = 0; key < kKeys; ++key) {
                visit(record->GetObject(FieldNameOf(key, false)), key);
            }
        } else if (auto* array = dynamic_cast<TLcArray*>(o)) {
            for (int key = 0; key < array->Count(); ++key) {
                visit(array->GetObject(key), key);
            }
        } else if (auto* holder = dynamic_cast<TLcValue*>(o)) {
            visit(holder->GetObject(), 0);
        }
    }
    return places;
}

std::unique_ptr<TLcValueObject> Store(TLcValueObject& c, int key, bool upper, TLcStoreArg value)
{
    if (auto* record = dynamic_cast<TLcRecord*>(&c)) {
        return record->SetObject(FieldNameOf(key, upper), std::move(value));
    }
    if (auto* array = dynamic_cast<TLcArray*>(&c)) {
        return array->SetObject(key, std::move(value));
    }
    return dynamic_cast<TLcValue&>(c).SetObject(std::move(value));
}

std::unique_ptr<TLcValueObject> NewObject(uint8_t kind)
{
    switch (kind % 5) {
    case 0: {
        auto v = std::make_unique<TLcIntegerValue>();
        v->SetInteger(kind);
        return v;
    }
    case 1: {
        auto v = std::make_unique<TLcStringValue>();
        v->SetString(std::string(1, static_cast<char>('a' + kind % 26)));
        return v;
    }
    case 2: return std::make_unique<TLcRecord>();
    case 3: return std::make_unique<TLcArray>();
    default: return std::make_unique<TLcValue>();
    }
}

void Step(TLcRecord& root, uint8_t op, uint8_t a, uint8_t b)
{
    size_t nodes = 0;
    const std::vector<TPlace> places = Walk(root, nodes);
    const TPlace& target = places[a % places.size()];
    const TPlace& other = places[b % places.size()];
    const int key = b % kKeys;
    const bool upper = (a & 0x80) != 0;
    TLcValueObject& c = *target.Object;
    switch (op % 9) {
    case 0: Store(c, key, upper, TLcStoreArg::Take(NewObject(b))); break;
    case 1: Store(c, key, upper, TLcStoreArg::Forget()); break;   // what comes back is freed here
    case 2: Store(c, key, upper, TLcStoreArg::Free()); break;
    case 3:
        if (nodes < kMaxNodes) {
            Store(c, key, upper, TLcStoreArg::Copy(other.Object));
        }
        break;
    case 4:
        // Moves other out of its place and hands it to the target (perhaps itself or a child).
        if (other.Parent != nullptr) {
            std::unique_ptr<TLcValueObject> moved = Store(*other.Parent, other.Key, false, TLcStoreArg::Forget());
            if (moved) {
                Store(c, key, upper, TLcStoreArg::Take(std::move(moved)));
            }
        }
        break;
    case 5:
        if (nodes < kMaxNodes) {
            std::unique_ptr<TLcValueObject> copy = other.Object->copyOf();
            if (copy && target.Object != &root) {
                c.CopyFrom(*copy);
            }
        }
        break;
    case 6:
        if (auto* record = dynamic_cast<TLcRecord*>(&c)) {
            record->SetAutoCreate(true);
            record->GetArray(FieldNameOf(key, upper));
        } else if (auto* array = dynamic_cast<TLcArray*>(&c)) {
            array->SetAutoCreate(true);
            array->GetRecord(key);
        } else {
            dynamic_cast<TLcValue&>(c).NewRecord();
        }
        break;
    case 7:
        root.GetText(FieldNameOf(key, upper));
        root.StringForm();
        break;
    default:
        if (target.Object != &root) {
            if (auto* record = dynamic_cast<TLcRecord*>(&c)) {
                record->Clear();
            } else if (auto* array = dynamic_cast<TLcArray*>(&c)) {
                array->Clear();
            } else {
                dynamic_cast<TLcValue&>(c).Clear();
            }
        }
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TLcRecord root;
    for (size_t i = 0; i + 3 <= size; i += 3) {
        try {
            Step(root, data[i], data[i + 1], data[i + 2]);
        } catch (const ELcInfo&) {
        } catch (const EConvertError&) {
        }
    }
    return 0;
}
