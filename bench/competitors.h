#pragma once

// One adapter per library with the same three operations, so that every benchmark and the memory probe run the
// libraries through identical code. Each adapter uses its library's ordinary public API with default settings.

#include <json/json.h>
#include <rapidjson/document.h>
#include <rapidjson/istreamwrapper.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <istream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "jsondoc/jsondoc.h"

namespace bench {

struct Jsondoc {
    static constexpr const char* name = "jsondoc";
    using Document = jsondoc::Object;

    static bool parseStream(std::istream& input, Document& document) { return Document::parse(input, document); }
    static bool parseString(const std::string& text, Document& document) { return document.parse(text); }
    // The stream form is the library's compact writer; it is what the tool saves its document with.
    static std::size_t writeCompact(const Document& document) {
        std::ostringstream output;
        output << document;
        return static_cast<std::size_t>(output.tellp());
    }
    static std::size_t writeIndented(const Document& document) { return document.json().size(); }
};

struct Nlohmann {
    static constexpr const char* name = "nlohmann";
    using Document = nlohmann::json;

    static bool parseStream(std::istream& input, Document& document) {
        document = Document::parse(input, nullptr, false);
        return !document.is_discarded();
    }
    static bool parseString(const std::string& text, Document& document) {
        document = Document::parse(text, nullptr, false);
        return !document.is_discarded();
    }
    static std::size_t writeCompact(const Document& document) { return document.dump().size(); }
};

struct JsonCpp {
    static constexpr const char* name = "jsoncpp";
    using Document = Json::Value;

    static bool parseStream(std::istream& input, Document& document) {
        Json::CharReaderBuilder builder;
        std::string errors;
        return Json::parseFromStream(builder, input, &document, &errors);
    }
    static bool parseString(const std::string& text, Document& document) {
        Json::CharReaderBuilder builder;
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        return reader->parse(text.data(), text.data() + text.size(), &document, &errors);
    }
    static std::size_t writeCompact(const Document& document) {
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "";
        return Json::writeString(builder, document).size();
    }
};

struct RapidJson {
    static constexpr const char* name = "rapidjson";
    using Document = rapidjson::Document;

    static bool parseStream(std::istream& input, Document& document) {
        rapidjson::IStreamWrapper wrapped(input);
        document.ParseStream(wrapped);
        return !document.HasParseError();
    }
    static bool parseString(const std::string& text, Document& document) {
        document.Parse(text.data(), text.size());
        return !document.HasParseError();
    }
    static std::size_t writeCompact(const Document& document) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        document.Accept(writer);
        return buffer.GetSize();
    }
};

}  // namespace bench
