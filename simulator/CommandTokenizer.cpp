#include "simulator/CommandTokenizer.h"

namespace sim {

namespace {

const char kTestWord[] = "test";

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int digitsValue(const std::string &s, std::size_t from, std::size_t count)
{
    int v = 0;
    for (std::size_t i = from; i < from + count; ++i)
        v = v * 10 + (s[i] - '0');
    return v;
}

// How many digits the closing character takes, or -1 when it closes no command.
int digitsFor(char c)
{
    switch (c) {
    case 'V': case 'A': case 'C': case 'v': case 'a': case 'c':
        return 4;
    case 'K': case 'P': case '#':
        return 2;
    case 'W': case 'O': case 'Q':
        return 1;
    case 'I': case 'R':
        return 0;
    default:
        return -1;
    }
}

} // namespace

void CommandTokenizer::reset()
{
    pending_.clear();
}

void CommandTokenizer::closeToken(char c, std::vector<Token> &out)
{
    const int need = digitsFor(c);
    if (need < 0 || pending_.size() < std::size_t(need)) {
        drop(pending_.size() + 1);
        pending_.clear();
        return;
    }
    const std::size_t extra = pending_.size() - std::size_t(need);
    drop(extra);

    Token t;
    t.letter = c;
    t.text = pending_.substr(extra) + c;
    switch (c) {
    case 'I':
        t.kind = Token::Identify;
        break;
    case 'R':
        t.kind = Token::Reset;
        break;
    case '#':
        if (t.text != "00#") {
            drop(t.text.size());
            pending_.clear();
            return;
        }
        t.kind = Token::Status;
        break;
    case 'K':
    case 'P':
        t.kind = c == 'K' ? Token::StorePreset : Token::RecallPreset;
        t.first = digitsValue(pending_, extra, 2);
        break;
    case 'W':
    case 'O':
    case 'Q':
        t.kind = Token::Function;
        t.first = digitsValue(pending_, extra, 1);
        break;
    default:
        t.kind = Token::Route;
        t.first = digitsValue(pending_, extra, 2);
        t.second = digitsValue(pending_, extra + 2, 2);
        break;
    }
    pending_.clear();
    out.push_back(std::move(t));
}

std::vector<Token> CommandTokenizer::feed(const char *data, std::size_t size)
{
    std::vector<Token> out;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];

        if (!pending_.empty() && pending_[0] == 't') {
            if (c == kTestWord[pending_.size()]) {
                pending_ += c;
                if (pending_.size() == sizeof(kTestWord) - 1) {
                    Token t;
                    t.kind = Token::Test;
                    t.text = pending_;
                    t.letter = 't';
                    out.push_back(std::move(t));
                    pending_.clear();
                }
                continue;
            }
            // Not "test" after all: drop what was kept and read c afresh.
            drop(pending_.size());
            pending_.clear();
        }

        if (isDigit(c)) {
            // Only the last four digits can still belong to a command.
            if (pending_.size() == MaxPending) {
                pending_.erase(0, 1);
                drop(1);
            }
            pending_ += c;
        } else if (c == 't') {
            drop(pending_.size());
            pending_ = "t";
        } else if (isLetter(c) || c == '#') {
            closeToken(c, out);
        } else {
            drop(pending_.size() + 1);
            pending_.clear();
        }
    }
    return out;
}

} // namespace sim
