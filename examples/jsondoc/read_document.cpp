// Reads a version file the safe way: every get<T> is preceded by the test that makes it valid.
#include <iostream>
#include <string>

#include "jsondoc/jsondoc.h"

int main() {
    std::cout << std::boolalpha;
    const std::string text =
        R"({"Version": "2.4.1", "BlockID": 4, "Slots": ["2.4.1", 7], "Flags": {"Verified": true}})";

    jsondoc::Object document;
    if (!document.parse(text)) {
        std::cout << "not a JSON object\n";
        return 1;
    }

    // has<T> checks the key and the type at once.
    const std::string version =
        document.has<jsondoc::String>("Version") ? document.get<jsondoc::String>("Version") : "0000";
    std::cout << "Version: " << version << "\n";
    std::cout << "BlockID is a number: " << document.has<jsondoc::Number>("BlockID") << "\n";
    std::cout << "Version is a number: " << document.has<jsondoc::Number>("Version") << "\n";
    if (document.has<jsondoc::Number>("BlockID")) {
        std::cout << "BlockID: " << static_cast<int>(document.get<jsondoc::Number>("BlockID")) << "\n";
    }

    // Arrays: size() before get<T>(i), is<T>() on the element before reading it.
    if (document.has<jsondoc::Array>("Slots")) {
        const jsondoc::Array& slots = document.get<jsondoc::Array>("Slots");
        for (std::size_t i = 0; i < slots.size(); ++i) {
            const jsondoc::Value& slot = slots.elements()[i];
            const std::string shown = slot.is<jsondoc::String>() ? slot.get<jsondoc::String>() : "(not text)";
            std::cout << "slot " << i << ": " << shown << "\n";
        }
    }

    if (document.has<jsondoc::Object>("Flags")) {
        const jsondoc::Object& flags = document.get<jsondoc::Object>("Flags");
        const bool verified = flags.has<jsondoc::Boolean>("Verified") && flags.get<jsondoc::Boolean>("Verified");
        std::cout << "verified: " << verified << "\n";
    }

    // Members come in ascending byte order of their keys, whatever order the text had.
    for (const auto& [key, value] : document.members()) {
        std::cout << key << " = " << value << "\n";
    }
    return 0;
}
