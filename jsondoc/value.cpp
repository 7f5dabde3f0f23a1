#include <algorithm>
#include <cstdint>
#include <iterator>

#include "jsondoc/jsondoc.h"

namespace jsondoc {

// ---- Value ----

Value::Value(const char* text) : type_(STRING_TYPE) {
    own(new String(text));
}

Value::Value(const String& text) : type_(STRING_TYPE) {
    own(new String(text));
}

Value::Value(String&& text) : type_(STRING_TYPE) {
    own(new String(std::move(text)));
}

Value::Value(const Object& object) : type_(OBJECT_TYPE) {
    own(new Object(object));
}

Value::Value(Object&& object) : type_(OBJECT_TYPE) {
    own(new Object(std::move(object)));
}

Value::Value(const Array& array) : type_(ARRAY_TYPE) {
    own(new Array(array));
}

Value::Value(Array&& array) : type_(ARRAY_TYPE) {
    own(new Array(std::move(array)));
}

Value::Value(const Value& other) : type_(other.type_) {
    switch (other.type_) {
        case NUMBER_TYPE:
        case BOOLEAN_TYPE:
            payload_ = other.payload_;
            break;
        case STRING_TYPE:
            own(new String(*other.payload_.string));
            break;
        case NULL_TYPE:
        case INVALID_TYPE:
            break;
        case ARRAY_TYPE:
            own(new Array(*other.payload_.array));
            break;
        case OBJECT_TYPE:
            own(new Object(*other.payload_.object));
            break;
        default:
            type_ = INVALID_TYPE;
            JSONDOC_CHECK(!"not implemented");
    }
}

Value::Value(Value&& other) noexcept : payload_(other.payload_), type_(other.type_) {
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
            payload_.string->clear();
            break;
        case ARRAY_TYPE:
            payload_.array->reset();
            break;
        case OBJECT_TYPE:
            payload_.object->reset();
            break;
        default:
            break;
    }
}

void Value::swap(Value& other) noexcept {
    std::swap(type_, other.type_);
    std::swap(payload_, other.payload_);
}

void Value::releaseOwned() noexcept {
    switch (type_) {
        case STRING_TYPE:
            delete payload_.string;
            break;
        case ARRAY_TYPE:
            delete payload_.array;
            break;
        case OBJECT_TYPE:
            delete payload_.object;
            break;
        default:
            break;
    }
}

// ---- Object ----

namespace {

bool keyLess(const Object::Member& member, std::string_view key) {
    return std::string_view(member.first) < key;
}

// Keys compare as unsigned bytes; the first few bytes mostly decide, without a call.
bool keyBefore(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
        }
    }
    return a.size() < b.size();
}

// Member places in the order of their keys; a type of its own, so that the sort takes the comparison in line.
struct KeyOrder {
    bool operator()(const detail::PendingMember* a, const detail::PendingMember* b) const {
        return keyBefore(a->key, b->key);
    }
};

// Objects are mostly small: up to this many members their places sort on the stack by insertion, with no buffer
// taken; past the first limit the place of each is found by binary search.
constexpr std::ptrdiff_t kLinearSearchLimit = 16;
constexpr std::size_t kInsertionSortLimit = 64;

// Stable, so that of equal keys the one read last stays last. Only the places move, not the members.
void sortStable(detail::PendingMember** first, detail::PendingMember** last) {
    if (last - first > static_cast<std::ptrdiff_t>(kInsertionSortLimit)) {
        std::stable_sort(first, last, KeyOrder{});
        return;
    }
    for (auto it = first + 1; it < last; ++it) {
        detail::PendingMember* const moving = *it;
        if (!KeyOrder{}(moving, *(it - 1))) {
            continue;
        }
        // A few places move one by one: a call to move them costs more.
        auto hole = it;
        if (last - first > kLinearSearchLimit) {
            for (const auto place = std::upper_bound(first, it - 1, moving, KeyOrder{}); hole != place; --hole) {
                *hole = *(hole - 1);
            }
        } else {
            do {
                *hole = *(hole - 1);
                --hole;
            } while (hole != first && KeyOrder{}(moving, *(hole - 1)));
        }
        *hole = moving;
    }
}

}  // namespace

Object::Members::const_iterator Object::Members::find(std::string_view key) const {
    const auto it = std::lower_bound(items_.begin(), items_.end(), key, keyLess);
    return it != items_.end() && it->first == key ? it : items_.end();
}

std::vector<Object::Member>::iterator Object::Members::find(std::string_view key) {
    const auto it = lowerBound(key);
    return it != items_.end() && it->first == key ? it : items_.end();
}

std::vector<Object::Member>::iterator Object::Members::lowerBound(std::string_view key) {
    return std::lower_bound(items_.begin(), items_.end(), key, keyLess);
}

const Value& Object::Members::at(std::string_view key) const {
    const auto it = find(key);
    JSONDOC_CHECK(it != end());
    return it->second;
}

void Object::Members::assign(String&& key, Value&& value) {
    const auto it = lowerBound(key);
    if (it != items_.end() && it->first == key) {
        it->second = std::move(value);
    } else {
        items_.emplace(it, std::move(key), std::move(value));
    }
}

