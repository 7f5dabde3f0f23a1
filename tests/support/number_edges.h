#pragma once

// The number texts of tests/jsondoc/number_edges.txt, which the jsondoc tests and the golden outputs share.

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// The texts of one list ("read" or "write"), with each "{N*C}" written out.
inline std::vector<std::string> numberEdges(const std::string& path, const std::string& list) {
    std::ifstream file(path);
    std::vector<std::string> texts;
    std::string line, current;
    while (std::getline(file, line)) {
        if (!line.empty() && line[0] == '@') {
            current = line.substr(1);
        } else if (current == list && !line.empty() && line[0] != '#') {
            std::istringstream words(line);
            for (std::string word; words >> word;) {
                const auto open = word.find('{'), star = word.find('*'), close = word.find('}');
                if (open != std::string::npos) {
                    const std::string repeated(std::stoul(word.substr(open + 1, star - open - 1)), word[star + 1]);
                    word = word.substr(0, open) + repeated + word.substr(close + 1);
                }
                texts.push_back(word);
            }
        }
    }
    if (texts.empty()) {
        throw std::runtime_error("no number texts in the list " + list + " of " + path);
    }
    return texts;
}
