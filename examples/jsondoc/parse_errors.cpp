// Where and why a parse failed: byte offset, line, column and a short reason.
#include <iostream>
#include <string>

#include "jsondoc/jsondoc.h"

int main() {
    const std::string texts[] = {
        "{\"Version\": \"2.4.1\",\n \"BlockID\": 04x}",
        "{\"Version\": \"2.4.1\"",
        "{\"Version\": \"2.4.1\", /* why */}",
        "{\"Version\": \"2.4.1\"} and more",
    };
    for (const std::string& text : texts) {
        jsondoc::Object document;
        jsondoc::ParseError error;
        if (jsondoc::parse(text, document, error)) {
            std::cout << "parsed: " << document << "\n";
        } else {
            std::cout << "line " << error.line << ", column " << error.column << " (byte " << error.offset
                      << "): " << error.reason << "\n";
        }
    }
    return 0;
}
