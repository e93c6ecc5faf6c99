#pragma once

#include <stdexcept>
#include <string>

// Errors the platform raises (tables, number conversions, serial ports, sockets) are
// exceptions of our own types, carrying UTF-8 text. The application's event dispatch
// shows the text and lets the program go on; only the running handler ends.
class PlatformError : public std::runtime_error
{
public:
    explicit PlatformError(const std::string &utf8Message) : std::runtime_error(utf8Message) {}
};
