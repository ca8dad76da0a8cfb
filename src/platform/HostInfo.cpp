#include "platform/HostInfo.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>

HostInfo::Result HostInfo::firstIPv4()
{
    Result result;
    const QString name = QHostInfo::localHostName().trimmed();
    if (name.isEmpty()) {
        result.failure = Result::Failure::NoHostName;
        result.errorNumber = 11001;
        return result;
    }
    const QHostInfo info = QHostInfo::fromName(name);
    for (const QHostAddress& address : info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
            result.address = address.toString();
            return result;
        }
    }
    // The name may resolve to loopback only (a common /etc/hosts): the first
    // address of an interface that is up is what the network knows us by.
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
            result.address = address.toString();
            return result;
        }
    }
    for (const QHostAddress& address : info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            result.address = address.toString();
            return result;
        }
    }
    result.failure = Result::Failure::NotResolved;
    return result;
}
