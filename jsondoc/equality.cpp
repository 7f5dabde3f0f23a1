// Deep equality of values, objects and arrays.

#include <algorithm>

#include "jsondoc/jsondoc.h"

namespace jsondoc {

bool operator==(const Value& left, const Value& right) {
    if (left.type() != right.type()) {
        return false;
    }
    switch (left.type()) {
        case Value::NUMBER_TYPE:
            return left.get<Number>() == right.get<Number>();
        case Value::STRING_TYPE:
            return left.get<String>() == right.get<String>();
        case Value::BOOLEAN_TYPE:
            return left.get<Boolean>() == right.get<Boolean>();
        case Value::ARRAY_TYPE:
            return left.get<Array>() == right.get<Array>();
        case Value::OBJECT_TYPE:
            return left.get<Object>() == right.get<Object>();
        default:  // null and invalid values hold nothing to compare
            return true;
    }
}

// Members are kept in key order, so equal objects list equal members at the same places.
bool operator==(const Object& left, const Object& right) {
    return left.size() == right.size() && std::equal(left.members().begin(), left.members().end(),
                                                     right.members().begin(), [](const auto& a, const auto& b) {
                                                         const auto& [leftKey, leftValue] = a;
                                                         const auto& [rightKey, rightValue] = b;
                                                         return leftKey == rightKey && leftValue == rightValue;
                                                     });
}

bool operator==(const Array& left, const Array& right) {
    return left.size() == right.size() &&
           std::equal(left.elements().begin(), left.elements().end(), right.elements().begin(),
                      [](const Value& a, const Value& b) { return a == b; });
}

}  // namespace jsondoc
