#pragma once

#include <QString>

// The workstation's name and its first IPv4 address, as the host-name
// look-up of the socket library gives them.
namespace HostInfo {

struct Result
{
    enum class Failure
    {
        None,
        NoHostName,
        NotResolved
    };
    Failure failure = Failure::None;
    int errorNumber = 0;
    QString address;
};

Result firstIPv4();

} // namespace HostInfo
