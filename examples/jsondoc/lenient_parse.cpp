// What the parser accepts beyond strict JSON, and what it refuses.
#include <iostream>
#include <string>

#include "jsondoc/jsondoc.h"

int main() {
    const char* const inputs[] = {
        "// a comment line\n{\"a\": 1}",
        "{\"a\": 1 // to the end of the line\n}",
        "{'single': 'quotes'}",
        "{\"a\": 1, \"a\": 2}",
        "{\"a\": 1,}",
        "[1, 2,]",
        "[1,,2]",
        "[+1, .5, 5., 01, 1E+2]",
        R"(["a\qb", "\u0041", "x\/y"])",
        "{\"a\": }",
        "{\"a\": 1} trailing text",
        "/* block comment */ {}",
        "{a: 1}",
        "[1 2]",
        "{\"a\": x}",
        "[1e]",
        "{,}",
        "",
    };
    for (const std::string input : inputs) {
        std::string shown = input;
        for (std::size_t at; (at = shown.find('\n')) != std::string::npos;) {
            shown.replace(at, 1, "\\n");
        }
        jsondoc::Value value;
        std::cout << shown << "  ->  ";
        if (value.parse(input)) {
            std::cout << value << "\n";
        } else {
            std::cout << "fails\n";
        }
    }

    // Nesting is bounded, so hostile input cannot exhaust the stack.
    for (unsigned depth : {jsondoc::maxNestingDepth, jsondoc::maxNestingDepth + 1}) {
        const std::string text = std::string(depth, '[') + std::string(depth, ']');
        jsondoc::Array array;
        std::cout << depth << " nested arrays: " << (array.parse(text) ? "parsed" : "fails") << "\n";
    }
    return 0;
}
