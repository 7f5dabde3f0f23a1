#pragma once

// jsondoc: a small JSON document library. A document is a tree of Values owned strictly from the root: every
// copy is a deep copy and nothing is shared. The parser is lenient (line comments, single quotes, trailing
// commas, empty elements); the writers produce compact or indented JSON and four XML renderings.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iosfwd>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace jsondoc {

using Number = long double;
using String = std::string;
using Boolean = bool;
using Null = std::nullptr_t;

class Value;
class Object;
class Array;

// Output formats of Object::write, the xml() members and the free xml() functions.
inline constexpr unsigned JSON = 0;
inline constexpr unsigned JSONx = 1;
inline constexpr unsigned JXML = 2;
inline constexpr unsigned JXMLex = 3;
inline constexpr unsigned TaggedXML = 4;

// The parser accepts objects and arrays nested up to this many levels; deeper input fails instead of exhausting
// the stack.
inline constexpr unsigned maxNestingDepth = 512;

// The library's misuse check: when result is false it prints the expression and its place to standard error and
// aborts the process. It is in force in every build type.
void assertion(const char* file, int line, const char* expression, bool result);

namespace detail {
template <typename Bytes>
class Parser;

inline void check(const char* file, int line, const char* expression, bool result) {
    if (!result) {
        // The build machine's directories say nothing to whoever reads the message on the unit.
        const char* slash = std::strrchr(file, '/');
        assertion(slash != nullptr ? slash + 1 : file, line, expression, false);
    }
}

template <typename T>
struct Kind;

// The key given to an Object's operator<< that waits for its value. Most objects never have one, so it takes room
// only while it waits.
class PendingKey {
  public:
    bool empty() const noexcept { return !text_; }
    void clear() noexcept { text_.reset(); }
    PendingKey& operator=(String&& text) {
        text_ = text.empty() ? nullptr : std::make_unique<String>(std::move(text));
        return *this;
    }
    const String& text() const noexcept { return text_ ? *text_ : none(); }
    String take() {
        String text = text_ ? std::move(*text_) : String();
        text_.reset();
        return text;
    }

  private:
    static const String& none() noexcept {
        static const String empty;
        return empty;
    }
    std::unique_ptr<String> text_;
};

// Truth values are handed out by value, numbers, strings and containers by reference.
template <typename T>
inline constexpr bool kByValue = std::is_same_v<T, Boolean>;
template <typename T>
using Access = std::conditional_t<kByValue<T>, T, T&>;
template <typename T>
using ConstAccess = std::conditional_t<kByValue<T>, T, const T&>;
}  // namespace detail

#define JSONDOC_CHECK_TEXT(text, expression) ::jsondoc::detail::check(__FILE__, __LINE__, text, (expression))
#define JSONDOC_CHECK(expression) JSONDOC_CHECK_TEXT(#expression, expression)

class Value {
  public:
    enum Type : std::int32_t {
        NUMBER_TYPE = 0,
        STRING_TYPE = 1,
        BOOLEAN_TYPE = 2,
        NULL_TYPE = 3,
        ARRAY_TYPE = 4,
        OBJECT_TYPE = 5,
        INVALID_TYPE = 6,
    };

    Value() noexcept : type_(INVALID_TYPE) {}
    Value(const char* text);
    Value(const String& text);
    Value(String&& text);
    template <typename N, std::enable_if_t<std::is_arithmetic_v<N> && !std::is_same_v<N, bool>, int> = 0>
    Value(N number) noexcept : type_(NUMBER_TYPE) {
        payload_.number = static_cast<Number>(number);
    }
    // Only a real bool becomes a Boolean; pointers must not slip in through their conversion to bool.
    template <typename B, std::enable_if_t<std::is_same_v<B, bool>, int> = 0>
    Value(B boolean) noexcept : type_(BOOLEAN_TYPE) {
        payload_.boolean = boolean;
    }
    Value(Null) noexcept : type_(NULL_TYPE) {}
    Value(const Object& object);
    Value(Object&& object);
    Value(const Array& array);
    Value(Array&& array);
    Value(const Value& other);
    Value(Value&& other) noexcept;
    Value& operator=(const Value& other);
    Value& operator=(Value&& other) noexcept;
    ~Value() { release(); }

    // Becomes a deep copy of other; other may lie anywhere inside this value.
    void import(const Value& other);
    // Drops the contents but keeps the type: a string, array or object becomes an empty one.
    void reset();
    void swap(Value& other) noexcept;

