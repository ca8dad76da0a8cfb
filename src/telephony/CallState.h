#pragma once

#include <QString>

// The values of the one line's current call, reset after every call.
struct CallState
{
    bool CallPending = false;
    bool InboundCall = false;
    bool HookEventSeen =
        false; // never reset: only the first hook event after start-up is swallowed
    QString CallerNumber;
    QString CustSelectKind;
    QString DialledNumber;
    QString CallDirection;
    QString CallStartTime, CallEndTime, CallDuration;
    QString CallResultCode;
    QString RecFileName, RecFilePath;

    void clearGlobalValuables()
    {
        const bool seen = HookEventSeen;
        *this = CallState();
        HookEventSeen = seen;
    }
};
