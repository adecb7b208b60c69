#include "lectern/lc/lcValueFormat.h"

#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcValueContainers.h"

namespace {

using lc_detail::TLcValueFormat;

// One level of container nesting of a format's reader or writer, counted in the format's depth
// of the calling thread; the level past the format's limit raises ELcInfo with its message.
class TNestingLevel {
public:
    explicit TNestingLevel(const TLcValueFormat& format) : FDepth(format.FDepth())
    {
        if (FDepth >= format.FNestingLimit) {
            throw ELcInfo(format.FNestingMessage + std::to_string(format.FNestingLimit) + " levels.");
        }
        ++FDepth;
    }
    ~TNestingLevel() { --FDepth; }
    TNestingLevel(const TNestingLevel&) = delete;
    TNestingLevel& operator=(const TNestingLevel&) = delete;

private:
    int& FDepth;
};

// Runs the step of steps (a writer's or a reader's) for the object as the most derived of the
// value classes the text formats know: TLcSimpleValue, TLcFunctionInfo, TLcRecord (TLcInfo too),
// TLcArray, TLcDataSet, TLcValue; a container's step inside one level of nesting. Any other
// class raises ELcInfo "Value class <class> has no <operation>.".
template <class TSteps, class... TArgs>
void Walk(const TLcValueFormat& format, const char* operation, const TSteps& steps, bool holderIsLevel,
          TLcValueObject& object, TArgs&... args)
{
    const auto nested = [&](auto step, auto& value) {
        TNestingLevel level(format);
        step(value, args...);
    };
    if (auto* simple = dynamic_cast<TLcSimpleValue*>(&object)) {
        steps.FSimple(*simple, args...);
    } else if (auto* call = dynamic_cast<TLcFunctionInfo*>(&object)) {
        nested(steps.FCall, *call);
    } else if (auto* record = dynamic_cast<TLcRecord*>(&object)) {
        nested(steps.FRecord, *record);
    } else if (auto* array = dynamic_cast<TLcArray*>(&object)) {
        nested(steps.FArray, *array);
    } else if (auto* set = dynamic_cast<TLcDataSet*>(&object)) {
        nested(steps.FDataSet, *set);
    } else if (auto* holder = dynamic_cast<TLcValue*>(&object)) {
        if (holderIsLevel) {
            nested(steps.FHolder, *holder);
        } else {
            steps.FHolder(*holder, args...);
        }
    } else {
        throw ELcInfo("Value class " + std::string(object.ClassName()) + " has no " + operation + ".");
    }
}

}  // namespace

namespace lc_detail {

void WriteValue(const TLcValueFormat& format, TLcValueObject& object, TLcHugeString& builder)
{
    Walk(format, format.FWriteOperation, format.FWrite, false, object, builder);
}

void ReadValue(const TLcValueFormat& format, TLcValueObject& object, const std::string& text, size_t& at)
{
    Walk(format, format.FReadOperation, format.FRead, format.FHolderReadIsLevel, object, text, at);
}

void FillByteStream(TLcSimpleValue& value, const std::string& bytes)
{
    TStream* stream = value.GetByteStream();
    stream->SetSize(0);
    stream->SetPosition(0);
    stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream->SetPosition(0);
}

}  // namespace lc_detail
