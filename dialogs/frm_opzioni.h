#pragma once

#include "preparation_options.h"

#include <QDialog>

class QCheckBox;
class QPushButton;

// The options dialog: five check boxes holding the preparation options. "OK"
// only hides it, so the boxes keep the user's choices until the program ends.
// Closing it from the window frame or with Escape does the same as "OK".
class frmOpzioni : public QDialog {
    Q_OBJECT
public:
    // Created hidden with all five boxes unchecked; shown modally over `owner`
    // by the caller with exec().
    explicit frmOpzioni(QWidget *owner = nullptr);

    // The options as the check boxes now stand (a box counts as on when checked).
    PreparationOptions options() const;

public slots:
    // Escape and the frame's close button end up here: hide like "OK" does.
    void reject() override;

private:
    // Widens the boxes and the window when the font would cut a caption.
    void fitCaptions();

    // Each control's object name is its member name; tests find it by that.
    QCheckBox *chkNumeri = nullptr;
    QCheckBox *chkACapo = nullptr;
    QCheckBox *chkPunteggiatura = nullptr;
    QCheckBox *chkMinuscolo = nullptr;
    QCheckBox *chkNessuna = nullptr;
    QPushButton *cmdOK = nullptr;
};
