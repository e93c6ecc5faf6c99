#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sim {

// One command cut out of the matrix's input stream.
struct Token
{
    enum Kind {
        Test,         // "test"
        Identify,     // "I"
        Reset,        // "R"
        Status,       // "00#"
        Route,        // "%02d%02d" + V A C v a c
        StorePreset,  // "%02dK"
        RecallPreset, // "%02dP"
        Function      // digit + W O Q
    };

    Kind kind = Test;
    std::string text;  // the command exactly as it counted, e.g. "0312V"
    char letter = 0;   // the closing letter ('t' for "test", '#' for the status query)
    int first = 0;     // Route: output; presets: preset number; Function: the digit
    int second = 0;    // Route: input
};

// Cuts a byte stream without terminators into commands. Bytes may arrive in any pieces;
// a partial command waits for the rest. A command ends at a letter or "#"; the digits
// it takes are the last ones before that letter, so stray digits in front are dropped and
// the stream falls back into step at the next command. Letters that close no command,
// and any other byte, are dropped together with the digits waiting before them.
// At most MaxPending bytes are ever kept between calls.
class CommandTokenizer
{
public:
    static constexpr std::size_t MaxPending = 4;

    std::vector<Token> feed(const char *data, std::size_t size);
    std::vector<Token> feed(const std::string &data) { return feed(data.data(), data.size()); }

    void reset();
    const std::string &pending() const { return pending_; }
    std::size_t discarded() const { return discarded_; } // bytes dropped as junk so far

private:
    void drop(std::size_t bytes) { discarded_ += bytes; }
    void closeToken(char c, std::vector<Token> &out);

    std::string pending_; // up to four digits, or a beginning of "test"
    std::size_t discarded_ = 0;
};

} // namespace sim
