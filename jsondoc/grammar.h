#pragma once

// The grammar of the lenient JSON text, written once over a byte source (byte_source.h). Internal to the library.

#include <string_view>
#include <utility>
#include <vector>

#include "jsondoc/byte_source.h"
#include "jsondoc/jsondoc.h"

namespace jsondoc::detail {

// Recursive-descent reader over a stream's buffer or over text in memory, one grammar for both. It keeps its own
// copy of the stream state and follows the state changes that the equivalent istream operations (get, peek,
// putback, ws, the number extraction) would make; finish() hands the state back to a stream.
template <typename Bytes>
class Parser {
  public:
    // The byte source is made in place from the arguments.
    template <typename... Source>
    explicit Parser(Source&&... source) : bytes_(std::forward<Source>(source)...), state_(bytes_.state()) {}
    void finish() { bytes_.finish(state_); }

    bool value(Value& value);
    bool object(Object& object);
    bool array(Array& array);

  private:
    class Level {
      public:
        explicit Level(unsigned& depth) : depth_(depth) { ++depth_; }
        ~Level() { --depth_; }
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;

      private:
        unsigned& depth_;
    };

    bool good() const { return state_ == kGood; }
    void skipSpaces();
    int peek();
    void unread(std::size_t count);
    bool skipComment();
    bool match(char expected);
    bool match(std::string_view pattern);
    bool string(String& text);
    bool quoted(int delimiter, String& text);
    bool stringBody(int delimiter, String& text);
    bool escape(int delimiter, String& text);
    bool number(Number& result);
    bool readValue(Value& value);
    bool stringValue(int delimiter, Value& value);
    bool unquotedValue(Value& value);
    bool numberValue(Value& value);
    bool keyword(std::string_view word, Value& value, Value::Type type, bool truth);
    bool objectValue(Value& value);
    bool arrayValue(Value& value);
    bool deeper();

    Bytes bytes_;
    // Strings are read here and copied out at their exact size: growing a string by doubling can leave half of its
    // storage unused for the life of the document.
    String text_;
    // Elements of the arrays being read, innermost last.
    std::vector<Value> pending_;
    State state_;
    unsigned depth_ = 0;
};

extern template class Parser<StreamBytes>;
extern template class Parser<MemoryBytes>;

}  // namespace jsondoc::detail
