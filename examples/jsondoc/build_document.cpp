// Builds a block's version record with the insertion chain and writes it in both text forms.
#include <iostream>
#include <string>

#include "jsondoc/jsondoc.h"

int main() {
    const std::string newVersion = "2.4.1";
    const std::string oldVersion = "2.3.0";
    jsondoc::Array slots;
    slots << newVersion << oldVersion;

    // Keys and values alternate; a key given again replaces its member.
    jsondoc::Object block;
    block << "BlockID" << 4 << "Versions" << slots << "Active_System" << 0 << "Verified" << true;
    block << "Active_System" << 1;

    jsondoc::Object document;
    const std::string source = "/data/tiv/swdl";
    document << "NAD_Version_Info" << block << "Source" << source << "Note" << nullptr;

    // Compact, one line: what a tool writes to its files.
    std::cout << document << "\n";
    // Indented, one item per line with tabs: for people.
    std::cout << document.json();
    return 0;
}
