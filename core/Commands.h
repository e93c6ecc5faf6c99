#pragma once

#include "CrosspointTable.h"

#include <string>
#include <vector>

namespace core {

// One command text and the acknowledgement awaited for it (empty: none awaited).
struct Command
{
    std::string text;
    std::string ack;
    bool operator==(const Command &o) const { return text == o.text && ack == o.ack; }
};

using CommandSequence = std::vector<Command>;

// What the selection rules read of the loaded matrix and the window.
struct RouteContext
{
    bool vca = false;          // TYPE is "VCA"
    bool audioEnabled = false; // the audio layer box is enabled (matrix has audio)
    bool serial = false;       // transport is serial (only the split disconnect of 7 cares)
};

const char *const StatusQuery = "00#";
const char *const IdentifyQuery = "I";
const char *const LinkTest = "test";
const char *const FactoryReset = "R";

// Single crosspoint commands, e.g. connect(3, 12, 'V') -> {"0312V", "V0312"}.
Command crosspointCommand(int output, int input, char letter);

// Ordered commands to connect layer set L / disconnect recorded value X at one crosspoint.
CommandSequence connectSequence(int output, int input, LayerMask layers, const RouteContext &ctx);
CommandSequence disconnectSequence(int output, int input, LayerMask value, const RouteContext &ctx);

// Whether the sequence above is in split form (several commands, one per layer).
bool isSplitForm(LayerMask layers, const RouteContext &ctx);

// The single-form text entered in the command history for the same operation.
std::string connectHistoryText(int output, int input, LayerMask layers, const RouteContext &ctx);
std::string disconnectHistoryText(int output, int input, LayerMask value, const RouteContext &ctx);

// One input to every output: "00%02dC", then for VCA "00%02dA" and "00%02dV".
CommandSequence routeToAllSequence(int input, bool vca);

Command storePresetCommand(int preset);  // "%02dK" / "K%02d"
Command recallPresetCommand(int preset); // "%02dP" / "P%02d"
std::string powerSavingCommand(bool on); // "1W" / "0W"
std::string muteCommand(bool on);        // "1O" / "0O"
std::string freezeCommand(bool on);      // "1Q" / "0Q"

// A device's own notice: "update" in any letter case anywhere in the text.
bool containsUpdate(const std::string &received);

} // namespace core
