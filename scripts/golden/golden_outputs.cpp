// Writes everything jsondoc makes of a set of inputs, byte for byte, so that two builds of the library (before and
// after a change, host and unit) can be compared with diff. Outputs of more than a line are given by length and a
// 64-bit FNV-1a hash, the short ones in full with their control bytes escaped.
//
// Usage: golden_outputs FILE...   (each file is one document; the number tables are built in, from the edge texts
// of tests/jsondoc/number_edges.txt, whose path NUMBER_EDGES gives at build time)

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "jsondoc/jsondoc.h"
#include "tests/support/number_edges.h"

namespace {

using jsondoc::Array;
using jsondoc::Number;
using jsondoc::Object;
using jsondoc::Value;

struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

std::string shown(const std::string& bytes, std::size_t limit = 160) {
    if (bytes.size() > limit) {
        std::uint64_t hash = 14695981039346656037ULL;
        for (unsigned char c : bytes) {
            hash = (hash ^ c) * 1099511628211ULL;
        }
        char text[64];
        std::snprintf(text, sizeof text, "<%zu bytes, fnv %016llx>", bytes.size(),
                      static_cast<unsigned long long>(hash));
        return text;
    }
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c < 32 || c == '\\' || c == 127) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void line(const std::string& label, const std::string& bytes) {
    std::cout << label << ' ' << shown(bytes) << '\n';
}

// The stream's state bits, then its position and what is left of it.
std::string streamAfter(std::istream& input) {
    const auto state = input.rdstate();
    input.clear();
    const auto position = static_cast<long long>(input.tellg());
    std::string rest{std::istreambuf_iterator<char>(input), {}};
    return "state " + std::to_string(state) + " at " + std::to_string(position) + " rest " + shown(rest);
}

const std::vector<std::pair<const char*, std::function<void(std::ostream&)>>>& streamSettings() {
    using F = std::ios_base;
    static const std::vector<std::pair<const char*, std::function<void(std::ostream&)>>> settings = {
        {"default", [](std::ostream&) {}},
        {"p17", [](std::ostream& out) { out.precision(17); }},
        {"p3", [](std::ostream& out) { out.precision(3); }},
        {"p0", [](std::ostream& out) { out.precision(0); }},
        {"fixed", [](std::ostream& out) { out.setf(F::fixed, F::floatfield); }},
        {"scientific", [](std::ostream& out) { out.setf(F::scientific, F::floatfield); }},
        {"showpoint", [](std::ostream& out) { out.setf(F::showpoint); }},
        {"p20-sci-upper-showpos",
         [](std::ostream& out) {
             out.precision(20);
             out.setf(F::scientific | F::uppercase | F::showpos);
         }},
        {"hexfloat", [](std::ostream& out) { out.setf(F::fixed | F::scientific, F::floatfield); }},
        {"comma", [](std::ostream& out) { out.imbue(std::locale(std::locale::classic(), new CommaPoint)); }},
    };
    return settings;
}

template <typename T>
void compactForms(const std::string& label, const T& item) {
    for (const auto& [name, set] : streamSettings()) {
        std::ostringstream out;
        set(out);
        out << item;
        line(label + " compact " + name, out.str() + (out.good() ? "" : " (stream not good)"));
    }
}

void containerForms(const std::string& label, const Value& value) {
    compactForms(label, value);
    if (value.is<Object>()) {
        const Object& object = value.get<Object>();
        line(label + " json", object.json());
        for (unsigned format = jsondoc::JSON; format <= jsondoc::TaggedXML; ++format) {
            line(label + " write" + std::to_string(format), object.write(format));
        }
    } else if (value.is<Array>()) {
        const Array& array = value.get<Array>();
        line(label + " json", array.json());
        for (unsigned format = jsondoc::JSONx; format <= jsondoc::TaggedXML; ++format) {
            line(label + " xml" + std::to_string(format), array.xml(format));
        }
    }
}

template <typename T>
void parseBoth(const std::string& name, const std::string& text) {
    T fromStream;
    std::istringstream input(text);
    const bool streamOk = T::parse(input, fromStream);
    line(name + " stream", (streamOk ? "ok " : "failed ") + streamAfter(input));
    containerForms(name + " stream", Value(fromStream));
    T fromText;
    const bool textOk = fromText.parse(text);
    line(name + " text", textOk ? "ok" : "failed");
    containerForms(name + " text", Value(fromText));
}

void document(const std::string& text) {
    parseBoth<Object>("Object", text);
    parseBoth<Array>("Array", text);
    {
        Value fromStream, fromText;
        std::istringstream input(text);
        const bool streamOk = Value::parse(input, fromStream);
        line("Value stream", (streamOk ? "ok " : "failed ") + streamAfter(input));
        compactForms("Value stream", fromStream);
        line("Value text", fromText.parse(text) ? "ok" : "failed");
        compactForms("Value text", fromText);
    }
    std::istringstream validated(text), reformatted(text);
    line("validate stream", (jsondoc::validate(validated) ? "true " : "false ") + streamAfter(validated));
    line("validate text", jsondoc::validate(text) ? "true" : "false");
    line("reformat stream", jsondoc::reformat(reformatted));
    line("reformat stream after", streamAfter(reformatted));
    line("reformat text", jsondoc::reformat(text));
    for (unsigned format = jsondoc::JSONx; format <= jsondoc::TaggedXML; ++format) {
        std::istringstream input(text);
        line("xml" + std::to_string(format) + " stream", jsondoc::xml(input, format));
        line("xml" + std::to_string(format) + " stream after", streamAfter(input));
        line("xml" + std::to_string(format) + " text", jsondoc::xml(text, format));
    }
}

std::string hex(Number number) {
    std::ostringstream out;
    out << std::hexfloat << number;
    return out.str();
}

// ---- the number tables ----

std::string randomDecimal(std::mt19937_64& random) {
    std::string digits = std::to_string(random() >> random() % 64);
    if (random() % 2 == 0) {
        digits += std::to_string(random() >> random() % 64);
    }
    const auto point = random() % (digits.size() + 1);
    std::string text = (random() % 3 == 0 ? "-" : "") + digits.substr(0, point) + "." + digits.substr(point);
    const int range = 4932 + 40;  // the widest type's range, so that every target sees the same texts
    const auto exponent =
        random() % 4 == 0 ? static_cast<long>(random() % (2 * range)) - range : static_cast<long>(random() % 80) - 40;
    return random() % 2 == 0 ? text : text + "e" + std::to_string(exponent);
}

std::vector<std::string> numberTexts() {
    std::vector<std::string> texts = numberEdges(NUMBER_EDGES, "read");
    const auto written = numberEdges(NUMBER_EDGES, "write");
    texts.insert(texts.end(), written.begin(), written.end());
    texts.insert(texts.end(), {"[+1,.5,5.,01,1E+2,-0.25e-1,00012]", "[1,5]", "[,5]", "[1e]", "[1e-99999]"});
    std::mt19937_64 random(0x5eed);
    const std::string alphabet = "0123456789012345678901234567890123456789..eE+-";
    for (int i = 0; i < 2000; ++i) {
        std::string text(1 + random() % 24, ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        texts.push_back(text);
        texts.push_back(randomDecimal(random));
    }
    return texts;
}

void readNumbers(const std::vector<std::string>& texts) {
    const std::pair<int, const char*> modes[] = {{FE_UPWARD, "up"}, {FE_DOWNWARD, "down"}, {FE_TONEAREST, "near"}};
    for (const auto& [mode, modeName] : modes) {
        std::fesetround(mode);
        for (const auto& text : texts) {
            Value fromStream, fromText, comma;
            std::istringstream input(text), commaInput(text);
            commaInput.imbue(std::locale(std::locale::classic(), new CommaPoint));
            const bool streamOk = Value::parse(input, fromStream), textOk = fromText.parse(text);
            const bool commaOk = Value::parse(commaInput, comma);
            std::string out = (streamOk ? "ok " : "failed ") + streamAfter(input);
            out += fromStream.is<Number>() ? " " + hex(fromStream.get<Number>()) : "";
            out += textOk ? " text ok" : " text failed";
            out += fromText.is<Number>() ? " " + hex(fromText.get<Number>()) : "";
            out += (commaOk ? " comma ok " : " comma failed ") + streamAfter(commaInput);
            out += comma.is<Number>() ? " " + hex(comma.get<Number>()) : "";
            std::cout << "read " << modeName << ' ' << shown(text) << ' ' << out << '\n';
        }
    }
}

void writeNumber(Number number) {
    std::string out;
    for (std::streamsize precision : {0, 1, 2, 3, 5, 6, 7, 10, 15, 16, 17, 18, 21, 30, 60}) {
        std::ostringstream written;
        written.precision(precision);
        written << Value(number);
        out += written.str() + "|";
    }
    for (const auto& [name, set] : streamSettings()) {
        std::ostringstream written;
        set(written);
        written << Value(number);
        out += written.str() + "|";
    }
    out += (Array() << number).json();
    std::cout << "write " << hex(number) << ' ' << shown(out, 4096) << '\n';
}

void writeNumbers(const std::vector<std::string>& texts) {
    using Limits = std::numeric_limits<Number>;
    std::vector<Number> numbers = {1.0L / 3,
                                   2.0L / 3,
                                   Limits::min(),
                                   Limits::denorm_min(),
                                   Limits::max(),
                                   Limits::epsilon(),
                                   Limits::infinity(),
                                   Limits::quiet_NaN(),
                                   0.0L,
                                   1.0L,
                                   65535,
                                   1234567};
    for (const auto& text : texts) {
        Value value;
        if (value.parse(text) && value.is<Number>()) {
            numbers.push_back(value.get<Number>());
        }
    }
    std::mt19937_64 random(7);
    for (int i = 0; i < 2000; ++i) {
        const bool small = i % 3 == 0;
        const int exponent = small ? static_cast<int>(random() % 40) - 20 : static_cast<int>(random() % 200) - 163;
        numbers.push_back(std::ldexp(static_cast<Number>(random() >> (small ? 44 : 1)), exponent));
    }
    const std::pair<int, const char*> modes[] = {
        {FE_UPWARD, "up"}, {FE_DOWNWARD, "down"}, {FE_TOWARDZERO, "zero"}, {FE_TONEAREST, "near"}};
    for (const auto& [mode, modeName] : modes) {
        std::fesetround(mode);
        std::cout << "rounding " << modeName << '\n';
        for (Number number : numbers) {
            writeNumber(number);
            writeNumber(-number);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::cout << "sizeof(Number) " << sizeof(Number) << '\n';
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(file), {}};
        if (!file) {
            std::cerr << "golden_outputs: cannot read " << argv[i] << '\n';
            return 1;
        }
        std::cout << "== " << argv[i] << '\n';
        document(text);
    }
    const auto texts = numberTexts();
    readNumbers(texts);
    writeNumbers(texts);
    return 0;
}
