#include "Commands.h"

#include <cstdio>

namespace core {

namespace {

// Every number on the wire is two decimal digits. A number that does not fit forms no
// command at all rather than a wrong channel or a longer text.
bool twoDigits(int n, char (&out)[3])
{
    if (n < 0 || n > 99)
        return false;
    std::snprintf(out, sizeof out, "%02d", n);
    return true;
}

// "%02d<letter>" / "<letter>%02d"
Command numberedCommand(int number, char letter)
{
    char n[3];
    if (!twoDigits(number, n))
        return {};
    return {std::string(n) + letter, std::string(1, letter) + n};
}

char lower(char letter) { return static_cast<char>(letter - 'A' + 'a'); }

// The letter of the single form. Video alone travels on composite when the matrix has no
// audio. On a matrix that is not "VCA" composite carries video and audio together, so every
// set with composite in it goes as composite. On a "VCA" matrix the sets 3, 5, 6 and 7 are
// split, and this letter only names the history entry.
char singleConnectLetter(LayerMask layers, const RouteContext &ctx)
{
    switch (layers) {
    case 1: return ctx.audioEnabled ? 'V' : 'C';
    case 2: return 'A';
    case 3:
    case 4:
    case 5:
    case 6:
    case 7: return 'C';
    default: return 0;
    }
}

// Layers of the split form in the order they are sent (upper case: connect).
std::string splitConnectLetters(LayerMask layers)
{
    switch (layers) {
    case 3: return "VA";
    case 5: return "VC";
    case 6: return "AC";
    case 7: return "VAC";
    default: return std::string();
    }
}

CommandSequence sequenceOf(int output, int input, const std::string &letters)
{
    CommandSequence seq;
    for (char letter : letters) {
        Command cmd = crosspointCommand(output, input, letter);
        if (cmd.text.empty())
            return {};
        seq.push_back(cmd);
    }
    return seq;
}

} // namespace

Command crosspointCommand(int output, int input, char letter)
{
    char o[3], i[3];
    if (!twoDigits(output, o) || !twoDigits(input, i))
        return {};
    return {std::string(o) + i + letter, std::string(1, letter) + o + i};
}

bool isSplitForm(LayerMask layers, const RouteContext &ctx)
{
    return ctx.vca && (layers == 3 || layers == 5 || layers == 6 || layers == 7);
}

CommandSequence connectSequence(int output, int input, LayerMask layers, const RouteContext &ctx)
{
    if (isSplitForm(layers, ctx))
        return sequenceOf(output, input, splitConnectLetters(layers));
    const char letter = singleConnectLetter(layers, ctx);
    if (!letter)
        return {};
    return sequenceOf(output, input, std::string(1, letter));
}

CommandSequence disconnectSequence(int output, int input, LayerMask value, const RouteContext &ctx)
{
    if (isSplitForm(value, ctx)) {
        std::string letters = splitConnectLetters(value);
        // The serial matrices take audio off first when all three layers go.
        if (value == 7 && ctx.serial)
            letters = "AVC";
        for (char &letter : letters)
            letter = lower(letter);
        return sequenceOf(output, input, letters);
    }
    const char letter = singleConnectLetter(value, ctx);
    if (!letter)
        return {};
    return sequenceOf(output, input, std::string(1, lower(letter)));
}

std::string connectHistoryText(int output, int input, LayerMask layers, const RouteContext &ctx)
{
    const char letter = singleConnectLetter(layers, ctx);
    if (!letter)
        return std::string();
    return crosspointCommand(output, input, letter).text;
}

std::string disconnectHistoryText(int output, int input, LayerMask value, const RouteContext &ctx)
{
    const char letter = singleConnectLetter(value, ctx);
    if (!letter)
        return std::string();
    return crosspointCommand(output, input, lower(letter)).text;
}

CommandSequence routeToAllSequence(int input, bool vca)
{
    // Output "00" is every output of the matrix.
    return sequenceOf(0, input, vca ? "CAV" : "C");
}

Command storePresetCommand(int preset) { return numberedCommand(preset, 'K'); }
Command recallPresetCommand(int preset) { return numberedCommand(preset, 'P'); }

std::string powerSavingCommand(bool on) { return on ? "1W" : "0W"; }
std::string muteCommand(bool on) { return on ? "1O" : "0O"; }
std::string freezeCommand(bool on) { return on ? "1Q" : "0Q"; }

bool containsUpdate(const std::string &received)
{
    static const char word[] = "update";
    const std::size_t n = sizeof word - 1;
    if (received.size() < n)
        return false;
    for (std::size_t start = 0; start + n <= received.size(); ++start) {
        std::size_t k = 0;
        while (k < n) {
            char ch = received[start + k];
            // Only ASCII letters fold; other bytes (code page 936 text) stay as they are.
            if (ch >= 'A' && ch <= 'Z')
                ch = static_cast<char>(ch - 'A' + 'a');
            if (ch != word[k])
                break;
            ++k;
        }
        if (k == n)
            return true;
    }
    return false;
}

} // namespace core
