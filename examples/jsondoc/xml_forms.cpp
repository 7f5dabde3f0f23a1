// One document in the four XML renderings.
#include <iostream>
#include <string>

#include "jsondoc/jsondoc.h"

int main() {
    jsondoc::Object document;
    const std::string text = "x<y";
    document << "a" << 1 << "b" << text << "c" << nullptr << "d" << (jsondoc::Array() << true);

    for (unsigned format : {jsondoc::JSONx, jsondoc::JXML, jsondoc::JXMLex, jsondoc::TaggedXML}) {
        std::cout << document.xml(format) << "\n";
    }

    // An explicit header and root attributes replace the defaults.
    std::cout << document.xml(jsondoc::TaggedXML, "<?xml version=\"1.0\"?>\n", " version=\"2\"") << "\n";

    // Straight from JSON text; text that is neither an object nor an array gives the header alone.
    std::cout << jsondoc::xml(std::string(R"(["my key", 0.1])"), jsondoc::JXML) << "\n";
    std::cout << jsondoc::xml(std::string("42"), jsondoc::JXML) << "\n";
    return 0;
}
