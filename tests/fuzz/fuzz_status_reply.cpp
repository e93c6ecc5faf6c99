// Feeds arbitrary receive buffers to the status reply parser.
// Input: byte 0 is the output count (signed, so below 0 and above 72 occur), bit 0 of
// byte 1 the audio setting, the rest the receive buffer.
#include "core/StatusReply.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

void check(bool holds)
{
    if (!holds)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int outNum = static_cast<int8_t>(data[0]);
    const bool audio = data[1] & 1;
    const size_t len = size - 2;

    // An exact-length heap copy of the text, so reads past it are caught.
    std::unique_ptr<char[]> bytes(new char[len ? len : 1]);
    std::memcpy(bytes.get(), data + 2, len);
    const std::string received(bytes.get(), len);
    bytes.reset();

    std::string buffer = received;
    auto report = std::make_unique<core::StatusReport>();
    report->presets[1] = 77;
    report->freeze = true;
    const bool ok = core::ParseStatusReply(buffer, outNum, audio, *report);

    const std::size_t p = received.find('P');
    check(ok == (p != std::string::npos));
    if (!ok) {
        check(buffer == received);
        check(report->presets[1] == 77 && report->freeze);
        return 0;
    }

    // Only the first line may go, and only when the preset line does not end where it should.
    const std::size_t cr = received.find('\r');
    if (cr == std::string::npos || static_cast<long>(cr) - static_cast<long>(p) == 28)
        check(buffer == received);
    else
        check(buffer == received.substr(cr + 1));

    check(report->presets[0] == 0);
    for (int n = 1; n <= 32; ++n)
        check(report->presets[n] >= 0 && report->presets[n] <= 255 && (n <= 8 || report->presets[n] == 0));
    for (int o = 1; o <= core::MaxChannels; ++o)
        for (int i = 1; i <= core::MaxChannels; ++i) {
            const core::LayerMask v = report->routes.get(o, i);
            check(v >= 0 && v <= 7);
            check(v == 0 || o <= outNum);
            check(audio || (v & core::LayerAudio) == 0);
        }
    check(report->muteRead == audio);
    check(audio || !report->mute);
    return 0;
}
