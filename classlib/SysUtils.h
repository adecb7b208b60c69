// The root of every class, the exception family, and small formatting helpers.
//
// Every class of the system derives from TObject and answers its own ClassName(), because
// many messages quote class names. Exceptions derive from Exception, which is both a TObject
// and a std::exception; EAbort is the silent exception that ends an operation without a
// message to the user.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;

    virtual const char* ClassName() const { return "TObject"; }
};

// Declares ClassName() inside a class body; the name is the class's own.
#define CL_CLASS_NAME(Name) \
    const char* ClassName() const override { return #Name; }

class Exception : public TObject, public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}

    const std::string& Message() const { return FMessage; }
    void SetMessage(std::string message) { FMessage = std::move(message); }
    const char* what() const noexcept override { return FMessage.c_str(); }

    CL_CLASS_NAME(Exception)

private:
    std::string FMessage;
};

// Declares an exception class that adds nothing but its name.
#define CL_DECLARE_EXCEPTION(Name, Base)      \
    class Name : public Base {                \
    public:                                   \
        using Base::Base;                     \
        CL_CLASS_NAME(Name)                   \
    };

CL_DECLARE_EXCEPTION(EAbort, Exception)
// The one base of the errors that corrupt or malformed input raises: a short stream, a
// damaged compressed stream or picture, text that is no value of its format. Only this base
// is caught where input is judged; any other exception (an assertion, a list index, an
// allocation failure) is a fault of ours and travels on.
CL_DECLARE_EXCEPTION(ECorruptInput, Exception)
// Text that does not convert to the value asked for.
CL_DECLARE_EXCEPTION(EConvertError, ECorruptInput)
CL_DECLARE_EXCEPTION(EAssertionFailed, Exception)
CL_DECLARE_EXCEPTION(EListError, Exception)
CL_DECLARE_EXCEPTION(EOutOfMemory, Exception)
CL_DECLARE_EXCEPTION(EInvalidOperation, Exception)
CL_DECLARE_EXCEPTION(EInvalidPointer, Exception)
CL_DECLARE_EXCEPTION(EThread, Exception)
CL_DECLARE_EXCEPTION(EOSError, Exception)
CL_DECLARE_EXCEPTION(EStreamError, Exception)
CL_DECLARE_EXCEPTION(EFileStreamError, EStreamError)
CL_DECLARE_EXCEPTION(EFCreateError, EFileStreamError)
CL_DECLARE_EXCEPTION(EFOpenError, EFileStreamError)
// A read that got fewer bytes than it needed: the data ended early. It is input's fault, so
// it shares the corrupt-input base rather than the stream errors' (opening, creating, writing).
CL_DECLARE_EXCEPTION(EReadError, ECorruptInput)
CL_DECLARE_EXCEPTION(EWriteError, EStreamError)

// Raises EAbort without a message.
[[noreturn]] void Abort();

// printf-style formatting into a std::string.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Guards a programming error: raises EAssertionFailed with the message when the condition
// does not hold. Unlike assert() it stays on in every build, as the system's assertions do.
inline void Assert(bool condition, const char* message)
{
    if (!condition) {
        throw EAssertionFailed(message);
    }
}

// A set of up to 64 members of an enumeration (the class library's "set of"): members are
// the enumerators' ordinals.
template <class E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members)
    {
        for (E m : members) {
            Include(m);
        }
    }
    constexpr bool Contains(E m) const { return (FBits >> static_cast<unsigned>(m)) & 1u; }
    constexpr TSet& Include(E m)
    {
        FBits |= uint64_t{1} << static_cast<unsigned>(m);
        return *this;
    }
    constexpr TSet& Exclude(E m)
    {
        FBits &= ~(uint64_t{1} << static_cast<unsigned>(m));
        return *this;
    }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr uint64_t Bits() const { return FBits; }
    friend constexpr bool operator==(TSet a, TSet b) { return a.FBits == b.FBits; }

private:
    uint64_t FBits = 0;
};
