#pragma once

#include "layout_rule.h"
#include "run_control.h"
#include "taskbar_progress.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class OpenFileDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class ResultBox;
class frmOpzioni;

// The main window: the chosen file, the order selector, the run button and the
// output box. It owns its run: the run control it creates tells it what
// happened, and showRunState() alone turns the run's state into the caption of
// cmdExec and the enabled controls. Closing the window, by cmdClose or by the
// frame, ends the program with exit status 0, whatever other windows are open.
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

    // The options dialog, owned by this window; created hidden on first use.
    frmOpzioni *optionsDialog();

    // Replaces the open-file dialog cmdLoad uses (Qt's own non-native dialog,
    // or one that fails on demand). The window owns it.
    void setFileDialog(std::unique_ptr<OpenFileDialog> dialog);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // The click of cmdExec: warns when no file is chosen, else pauses a run
    // or starts (continues) one.
    void runOrPause();
    // The click of cmdLoad: lets the user pick the source file.
    void chooseFile();
    // The click of cmdOptions: shows the options dialog modally.
    void showOptions();
    // The click of cmdInfo: shows the about window.
    void showInfo();

    // Takes `path` as the source file (a choice in the file dialog or a drop):
    // into txtFilename, and the next run starts afresh.
    void setSourceFile(const QString &path);
    // The caption of cmdExec for `state`, then the controls a run locks
    // enabled or disabled in order: cmdLoad, cmdOptions, optLevel(0..9), cmdClear.
    void showRunState(RunState state);
    // A long preparation's stage and share done, over the bottom of the output
    // box and on the taskbar entry, until the first character comes.
    void showProgress(const StageProgress &progress);
    // A run could not start: the box gets back what it held before the click.
    void reportStartFailure(const QString &message);
    void warn(const QString &message);
    // The order (1..10) of the first checked optLevel button; nothing when
    // none is checked, which the window never lets happen (it checks one at
    // creation, and the buttons' group keeps one checked).
    std::optional<int> selectedOrder() const;

    void createControls();
    void applyGeometry();
    void updateMinimumSize();

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
    QProgressBar *prgPreparation = nullptr;

    MainWindowGeometry m_geometry = MainWindowGeometry::design();
    std::unique_ptr<OpenFileDialog> m_fileDialog;
    QPointer<frmOpzioni> m_optionsDialog;
    RunControl *m_run = nullptr;
    TaskbarProgress m_taskbarProgress;
    QString m_boxBeforeStart;
    bool m_busyCursor = false;
    bool m_closeRequested = false;
};
