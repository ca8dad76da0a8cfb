#pragma once

#include <QString>

// Which telephone line the device control drives and how to reach it, from
// the settings file's section "Line". Without the section the line is the
// simulator's, as it always was.
struct LineSettings
{
    enum class Device
    {
        Simulator,
        Sip
    };

    Device device = Device::Simulator;
    // The branch's SIP server (registrar and proxy).
    QString serverHost;
    quint16 serverPort = 5060;
    QString user;
    QString password;
    // The domain of the extension's address; the server's host unless set.
    QString domain;
    // This desk's SIP port; 0 takes any free one.
    quint16 localPort = 5060;
    // Empty: the system's default device; otherwise a device's description,
    // "file:PATH" (a WAV file looped as the agent's voice) for the input,
    // "null" (discard) for the output.
    QString audioIn;
    QString audioOut;

    // Why the section could not be used; the line is then the simulator's.
    QString problem;

    // Reads section "Line" of the settings file at iniPath. A value that
    // cannot be read (an unknown device, a port out of range) leaves the
    // line on the simulator and says why in problem.
    static LineSettings read(const QString& iniPath);
};
