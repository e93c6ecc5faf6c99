#include "StatusReply.h"

#include <algorithm>
#include <climits>

namespace core {

namespace {

const char CR = '\r';

// The preset line is "P", 27 characters, then its CR.
const long PresetLineCr = 28;

// Text after the first marker, up to the character before the buffer's last one, cut after
// its first CR. No marker, or no CR in that text: an empty section.
std::string sectionAfter(const std::string &buffer, char marker)
{
    const std::size_t pos = buffer.find(marker);
    if (pos == std::string::npos || buffer.size() < 2)
        return std::string();
    const std::size_t start = pos + 1;
    const std::size_t end = buffer.size() - 1; // the last character is left out
    if (start >= end)
        return std::string();
    const std::size_t cr = buffer.find(CR, start);
    if (cr == std::string::npos || cr >= end)
        return std::string();
    return buffer.substr(start, cr + 1 - start);
}

// A flag is on when the character right after its first marker is "1"; no marker: off.
bool flagAfter(const std::string &buffer, char marker)
{
    const std::size_t pos = buffer.find(marker);
    return pos != std::string::npos && pos + 1 < buffer.size() && buffer[pos + 1] == '1';
}

} // namespace

int readField(const std::string &text, std::size_t offset, std::size_t width)
{
    if (offset >= text.size())
        return 0;
    const std::size_t end = offset + std::min(width, text.size() - offset);
    std::size_t p = offset;
    while (p < end && text[p] == ' ')
        ++p;
    bool negative = false;
    if (p < end && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    int value = 0;
    while (p < end && text[p] >= '0' && text[p] <= '9') {
        const int digit = text[p] - '0';
        if (value > (INT_MAX - digit) / 10)
            break; // only wide fields get here; keep what fits
        value = value * 10 + digit;
        ++p;
    }
    return negative ? -value : value;
}

bool ParseStatusReply(std::string &buffer, int outNum, bool audio, StatusReport &report)
{
    const std::size_t p = buffer.find('P');
    if (p == std::string::npos)
        return false;

    // Anything in front of the preset line (a notice, line noise) is one line to drop. A
    // buffer without any CR has no first line to end, so it stays as it is.
    const std::size_t cr = buffer.find(CR);
    if (cr != std::string::npos && static_cast<long>(cr) - static_cast<long>(p) != PresetLineCr)
        buffer.erase(0, cr + 1);

    // Characters 5 to 27 of the preset line (its "P" being the first) hold the eight preset
    // fields, field n at 3(n-1) within them. They are counted from the "P", so text in front
    // of the "P" on the same line (an early "I", line noise) cannot shift them.
    const std::size_t line = buffer.find('P');
    const std::size_t from = (line == std::string::npos ? 0 : line) + 4;
    const std::string presetText = buffer.size() > from ? buffer.substr(from, 23) : std::string();
    report.presets.fill(0);
    for (int n = 1; n <= 32; ++n)
        report.presets[n] = readField(presetText, 3 * static_cast<std::size_t>(n - 1)) & 0xFF;

    const std::string video = sectionAfter(buffer, 'V');
    const std::string audioSection = audio ? sectionAfter(buffer, 'A') : std::string();
    const std::string composite = sectionAfter(buffer, 'C');

    report.routes.clear();
    const int outputs = std::min(outNum, MaxChannels);
    for (int o = 1; o <= outputs; ++o) {
        const std::size_t at = 3 * static_cast<std::size_t>(o - 1);
        const struct { const std::string &text; LayerMask bit; } layers[] = {
            {video, LayerVideo}, {audioSection, LayerAudio}, {composite, LayerComposite}};
        for (const auto &layer : layers) {
            const int input = readField(layer.text, at);
            // 0 is no route; a number with no cell in the table is not a route either.
            if (CrosspointTable::inRange(input))
                report.routes.set(o, input, report.routes.get(o, input) | layer.bit);
        }
    }

    report.powerSaving = flagAfter(buffer, '+');
    report.muteRead = audio;
    report.mute = audio && flagAfter(buffer, '%');
    report.freeze = flagAfter(buffer, '&');
    return true;
}

} // namespace core
