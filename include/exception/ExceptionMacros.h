// KREL_DECLARE_EXCEPTION and KREL_DEFINE_EXCEPTION, which write the members of an exception class.
#pragma once

#include <string>

// Every exception class of the library has the same members: the four constructors of
// KrelException, value copy and assignment, and its own Java class name and heap copy. These
// macros write them once; each class's header and source hold a single line.

// Declares exception class `Name` derived from `Base` (both in the enclosing namespace).
#define KREL_DECLARE_EXCEPTION(Name, Base)                                                         \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        Name(const std::wstring& message = std::wstring());                                        \
        Name(const std::wstring& message, const KrelException& cause);                             \
        Name(const std::wstring& message, int errNum);                                             \
        Name(const std::wstring& message, int errNum, const KrelException& cause);                 \
        Name(const Name& other);                                                                   \
        Name& operator=(const Name& other);                                                        \
        virtual ~Name();                                                                           \
                                                                                                   \
        std::wstring getClassName() const override;                                                \
        KrelException* newInstance() const override;                                               \
    };

// Defines the members declared by KREL_DECLARE_EXCEPTION; `javaName` is the fully qualified
// name of the Java class that getClassName answers.
#define KREL_DEFINE_EXCEPTION(Name, Base, javaName)                                                \
    Name::Name(const std::wstring& message) : Base(message) {}                                     \
    Name::Name(const std::wstring& message, const KrelException& cause) : Base(message, cause) {}  \
    Name::Name(const std::wstring& message, int errNum) : Base(message, errNum) {}                 \
    Name::Name(const std::wstring& message, int errNum, const KrelException& cause)                \
        : Base(message, errNum, cause) {}                                                          \
    Name::Name(const Name& other) : Base(other) {}                                                 \
    Name& Name::operator=(const Name& other) {                                                     \
        Base::operator=(other);                                                                    \
        return *this;                                                                              \
    }                                                                                              \
    Name::~Name() {}                                                                               \
    std::wstring Name::getClassName() const {                                                      \
        return javaName;                                                                           \
    }                                                                                              \
    KrelException* Name::newInstance() const {                                                     \
        return new Name(*this);                                                                    \
    }
