#pragma once

#include "layout_rule.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>

class OpenFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class ResultBox;
class frmOpzioni;

// The main window: the chosen file, the order selector, the run button and the
// output box. State lives in the controls (path, order, caption of cmdExec,
// output text). Closing the window, by cmdClose or by the frame, ends the
// program with exit status 0, whatever other windows are open.
class frmGramisola : public QWidget {
    Q_OBJECT
public:
    explicit frmGramisola(QWidget *parent = nullptr);
    ~frmGramisola() override;

    // Empties the output box.
    void ClearResult();
    // Appends `text` to the output box, every CR becoming CR LF; the caret goes
    // to the end and the box scrolls to show it.
    void AppendResult(const QString &text);

    // The context length of the first selected optLevel button by index
    // (index i means order i + 1), 0 if none is selected.
    int selectedContextLength() const;

    // Enables or disables, in this order, cmdLoad, cmdOptions, optLevel(0..9)
    // and cmdClear: the controls a run locks.
    void setRunControlsEnabled(bool enabled);

    // The options dialog, owned by this window; created hidden on first use.
    frmOpzioni *optionsDialog();

    // Replaces the open-file dialog cmdLoad uses (tests put Qt's own dialog or
    // a failing one here). The window owns it.
    void setFileDialog(std::unique_ptr<OpenFileDialog> dialog);

    // True from the moment the window starts closing: a loop that processes
    // events must return when it sees this.
    bool closeRequested() const { return m_closeRequested; }

    // Takes `path` as the source file, as a choice in the file dialog does:
    // into txtFilename, and cmdExec reads "Esegui" so the next run starts afresh.
    void setSourceFile(const QString &path);

    // The geometry table the controls are placed from, in twips.
    const MainWindowGeometry &twipsGeometry() const { return m_geometry; }

    QPushButton *cmdLoad = nullptr;
    QLineEdit *txtFilename = nullptr;
    QPushButton *cmdExec = nullptr;
    QLabel *lblLevel = nullptr;
    std::array<QRadioButton *, 10> optLevel{};
    QPushButton *cmdOptions = nullptr;
    ResultBox *txtResult = nullptr;
    QPushButton *cmdClear = nullptr;
    QPushButton *cmdInfo = nullptr;
    QPushButton *cmdClose = nullptr;

public slots:
    // The click of cmdLoad: lets the user pick the source file.
    void chooseFile();
    // The click of cmdOptions: shows the options dialog modally.
    void showOptions();
    // The click of cmdInfo: shows the about window.
    void showInfo();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createControls();
    void applyGeometry();
    void updateMinimumSize();

    MainWindowGeometry m_geometry = MainWindowGeometry::design();
    std::unique_ptr<OpenFileDialog> m_fileDialog;
    QPointer<frmOpzioni> m_optionsDialog;
    bool m_closeRequested = false;
};
