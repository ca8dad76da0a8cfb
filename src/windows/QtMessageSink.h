#pragma once

#include "foundation/Seams.h"

// Messages as message boxes with an OK button, shown without waiting: the
// box keeps the agent's attention (application-modal) while the program
// goes on, and is discarded once confirmed.
class QtMessageSink : public MessageSink
{
public:
    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override;
    void setBusyCursor(bool busy) override;

private:
    int m_busy = 0;
};
