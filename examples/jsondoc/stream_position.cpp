// A parse reads only as far as it needs: after success the stream stands just behind the closing bracket, so
// several documents can follow each other on one stream.
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "jsondoc/jsondoc.h"

int main() {
    std::cout << std::boolalpha;
    std::istringstream input(R"({"id": 1} {"id": 2}
[3, 4] and then some text)");

    jsondoc::Object first;
    jsondoc::Object second;
    jsondoc::Array third;
    // Blanks and line ends before a document are skipped; those after it are left for the next read.
    if (first.parse(input) && second.parse(input) && third.parse(input)) {
        std::cout << first << " " << second << " " << third << "\n";
    }
    const std::string rest((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    std::cout << "left on the stream: '" << rest << "'\n";

    // A failed parse keeps what it read before the failure; nothing is rolled back.
    jsondoc::Object partial;
    const bool parsed = partial.parse(std::string(R"({"a": 1, "b": x, "c": 3})"));
    std::cout << "parsed: " << parsed << ", holds: " << partial << "\n";
    return 0;
}
