#pragma once

#include <QObject>
#include <QString>

// The main window's call buttons, its enabled state and title, as the call
// logic sets them; the window mirrors every change.
class DeskControls : public QObject
{
    Q_OBJECT
public:
    enum Control
    {
        fraCustInfo,
        cmdStartPhoneNO1,
        cmdStartPhoneNO2,
        cmdStopCall,
        cmdRegisterCust,
        cmdModifyCust,
        ControlCount
    };

    bool isEnabled(Control control) const { return m_enabled[control]; }
    void setEnabled(Control control, bool enabled);

    enum class ButtonMode
    {
        StartCall,
        StopCall,
        StartModify,
        StopModify,
        Agent_1
    };
    void SetButtonState(ButtonMode mode);

    QString windowTitle() const { return m_title; }
    void setWindowTitle(const QString& title);
    bool windowEnabled() const { return m_windowEnabled; }
    void setWindowEnabled(bool enabled);

signals:
    void controlChanged(DeskControls::Control control, bool enabled);
    void windowTitleChanged(const QString& title);
    void windowEnabledChanged(bool enabled);

private:
    // As the window opens: no call yet, so nothing to stop.
    bool m_enabled[ControlCount] = {true, true, true, false, true, true};
    QString m_title = QStringLiteral("Brenvo");
    bool m_windowEnabled = true;
};
