#pragma once

#include <QDialog>
#include <QPushButton>

class DorvanePlus;

// "인바운드": answers a ringing line with one click.
class Frm130000 : public QDialog
{
    Q_OBJECT
public:
    explicit Frm130000(DorvanePlus& device, QWidget* parent = nullptr);

    QPushButton* cmdStartCall;
    QPushButton* cmdClose;

private:
    DorvanePlus& m_device;
};
