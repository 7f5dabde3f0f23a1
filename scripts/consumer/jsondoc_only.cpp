// A tool that needs JSON and nothing else of the package.
#include <iostream>

#include "jsondoc/jsondoc.h"

int main() {
    jsondoc::Object document;
    if (!document.parse(std::string(R"({"Version": "2.4.1"})")) || !document.has<jsondoc::String>("Version")) {
        return 1;
    }
    std::cout << document << "\n";
    return 0;
}
