#pragma once
// An ordered list of values (numbers, strings, vocabs, nested lists) with a text form and a
// compact wire form: the general message of the YARP layer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <yarp/conf/numeric.h>
#include <yarp/os/Portable.h>
#include <yarp/os/Searchable.h>
#include <yarp/os/Value.h>

namespace yarp::os {

/**
 * Text form: elements separated by spaces; integers as decimal, floats as the shortest text
 * that reads back to the same double (an integral float keeps ".0"), strings bare when they
 * read back as the same string and otherwise double-quoted with backslash escapes, vocabs as
 * `[abc]`, nested lists in parentheses. fromString() reads the same form back.
 *
 * References returned by get()/find() stay valid until the bottle is changed; the Bottle
 * returned by addList() stays valid as long as the element holding it exists.
 */
class Bottle : public Portable, public Searchable {
public:
    /// Deepest nesting of lists accepted from text or from the wire.
    static constexpr int maxNesting = 64;

    Bottle();
    /// Parses `text` (see fromString()).
    explicit Bottle(const std::string& text);
    Bottle(const Bottle& other);
    Bottle(Bottle&& other) noexcept;
    Bottle& operator=(const Bottle& other);
    Bottle& operator=(Bottle&& other) noexcept;
    ~Bottle() override;

    /// Replaces the content with the parsed text. Unbalanced parentheses and an unterminated
    /// quote are closed at the end of the text; a stray ')' is skipped. Text nested deeper
    /// than maxNesting is refused as a whole and leaves the bottle empty.
    void fromString(const std::string& text);
    std::string toString() const override;

    void clear();
    void addInt32(std::int32_t x);
    void addInt64(std::int64_t x);
    void addFloat64(double x);
    void addString(const std::string& text);
    void addVocab32(yarp::conf::vocab32_t code);
    /// Adds the vocabulary word made of the first four characters of `word`.
    void addVocab32(const std::string& word);
    /// Adds an empty nested list and returns it for filling.
    Bottle& addList();
    void add(const Value& value);
    void add(Value&& value);
    /// Adds copies of every element of `other`.
    void append(const Bottle& other);

    /// The element at `index`, or the null value when `index` is past the end.
    Value& get(std::size_t index) const;
    std::size_t size() const;

    /// Keyed lookup: the value after the first string element equal to `key`, or the second
    /// element of the first nested list whose first element is `key`, whichever comes first;
    /// the null value when there is none.
    Value& find(const std::string& key) const override;
    bool check(const std::string& key) const override;
    using Searchable::check;

    bool operator==(const Bottle& other) const;
    bool operator!=(const Bottle& other) const { return !(*this == other); }

    bool write(ConnectionWriter& writer) const override;
    /// Decodes one bottle; on malformed input returns false and leaves the bottle empty.
    bool read(ConnectionReader& reader) override;

private:
    friend class Value;
    friend class Property;
    static bool writeItem(ConnectionWriter& writer, const Value& value);
    /// Appends the text of `value` (recursing into lists) without intermediate strings.
    static void appendText(std::string& out, const Value& value);
    void appendItemsText(std::string& out) const;
    static bool readItem(ConnectionReader& reader, std::int8_t type, Value& out, int depth);
    bool writeItems(ConnectionWriter& writer) const;
    bool readItems(ConnectionReader& reader, int depth);

    // Mutable because the YARP API hands out writable elements from const accessors.
    mutable std::vector<Value> items_;
};

} // namespace yarp::os