    Type type() const noexcept { return static_cast<Type>(type_); }
    template <typename T>
    bool is() const noexcept;
    template <typename T>
    detail::Access<T> get();
    template <typename T>
    detail::ConstAccess<T> get() const;

    static bool parse(std::istream& input, Value& value);
    bool parse(std::istream& input) { return parse(input, *this); }
    bool parse(const std::string& text);

  private:
    template <typename>
    friend class detail::Parser;
    friend class Object;

    // Most values a document destroys hold nothing to release, and moved-from ones none: only those that own a
    // string or a container leave the line.
    void release() noexcept {
        if (type_ == STRING_TYPE || type_ == ARRAY_TYPE || type_ == OBJECT_TYPE) {
            releaseOwned();
        }
    }
    void releaseOwned() noexcept;
    void own(String* string) noexcept { payload_.string = string; }
    void own(Array* array) noexcept { payload_.array = array; }
    void own(Object* object) noexcept { payload_.object = object; }
    // What a get<T> hands out; a const Value gives its number read-only.
    template <typename T, typename Self>
    static decltype(auto) content(Self& self) noexcept;

    // Strings and containers are held by an owning pointer, numbers and truth values in place.
    union Payload {
        Number number;
        Boolean boolean;
        String* string;
        Array* array;
        Object* object;
    };
    Payload payload_{};
    std::uint8_t type_;
};

namespace detail {
template <>
struct Kind<Number> {
    static constexpr Value::Type tag = Value::NUMBER_TYPE;
    static constexpr const char* isText = "is<Number>()";
};
template <>
struct Kind<String> {
    static constexpr Value::Type tag = Value::STRING_TYPE;
    static constexpr const char* isText = "is<String>()";
};
template <>
struct Kind<Boolean> {
    static constexpr Value::Type tag = Value::BOOLEAN_TYPE;
    static constexpr const char* isText = "is<Boolean>()";
};
template <>
struct Kind<Null> {
    static constexpr Value::Type tag = Value::NULL_TYPE;
};
template <>
struct Kind<Array> {
    static constexpr Value::Type tag = Value::ARRAY_TYPE;
    static constexpr const char* isText = "is<Array>()";
};
template <>
struct Kind<Object> {
    static constexpr Value::Type tag = Value::OBJECT_TYPE;
    static constexpr const char* isText = "is<Object>()";
};

// A member that the parser has read and its object not yet taken: the key's text where it lies or, when heldAt is
// not zero, at heldAt - 1 among the keys held aside (escaped ones and those of a stream, whose text lasts only until
// the next string).
struct PendingMember {
    PendingMember(std::string_view text, std::size_t at) noexcept : key(text), heldAt(at) {}
    std::string_view key;
    std::size_t heldAt;
    Value value;
};

template <typename T>
using EnableIfNumber = std::enable_if_t<std::is_arithmetic_v<T> && !std::is_same_v<T, bool>, int>;
template <typename T>
using EnableIfScalar = std::enable_if_t<std::is_arithmetic_v<T>, int>;
// Character strings are taken only as real char pointers, so that a literal 0 is a number and not a null text.
template <typename C>
using EnableIfChar = std::enable_if_t<std::is_same_v<C, char>, int>;
}  // namespace detail

class Object {
  public:
    using Member = std::pair<String, Value>;

    // The members in ascending order of their keys' bytes taken as unsigned, one key each, in one block of
    // storage: a key is found by binary search, and a parsed object costs one allocation however many members it
    // has. Changing the object may move the members: iterators and references do not survive it.
    class Members {
      public:
        using value_type = Member;
        using const_iterator = std::vector<Member>::const_iterator;
        using iterator = const_iterator;

        const_iterator begin() const noexcept { return items_.begin(); }
        const_iterator end() const noexcept { return items_.end(); }
        std::size_t size() const noexcept { return items_.size(); }
        bool empty() const noexcept { return items_.empty(); }
        // end() when no member has the key.
        const_iterator find(std::string_view key) const;
        // The value under the key; a missing key fails the library's check.
        const Value& at(std::string_view key) const;

      private:
        friend class Object;
        template <typename>
        friend class detail::Parser;

        std::vector<Member>::iterator find(std::string_view key);
        std::vector<Member>::iterator lowerBound(std::string_view key);
        void assign(String&& key, Value&& value);
        // Takes other's members, other's value winning where both have a key.
        void merge(Members&& other);
        // Becomes the members that a parse gathered, in the order of the text: the last of equal keys wins. The
        // keys held aside lie in held; orders keeps the orders found, from one object to the next of the parse.
        void adopt(detail::PendingMember* first, detail::PendingMember* last, std::string_view held,
                   std::vector<std::uint8_t>& orders);
        bool adoptInKnownOrder(detail::PendingMember* first, detail::PendingMember* last,
                               const std::vector<std::uint8_t>& orders);
        void adoptUnordered(detail::PendingMember* first, detail::PendingMember* last,
                            std::vector<std::uint8_t>& orders);
        void take(detail::PendingMember& member);

