#pragma once

#include "foundation/Seams.h"

// Messages as modal message boxes with an OK button.
class QtMessageSink : public MessageSink
{
public:
    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override;
    void setBusyCursor(bool busy) override;

private:
    int m_busy = 0;
};
