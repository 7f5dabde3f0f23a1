// Every copy is deep: changing a copy, at any depth, never changes the source.
#include <iostream>
#include <string>

#include "jsondoc/jsondoc.h"

int main() {
    jsondoc::Object original;
    original << "Counts" << (jsondoc::Array() << 1 << 2) << "BlockID" << 4;

    jsondoc::Object copy = original;
    // get<T> hands out a reference into the document: changes through it stay in that document.
    copy.get<jsondoc::Array>("Counts") << 3;
    copy << "BlockID" << 5;
    std::cout << "original: " << original << "\n";
    std::cout << "copy:     " << copy << "\n";
    // Equality is deep: the same members, kinds and values at every place.
    std::cout << "equal:    " << (copy == original ? "yes" : "no") << ", a fresh copy "
              << (jsondoc::Object(original) == original ? "yes" : "no") << "\n";

    // Inserting an object or array stores a copy; later changes of the inserted one do not reach the document.
    jsondoc::Array extra;
    extra << 1;
    jsondoc::Object holder;
    holder << "extra" << extra;
    extra << 2;
    std::cout << "holder:   " << holder << ", extra now " << extra << "\n";

    // An Array operand is flattened into the array; a Value holding an array becomes one nested element.
    jsondoc::Array flat;
    flat << extra << jsondoc::Value(extra);
    std::cout << "flat:     " << flat << "\n";

    // Importing an array into itself appends copies of its own elements.
    jsondoc::Array twice;
    twice << 1 << 2;
    twice.import(twice);
    std::cout << "twice:    " << twice << "\n";

    // Copying chosen members: import(key, value) takes every key the parser accepts, the empty one too. A chain
    // out << key << value would not: an empty key leaves no key waiting, so the value would be taken for the key.
    jsondoc::Object source;
    source.parse(std::string(R"({"": "no name", "kept": 1, "left out": 2})"));
    jsondoc::Object chosen;
    for (const auto& [key, value] : source.members()) {
        if (key != "left out") {
            chosen.import(key, value);
        }
    }
    std::cout << "chosen:   " << chosen << "\n";
    return 0;
}