        std::vector<Member> items_;
    };

    Object() = default;
    Object(const Object& other) : members_(other.members_) {}
    Object(Object&& other) noexcept : members_(std::move(other.members_)) {}
    Object(const String& key, const Value& value);
    Object& operator=(const Object& other);
    Object& operator=(Object&& other) noexcept;
    ~Object() = default;

    // Releases every member; a key waiting for its value stays.
    void reset() noexcept { members_.items_.clear(); }
    void import(const Object& other);
    void import(const String& key, const Value& value);

    template <typename T>
    bool has(std::string_view key) const;
    template <typename T>
    detail::Access<T> get(std::string_view key);
    template <typename T>
    detail::ConstAccess<T> get(std::string_view key) const;

    std::size_t size() const noexcept { return members_.size(); }
    bool empty() const noexcept { return members_.empty(); }
    const Members& members() const noexcept { return members_; }
    // The value under the key, or null when no member has it.
    const Value* find(std::string_view key) const;
    Value* find(std::string_view key);
    // The key given to operator<< that still waits for its value; empty when none does.
    const String& pendingKey() const noexcept { return pendingKey_.text(); }

    // Insertion alternates keys and values: object << "key" << value << "key2" << value2.
    Object& operator<<(const Value& value);
    Object& operator<<(Value&& value);
    template <typename C, detail::EnableIfChar<C> = 0>
    Object& operator<<(const C* text) {
        return insertText(String(text));
    }
    Object& operator<<(const String& text);
    Object& operator<<(String&& text) { return insertText(std::move(text)); }
    template <typename N, detail::EnableIfScalar<N> = 0>
    Object& operator<<(N scalar) {
        return *this << Value(scalar);
    }
    Object& operator<<(Null) { return *this << Value(nullptr); }
    // An object is stored under the waiting key, even an empty one.
    Object& operator<<(const Object& object);
    Object& operator<<(Object&& object);
    Object& operator<<(const Array& array);
    Object& operator<<(Array&& array);

    static bool parse(std::istream& input, Object& object);
    bool parse(std::istream& input) { return parse(input, *this); }
    bool parse(const std::string& text);

    std::string json() const;
    std::string xml(unsigned format, const std::string& header = std::string(),
                    const std::string& attributes = std::string()) const;
    std::string write(unsigned format) const;

  private:
    template <typename>
    friend class detail::Parser;
    Object& insertText(String&& text);
    Object& insertValue(Value&& value);
    void store(Value&& value);

    Members members_;
    detail::PendingKey pendingKey_;
};

class Array {
  public:
    using Elements = std::vector<Value>;

    Array() = default;
    Array(const Array& other) : elements_(other.elements_) {}
    Array(Array&& other) noexcept : elements_(std::move(other.elements_)) {}
    explicit Array(const Value& value);
    Array& operator=(const Array& other);
    Array& operator=(Array&& other) noexcept;
    Array& operator=(const Value& value);
    ~Array() = default;

    void reset() noexcept { elements_.clear(); }
    // Appends copies of other's elements; importing an array into itself doubles it.
    void import(const Array& other);
    // Appends other as one nested element.
    Array& append(const Array& other);

    std::size_t size() const noexcept { return elements_.size(); }
    bool empty() const noexcept { return elements_.empty(); }
    // Appending may move the elements: references into them do not survive a change of the array.
    const Elements& elements() const noexcept { return elements_; }

    template <typename T>
    detail::Access<T> get(std::size_t i);
    template <typename T>
    detail::ConstAccess<T> get(std::size_t i) const;

    Array& operator<<(const Value& value);
    Array& operator<<(Value&& value);
    // Unlike a Value holding an array, an Array operand is flattened: its elements are appended.
    Array& operator<<(const Array& other);
    Array& operator<<(Array&& other);

    static bool parse(std::istream& input, Array& array);
    bool parse(std::istream& input) { return parse(input, *this); }
    bool parse(const std::string& text);

    std::string json() const;
    std::string xml(unsigned format, const std::string& header = std::string(),
                    const std::string& attributes = std::string()) const;

  private:
    template <typename>
    friend class detail::Parser;
    Elements elements_;
};

