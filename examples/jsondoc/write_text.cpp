// The two text forms side by side: how they lay out, escape and format numbers.
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>

#include "jsondoc/jsondoc.h"

int main() {
    jsondoc::Array numbers;
    numbers << 3 << 0.5 << 0.1 << 1234567 << 1e16;

    jsondoc::Object document;
    const std::string path = "a/b";
    const std::string text = "tab\there \"quoted\"";
    document << "numbers" << numbers << "path" << path << "text" << text << "empty" << jsondoc::Object();

    // Compact form: the stream's own precision and notation, six significant digits by default.
    std::cout << document << "\n";

    // The caller sets the precision on the stream; the writer never changes it.
    std::ostringstream precise;
    precise << std::setprecision(17) << numbers;
    std::cout << precise.str() << "\n";

    // Text that must read back exactly, on the unit and on a PC alike: exactNumbers gives every number the digits a
    // Number needs (jsondoc::exactDigits). The default six digits, like the indented form's 16, are for people.
    const jsondoc::Array values = jsondoc::Array() << 1234567 << 0.1 << 1.0 / 3;
    std::ostringstream forPeople, exact;
    forPeople << values;
    exact << jsondoc::exactNumbers << values;
    jsondoc::Array fromPeople, fromExact;
    fromPeople.parse(forPeople.str());
    fromExact.parse(exact.str());
    std::cout << "default form reads back: " << (fromPeople == values ? "yes" : "no")
              << ", exactNumbers: " << (fromExact == values ? "yes" : "no") << "\n";

    // Indented form: up to 16 significant digits, whatever the stream.
    std::cout << numbers.json();
    std::cout << jsondoc::Array().json();
    return 0;
}
