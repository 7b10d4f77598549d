#pragma once

#include "preparation_options.h"

#include <QDialog>

class QCheckBox;
class QPushButton;

// The options dialog: five check boxes holding the preparation options. "OK"
// only hides it, so the boxes keep the user's choices until the program ends.
class frmOpzioni : public QDialog {
    Q_OBJECT
public:
    explicit frmOpzioni(QWidget *owner = nullptr);

    // The options as the check boxes now stand (a box counts as on when checked).
    PreparationOptions options() const;

    QCheckBox *chkNumeri = nullptr;
    QCheckBox *chkACapo = nullptr;
    QCheckBox *chkPunteggiatura = nullptr;
    QCheckBox *chkMinuscolo = nullptr;
    QCheckBox *chkNessuna = nullptr;
    QPushButton *cmdOK = nullptr;
};
