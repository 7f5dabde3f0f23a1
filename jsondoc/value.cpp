#include <cstring>
#include <iterator>

#include "jsondoc/jsondoc.h"

namespace jsondoc {

// ---- Value ----

Value::Value(const char* text) : type_(STRING_TYPE) {
    own(detail::create<String>(text));
}

Value::Value(const String& text) : type_(STRING_TYPE) {
    own(detail::create<String>(text));
}

Value::Value(String&& text) : type_(STRING_TYPE) {
    own(detail::create<String>(std::move(text)));
}

Value::Value(const Object& object) : type_(OBJECT_TYPE) {
    own(detail::create<Object>(object));
}

Value::Value(Object&& object) : type_(OBJECT_TYPE) {
    own(detail::create<Object>(std::move(object)));
}

Value::Value(const Array& array) : type_(ARRAY_TYPE) {
    own(detail::create<Array>(array));
}

Value::Value(Array&& array) : type_(ARRAY_TYPE) {
    own(detail::create<Array>(std::move(array)));
}

Value::Value(const Value& other) : type_(other.type_) {
    switch (other.type_) {
        case NUMBER_TYPE:
        case BOOLEAN_TYPE:
            std::memcpy(payload_, other.payload_, sizeof payload_);
            break;
        case STRING_TYPE:
            own(detail::create<String>(*other.owned<String>()));
            break;
        case NULL_TYPE:
        case INVALID_TYPE:
            break;
        case ARRAY_TYPE:
            own(detail::create<Array>(*other.owned<Array>()));
            break;
        case OBJECT_TYPE:
            own(detail::create<Object>(*other.owned<Object>()));
            break;
        default:
            type_ = INVALID_TYPE;
            JSONDOC_CHECK(!"not implemented");
    }
}

Value::Value(Value&& other) noexcept : type_(other.type_) {
    std::memcpy(payload_, other.payload_, sizeof payload_);
    other.type_ = INVALID_TYPE;
}

Value& Value::operator=(const Value& other) {
    import(other);
    return *this;
}

Value& Value::operator=(Value&& other) noexcept {
    if (&other != this) {
        // Taken out before the old payload goes: other may live inside it.
        Value taken(std::move(other));
        swap(taken);
    }
    return *this;
}

void Value::import(const Value& other) {
    if (&other == this) {
        return;
    }
    Value copy(other);
    swap(copy);
}

void Value::reset() {
    switch (type_) {
        case STRING_TYPE:
            owned<String>()->clear();
            break;
        case ARRAY_TYPE:
            owned<Array>()->reset();
            break;
        case OBJECT_TYPE:
            owned<Object>()->reset();
            break;
        default:
            break;
    }
}

void Value::swap(Value& other) noexcept {
    std::swap(type_, other.type_);
    unsigned char payload[kPayloadBytes];
    std::memcpy(payload, payload_, sizeof payload);
    std::memcpy(payload_, other.payload_, sizeof payload);
    std::memcpy(other.payload_, payload, sizeof payload);
}

void Value::release() noexcept {
    switch (type_) {
        case STRING_TYPE:
            detail::destroy(owned<String>());
            break;
        case ARRAY_TYPE:
            detail::destroy(owned<Array>());
            break;
        case OBJECT_TYPE:
            detail::destroy(owned<Object>());
            break;
        default:
            break;
    }
}

// ---- Object ----

Object::Object(const String& key, const Value& value) {
    members_.emplace(key, value);
}

Object& Object::operator=(const Object& other) {
    pendingKey_.clear();
    if (&other == this) {
        return *this;
    }
    // Copied before the old members go: other may be one of them or lie below one.
    Members copy(other.members_);
    members_.swap(copy);
    return *this;
}

Object& Object::operator=(Object&& other) noexcept {
    pendingKey_.clear();
    if (&other != this) {
        Members taken(std::move(other.members_));
        other.members_.clear();
        members_.swap(taken);
    }
    return *this;
}

void Object::import(const Object& other) {
    pendingKey_.clear();
    if (&other == this) {
        return;  // every member would be replaced by a copy of itself
    }
    if (members_.empty()) {
        members_ = other.members_;
        return;
    }
    // Copied first: other may lie below a member that the import replaces.
    Members copies(other.members_);
    auto hint = members_.begin();
    while (!copies.empty()) {
        auto node = copies.extract(copies.begin());
        hint = members_.lower_bound(node.key());
        if (hint != members_.end() && hint->first == node.key()) {
            hint->second = std::move(node.mapped());
        } else {
            hint = members_.insert(hint, std::move(node));
        }
    }
}

void Object::import(const String& key, const Value& value) {
    pendingKey_.clear();
    Value copy(value);
    members_.insert_or_assign(key, std::move(copy));
}

void Object::store(Value&& value) {
    members_.insert_or_assign(pendingKey_.take(), std::move(value));
}

Object& Object::insertText(String&& text) {
    if (pendingKey_.empty()) {
        pendingKey_ = std::move(text);
    } else {
        store(Value(std::move(text)));
    }
    return *this;
}

Object& Object::insertValue(Value&& value) {
    if (!pendingKey_.empty()) {
        store(std::move(value));
        return *this;
    }
    JSONDOC_CHECK_TEXT("is<String>()", value.is<String>());
    pendingKey_ = std::move(*value.owned<String>());
    return *this;
}

Object& Object::operator<<(const Value& value) {
    return insertValue(Value(value));
}

Object& Object::operator<<(Value&& value) {
    return insertValue(std::move(value));
}

Object& Object::operator<<(const String& text) {
    return insertText(String(text));
}

Object& Object::operator<<(const Object& object) {
    store(Value(object));
    return *this;
}

Object& Object::operator<<(Object&& object) {
    if (&object == this) {
        return *this << static_cast<const Object&>(object);
    }
    store(Value(std::move(object)));
    return *this;
}

Object& Object::operator<<(const Array& array) {
    JSONDOC_CHECK_TEXT("is<String>()", !pendingKey_.empty());
    store(Value(array));
    return *this;
}

Object& Object::operator<<(Array&& array) {
    JSONDOC_CHECK_TEXT("is<String>()", !pendingKey_.empty());
    store(Value(std::move(array)));
    return *this;
}

// ---- Array ----

Array::Array(const Value& value) {
    elements_.push_back(value);
}

Array& Array::operator=(const Array& other) {
    if (&other != this) {
        Elements copy(other.elements_);
        elements_.swap(copy);
    }
    return *this;
}

Array& Array::operator=(Array&& other) noexcept {
    if (&other != this) {
        Elements taken(std::move(other.elements_));
        other.elements_.clear();
        elements_.swap(taken);
    }
    return *this;
}

Array& Array::operator=(const Value& value) {
    Elements fresh;
    fresh.push_back(value);
    elements_.swap(fresh);
    return *this;
}

void Array::import(const Array& other) {
    if (&other != this) {
        elements_.insert(elements_.end(), other.elements_.begin(), other.elements_.end());
        return;
    }
    // With the room reserved, copying from the front cannot be disturbed by the appends.
    const std::size_t count = elements_.size();
    elements_.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        elements_.push_back(elements_[i]);
    }
}

Array& Array::append(const Array& other) {
    Value nested(other);  // copied first, so that other may be this array
    elements_.push_back(std::move(nested));
    return *this;
}

Array& Array::operator<<(const Value& value) {
    elements_.push_back(value);
    return *this;
}

Array& Array::operator<<(Value&& value) {
    elements_.push_back(std::move(value));
    return *this;
}

Array& Array::operator<<(const Array& other) {
    import(other);
    return *this;
}

Array& Array::operator<<(Array&& other) {
    if (&other == this) {
        import(other);
    } else if (elements_.empty()) {
        elements_.swap(other.elements_);
    } else {
        elements_.insert(elements_.end(), std::make_move_iterator(other.elements_.begin()),
                         std::make_move_iterator(other.elements_.end()));
        other.elements_.clear();
    }
    return *this;
}

}  // namespace jsondoc