// Compact one-line JSON through the stream, numbers in the stream's own precision and notation.
std::ostream& operator<<(std::ostream& output, const Object& object);
std::ostream& operator<<(std::ostream& output, const Array& array);
std::ostream& operator<<(std::ostream& output, const Value& value);

// Whether the leading object or array of the input parses.
bool validate(std::istream& input);
bool validate(const std::string& text);
// The indented JSON of the leading object or array, or the empty string when it does not parse.
std::string reformat(std::istream& input);
std::string reformat(const std::string& text);
// The XML rendering of the leading object or array; the format's header alone when there is none.
std::string xml(std::istream& input, unsigned format);
std::string xml(const std::string& text, unsigned format);

// Deep equality: the same kind at every place, strings and keys byte for byte, numbers compared as Number (so
// 0 == -0, and a not-a-number equals nothing). A key waiting in an object for its value is not part of it.
bool operator==(const Value& left, const Value& right);
bool operator==(const Object& left, const Object& right);
bool operator==(const Array& left, const Array& right);
inline bool operator!=(const Value& left, const Value& right) {
    return !(left == right);
}
inline bool operator!=(const Object& left, const Object& right) {
    return !(left == right);
}
inline bool operator!=(const Array& left, const Array& right) {
    return !(left == right);
}

// The significant digits with which every finite Number reads back bit for bit: 17 on the unit, where a Number is a
// double; 21 for the 80-bit long double of an x86 host.
inline constexpr int exactDigits = std::numeric_limits<Number>::max_digits10;
// Stream manipulator for text that reads back: `file << jsondoc::exactNumbers << document` writes the compact form
// with every number in exactDigits significant digits. It leaves the stream at that precision and in general
// notation, as std::setprecision would.
std::ostream& exactNumbers(std::ostream& output);

// Where and why a parse of text failed: the byte offset from the start of the text, the line and the column there
// (both counted from 1, the column in bytes) and a short reason. All zero and empty after a successful parse.
struct ParseError {
    std::size_t offset = 0;
    std::size_t line = 0;
    std::size_t column = 0;
    std::string reason;
};
// The text entry points with the place of a failure: the results and the target's contents are those of
// object.parse(text), array.parse(text) and value.parse(text).
bool parse(const std::string& text, Object& object, ParseError& error);
bool parse(const std::string& text, Array& array, ParseError& error);
bool parse(const std::string& text, Value& value, ParseError& error);

// ---- templates ----

template <typename T>
bool Value::is() const noexcept {
    return type_ == detail::Kind<T>::tag;
}

template <typename T, typename Self>
decltype(auto) Value::content(Self& self) noexcept {
    if constexpr (std::is_same_v<T, Number>) {
        return (self.payload_.number);
    } else if constexpr (std::is_same_v<T, Boolean>) {
        return Boolean(self.payload_.boolean);
    } else if constexpr (std::is_same_v<T, String>) {
        return *self.payload_.string;
    } else if constexpr (std::is_same_v<T, Array>) {
        return *self.payload_.array;
    } else {
        return *self.payload_.object;
    }
}

template <typename T>
detail::Access<T> Value::get() {
    JSONDOC_CHECK_TEXT(detail::Kind<T>::isText, is<T>());
    return content<T>(*this);
}

template <typename T>
detail::ConstAccess<T> Value::get() const {
    JSONDOC_CHECK_TEXT(detail::Kind<T>::isText, is<T>());
    return content<T>(*this);
}

template <typename T>
bool Object::has(std::string_view key) const {
    const Value* value = find(key);
    return value != nullptr && value->is<T>();
}

// One lookup serves both the check and the access; the check reads as the test a caller makes first.
template <typename T>
detail::Access<T> Object::get(std::string_view key) {
    Value* value = find(key);
    JSONDOC_CHECK_TEXT("has<T>(key)", value != nullptr && value->is<T>());
    return Value::content<T>(*value);
}

template <typename T>
detail::ConstAccess<T> Object::get(std::string_view key) const {
    const Value* value = find(key);
    JSONDOC_CHECK_TEXT("has<T>(key)", value != nullptr && value->is<T>());
    return Value::content<T>(*value);
}

template <typename T>
detail::Access<T> Array::get(std::size_t i) {
    JSONDOC_CHECK(i < size());
    return elements_[i].get<T>();
}

template <typename T>
detail::ConstAccess<T> Array::get(std::size_t i) const {
    JSONDOC_CHECK(i < size());
    return elements_[i].get<T>();
}

}  // namespace jsondoc
