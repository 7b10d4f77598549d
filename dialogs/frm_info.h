#pragma once

#include "selectable_text_box.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QPushButton;

// The about window: program name, version, contact, and a long text on what
// the program does and how to use it. Modeless, without an owner, at most one
// at a time; "OK" or any other close destroys it.
class frmInfo : public QDialog {
    Q_OBJECT
public:
    // Shows the about window, creating it if none is open, and brings it forward.
    static frmInfo *showInfo();
    // The open about window, or nullptr.
    static frmInfo *current();

    // The about text, lines separated by CR LF.
    static QString aboutText();

private:
    explicit frmInfo(QWidget *parent = nullptr);
    static QPointer<frmInfo> s_current;

    // Each control's object name is its member name; tests find it by that.
    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    SelectableTextBox *txtInfo = nullptr;
    QPushButton *cmdOK = nullptr;
};
