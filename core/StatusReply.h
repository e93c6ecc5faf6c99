#pragma once

#include "CrosspointTable.h"

#include <array>
#include <string>

namespace core {

// What a status reply says, as read by ParseStatusReply.
struct StatusReport
{
    // presets[n] for n = 1..32: the preset field as a number, low eight bits kept
    // (only 1..8 can be non-zero; 0 means not stored). Index 0 unused.
    std::array<int, 33> presets{};
    CrosspointTable routes;   // rebuilt from the sections (all zero first)
    bool powerSaving = false; // "+1"
    bool muteRead = false;    // mute is read only on a matrix with audio
    bool mute = false;        // "%1"
    bool freeze = false;      // "&1"
};

// Parses the reply accumulated in buffer for a matrix with outNum outputs.
// Returns false (and leaves everything alone) when the buffer holds no "P".
// When the preset line does not start the buffer, the buffer's first line is removed
// from buffer itself, as the window's receive buffer loses it too.
// Input numbers outside 1..72 are ignored; a missing section marker is an empty section;
// a missing flag marker means the flag is off. Never reads beyond the text.
bool ParseStatusReply(std::string &buffer, int outNum, bool audio, StatusReport &report);

// Reads the field of width characters at offset (0-based) in text: leading spaces, an
// optional sign, then digits; no digits gives 0, and a field beyond the end of text reads 0.
int readField(const std::string &text, std::size_t offset, std::size_t width = 2);

} // namespace core
