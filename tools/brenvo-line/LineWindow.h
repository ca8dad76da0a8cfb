#pragma once

#include <QWidget>

class LineSimulator;
class QLabel;
class QLineEdit;

// The simulator's window: a person rings the agent, answers, hangs up and
// pulls the device's cable, and sees the line's state and the last number
// the agent dialled.
class LineWindow : public QWidget
{
    Q_OBJECT
public:
    explicit LineWindow(LineSimulator& line, QWidget* parent = nullptr);

private:
    void showState();

    LineSimulator& m_line;
    QLineEdit* m_number;
    QLabel* m_status;
    QString m_error;
};