void Object::Members::merge(Members&& other) {
    std::vector<Member> merged;
    merged.reserve(items_.size() + other.items_.size());
    auto mine = items_.begin();
    for (auto& theirs : other.items_) {
        for (; mine != items_.end() && mine->first < theirs.first; ++mine) {
            merged.push_back(std::move(*mine));
        }
        if (mine != items_.end() && mine->first == theirs.first) {
            ++mine;
        }
        merged.push_back(std::move(theirs));
    }
    std::move(mine, items_.end(), std::back_inserter(merged));
    items_.swap(merged);
}

void Object::Members::take(detail::PendingMember& member) {
    items_.emplace_back(std::piecewise_construct, std::forward_as_tuple(member.key),
                        std::forward_as_tuple(std::move(member.value)));
}

void Object::Members::adopt(detail::PendingMember* first, detail::PendingMember* last, std::string_view held,
                            std::vector<std::uint8_t>& orders) {
    items_.clear();
    for (auto* member = first; member != last; ++member) {
        if (member->heldAt != 0) {
            member->key = held.substr(member->heldAt - 1, member->key.size());
        }
    }
    // Most objects come with their keys in order and each once, which one pass tells: then the members are made
    // in storage of their exact size as they come.
    const auto notAscending = [](const auto& a, const auto& b) { return !keyBefore(a.key, b.key); };
    if (std::adjacent_find(first, last, notAscending) == last) {
        items_.reserve(static_cast<std::size_t>(last - first));
        std::for_each(first, last, [this](detail::PendingMember& member) { take(member); });
    } else if (!adoptInKnownOrder(first, last, orders)) {
        adoptUnordered(first, last, orders);
    }
}

namespace {

// Where the order last found for objects of this many members starts: one byte per member, after those of every
// smaller number.
std::size_t orderAt(std::size_t count) {
    return count * (count - 1) / 2;
}

}  // namespace

// Objects of one kind repeat their keys in the same order of the text: the order that sorted the last object of as
// many members is tried first. When it gives keys in strictly ascending order, that is the sorted order, and no key
// comes twice.
bool Object::Members::adoptInKnownOrder(detail::PendingMember* first, detail::PendingMember* last,
                                        const std::vector<std::uint8_t>& orders) {
    const auto count = static_cast<std::size_t>(last - first);
    if (count > kInsertionSortLimit || orders.size() < orderAt(count + 1)) {
        return false;
    }
    const std::uint8_t* const order = orders.data() + orderAt(count);
    for (std::size_t i = 1; i < count; ++i) {
        if (!keyBefore(first[order[i - 1]].key, first[order[i]].key)) {
            return false;
        }
    }
    items_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        take(first[order[i]]);
    }
    return true;
}

void Object::Members::adoptUnordered(detail::PendingMember* first, detail::PendingMember* last,
                                     std::vector<std::uint8_t>& orders) {
    const auto count = static_cast<std::size_t>(last - first);
    detail::PendingMember* nearby[kInsertionSortLimit];
    std::vector<detail::PendingMember*> far;
    detail::PendingMember** order = nearby;
    if (count > kInsertionSortLimit) {
        far.resize(count);
        order = far.data();
    }
    for (std::size_t i = 0; i < count; ++i) {
        order[i] = first + i;
    }
    sortStable(order, order + count);
    // Of each run of equal keys the last is kept.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i + 1 == count || order[i + 1]->key != order[i]->key) {
            order[kept++] = order[i];
        }
    }
    if (kept == count && count <= kInsertionSortLimit) {
        orders.resize(std::max(orders.size(), orderAt(count + 1)));
        for (std::size_t i = 0; i < count; ++i) {
            orders[orderAt(count) + i] = static_cast<std::uint8_t>(order[i] - first);
        }
    }
    items_.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i) {
        take(*order[i]);
    }
}

Object::Object(const String& key, const Value& value) {
    members_.items_.emplace_back(key, value);
}

Object& Object::operator=(const Object& other) {
    pendingKey_.clear();
    if (&other == this) {
        return *this;
    }
    // Copied before the old members go: other may be one of them or lie below one.
    Members copy(other.members_);
    members_.items_.swap(copy.items_);
    return *this;
}

Object& Object::operator=(Object&& other) noexcept {
    pendingKey_.clear();
    if (&other != this) {
        Members taken(std::move(other.members_));
        other.members_.items_.clear();
        members_.items_.swap(taken.items_);
    }
    return *this;
}

const Value* Object::find(std::string_view key) const {
    const auto it = members_.find(key);
    return it != members_.end() ? &it->second : nullptr;
}

Value* Object::find(std::string_view key) {
    const auto it = members_.find(key);
    return it != members_.items_.end() ? &it->second : nullptr;
}

void Object::import(const Object& other) {
    pendingKey_.clear();
    if (&other == this) {
        return;  // every member would be replaced by a copy of itself
    }
    // Copied first: other may lie below a member that the import replaces.
    Members copies(other.members_);
    if (members_.empty()) {
        members_.items_.swap(copies.items_);
    } else {
        members_.merge(std::move(copies));
    }
}

void Object::import(const String& key, const Value& value) {
    pendingKey_.clear();
    Value copy(value);
    members_.assign(String(key), std::move(copy));
}

void Object::store(Value&& value) {
    members_.assign(pendingKey_.take(), std::move(value));
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
    pendingKey_ = std::move(*value.payload_.string);
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
