#include "frm_gramisola.h"

#include "file_selection.h"
#include "frm_info.h"
#include "frm_opzioni.h"
#include "result_box.h"
#include "twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <algorithm>

namespace {

// The outer size the frame may not be dragged below, in pixels.
constexpr QSize kMinimumOuterSize(720, 200);
// The client area at creation, in twips.
constexpr int kClientWidthTwips = 11175;
constexpr int kClientHeightTwips = 6855;

// The optLevel button with index i (0..9) stands for order i + 1.
constexpr int OrderOfButton(int index)
{
    return index + 1;
}

const QString kCaptionIdle = QStringLiteral("Esegui");
const QString kCaptionRunning = QStringLiteral("Interrompi");
const QString kCaptionPaused = QStringLiteral("Continua");

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    // Enter and Return press the focused button, as Space does.
    button->setAutoDefault(true);
    return button;
}

void UseButtonFaceBackground(QWidget *widget)
{
    QPalette pal = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::Base, pal.color(group, QPalette::Button));
    widget->setPalette(pal);
}

} // namespace

frmGramisola::frmGramisola(QWidget *parent)
    : QWidget(parent), m_fileDialog(std::make_unique<QtOpenFileDialog>()),
      m_taskbarProgress(QGuiApplication::desktopFileName())
{
    setObjectName(QStringLiteral("frmGramisola"));
    setWindowTitle(QStringLiteral("Gramisola"));
    setAcceptDrops(true);
    createControls();
    applyGeometry();
    resize(TwipsToPixels(kClientWidthTwips), TwipsToPixels(kClientHeightTwips));
    updateMinimumSize();
    optLevel[3]->setChecked(true);

    m_run = new RunControl(this);
    connect(m_run, &RunControl::stateChanged, this, &frmGramisola::showRunState);
    connect(m_run, &RunControl::clearRequested, this, &frmGramisola::ClearResult);
    connect(m_run, &RunControl::appendRequested, this, &frmGramisola::AppendResult);
    connect(m_run, &RunControl::progressed, this, &frmGramisola::showProgress);
    connect(m_run, &RunControl::startFailed, this, &frmGramisola::reportStartFailure);
    connect(m_run, &RunControl::generationFailed, this, &frmGramisola::warn);

    connect(cmdExec, &QPushButton::clicked, this, &frmGramisola::runOrPause);
    connect(cmdLoad, &QPushButton::clicked, this, &frmGramisola::chooseFile);
    connect(cmdOptions, &QPushButton::clicked, this, &frmGramisola::showOptions);
    connect(cmdClear, &QPushButton::clicked, this, &frmGramisola::ClearResult);
    connect(cmdInfo, &QPushButton::clicked, this, &frmGramisola::showInfo);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
}

frmGramisola::~frmGramisola()
{
    if (m_busyCursor)
        QApplication::restoreOverrideCursor();
}

void frmGramisola::createControls()
{
    // Created in tab order: the focus chain follows creation, and this is the
    // only way to give the label its place in it (Qt's setTabOrder skips
    // widgets that take no focus). No caption holds '&', so none has a shortcut.
    cmdLoad = MakeButton(this, "cmdLoad", QStringLiteral("Carica file..."));

    txtFilename = new QLineEdit(this);
    txtFilename->setObjectName(QStringLiteral("txtFilename"));
    txtFilename->setReadOnly(true);
    txtFilename->setAccessibleName(QStringLiteral("File di testo"));
    UseButtonFaceBackground(txtFilename);

    cmdExec = MakeButton(this, "cmdExec", QStringLiteral("Esegui"));

    lblLevel = new QLabel(QStringLiteral("Ordine:"), this);
    lblLevel->setObjectName(QStringLiteral("lblLevel"));

    // Siblings under one parent: Qt makes the radio buttons one exclusive group.
    for (int i = 0; i < int(optLevel.size()); ++i) {
        optLevel[i] = new QRadioButton(QString::number(OrderOfButton(i)), this);
        optLevel[i]->setObjectName(QStringLiteral("optLevel_%1").arg(i));
        // A screen reader hears what the bare digit means.
        optLevel[i]->setAccessibleName(QStringLiteral("Ordine %1").arg(OrderOfButton(i)));
    }
    lblLevel->setBuddy(optLevel[0]);

    cmdOptions = MakeButton(this, "cmdOptions", QStringLiteral("Opzioni..."));

    txtResult = new ResultBox(this);
    txtResult->setObjectName(QStringLiteral("txtResult"));
    txtResult->setAccessibleName(QStringLiteral("Testo generato"));

    cmdClear = MakeButton(this, "cmdClear", QStringLiteral("Cancella finestra"));
    cmdInfo = MakeButton(this, "cmdInfo", QStringLiteral("Informazioni..."));
    cmdClose = MakeButton(this, "cmdClose", QStringLiteral("Esci"));

    // Created last, so that it lies above the output box.
    prgPreparation = new QProgressBar(this);
    prgPreparation->setObjectName(QStringLiteral("prgPreparation"));
    // In thousandths, so that a long stage moves the bar several times a
    // second; the caption and screen readers give the percentage.
    prgPreparation->setRange(0, 1000);
    prgPreparation->hide();
}

void frmGramisola::applyGeometry()
{
    const MainWindowGeometry &g = m_geometry;
    cmdLoad->setGeometry(TwipsToPixels(g.cmdLoad));
    txtFilename->setGeometry(TwipsToPixels(g.txtFilename));
    cmdExec->setGeometry(TwipsToPixels(g.cmdExec));
    // The label sizes itself to its caption; only its corner comes from the table.
    lblLevel->move(TwipsToPixels(g.lblLevel).topLeft());
    lblLevel->adjustSize();
    for (int i = 0; i < int(optLevel.size()); ++i)
        optLevel[i]->setGeometry(TwipsToPixels(g.optLevel[i]));
    cmdOptions->setGeometry(TwipsToPixels(g.cmdOptions));
    txtResult->setGeometry(TwipsToPixels(g.txtResult));
    cmdClear->setGeometry(TwipsToPixels(g.cmdClear));
    cmdInfo->setGeometry(TwipsToPixels(g.cmdInfo));
    cmdClose->setGeometry(TwipsToPixels(g.cmdClose));
    // The progress lies inside the output box's frame, along its bottom and
    // clear of its scroll bar: it moves nothing the layout places. A box too
    // low for it shows what fits.
    const QRect box = txtResult->geometry();
    const int inset = txtResult->frameWidth() + fontMetrics().height() / 2;
    const int right = inset + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int height = std::clamp(box.height() - 2 * inset, 0, prgPreparation->sizeHint().height());
    prgPreparation->setGeometry(box.left() + inset, box.bottom() + 1 - inset - height,
                                std::max(0, box.width() - inset - right), height);
}

void frmGramisola::updateMinimumSize()
{
    // Qt bounds the client area; the limit is on the outer size, so take off the
    // frame the window system reports. Before the frame is known (and where
    // there is none) the margins read zero and the client gets the whole limit.
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize client = (kMinimumOuterSize - frame).expandedTo(QSize(0, 0));
    if (minimumSize() != client)
        setMinimumSize(client);
}

void frmGramisola::ClearResult()
{
    txtResult->clearText();
}

void frmGramisola::AppendResult(const QString &text)
{
    txtResult->appendText(text);
}

std::optional<int> frmGramisola::selectedOrder() const
{
    for (int i = 0; i < int(optLevel.size()); ++i)
        if (optLevel[i]->isChecked())
            return OrderOfButton(i);
    return std::nullopt;
}

void frmGramisola::runOrPause()
{
    if (txtFilename->text().isEmpty()) {
        warn(QStringLiteral("Selezionare il nome di un file di testo"));
        return;
    }
    if (m_run->state() != RunState::Idle && m_run->state() != RunState::Paused) {
        m_run->pause();
        return;
    }
    // Kept until the run has started, so that a file that cannot be used
    // leaves the box exactly as it was.
    m_boxBeforeStart = txtResult->text();
    // With no order button checked the run takes the lowest order.
    m_run->start(RunRequest{txtFilename->text(), optionsDialog()->options(),
                            selectedOrder().value_or(1), txtResult->textLength(),
                            txtResult->MaxLength()});
}

void frmGramisola::showRunState(RunState state)
{
    const bool stopped = state == RunState::Idle || state == RunState::Paused;
    if (state == RunState::Idle)
        cmdExec->setText(kCaptionIdle);
    else if (state == RunState::Paused)
        cmdExec->setText(kCaptionPaused);
    else
        cmdExec->setText(kCaptionRunning);
    cmdLoad->setEnabled(stopped);
    cmdOptions->setEnabled(stopped);
    for (QRadioButton *button : optLevel)
        button->setEnabled(stopped);
    cmdClear->setEnabled(stopped);
    if (state != RunState::Preparing) {
        prgPreparation->hide();
        m_taskbarProgress.hide();
    }

    // Busy, not wait: the window still answers while a big file is prepared.
    const bool busy = state == RunState::Preparing || state == RunState::Waiting;
    if (busy && !m_busyCursor)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else if (!busy && m_busyCursor)
        QApplication::restoreOverrideCursor();
    m_busyCursor = busy;
}

void frmGramisola::showProgress(const StageProgress &progress)
{
    const QString stage = RunStageName(progress.stage);
    prgPreparation->setAccessibleName(stage);
    if (progress.work > 0) {
        prgPreparation->setFormat(stage + QStringLiteral(": %p%"));
        prgPreparation->setMaximum(1000);
        prgPreparation->setValue(int(1000 * progress.fraction()));
        m_taskbarProgress.show(progress.fraction());
    } else { // a stage whose work is not known beforehand: a busy bar
        prgPreparation->setFormat(stage);
        prgPreparation->setMaximum(0);
        m_taskbarProgress.hide();
    }
    prgPreparation->show();
}

void frmGramisola::reportStartFailure(const QString &message)
{
    txtResult->restoreText(m_boxBeforeStart);
    warn(message);
}

void frmGramisola::warn(const QString &message)
{
    QMessageBox::warning(this, windowTitle(), message);
}

frmOpzioni *frmGramisola::optionsDialog()
{
    if (!m_optionsDialog)
        m_optionsDialog = new frmOpzioni(this);
    return m_optionsDialog;
}

void frmGramisola::setFileDialog(std::unique_ptr<OpenFileDialog> dialog)
{
    m_fileDialog = std::move(dialog);
}

void frmGramisola::chooseFile()
{
    if (const std::optional<QString> path = ChooseSourceFile(this, *m_fileDialog))
        setSourceFile(*path);
}

void frmGramisola::setSourceFile(const QString &path)
{
    txtFilename->setText(path);
    m_run->startAfresh();
}

void frmGramisola::showOptions()
{
    optionsDialog()->exec();
}

void frmGramisola::showInfo()
{
    frmInfo::showInfo();
}

void frmGramisola::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_geometry = ApplyResizeRule(PixelsToTwips(width()), PixelsToTwips(height()), m_geometry);
    applyGeometry();
    updateMinimumSize();
}

void frmGramisola::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateMinimumSize();
}

void frmGramisola::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // A window manager that frames the window moves it; the frame is known then.
    updateMinimumSize();
}

void frmGramisola::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_closeRequested)
        return;
    m_closeRequested = true;
    // The program ends with this window: every event loop is told to leave, the
    // main one and any nested modal one, and the other windows go down with it.
    QCoreApplication::exit(0);
    const QWidgetList windows = QApplication::topLevelWidgets();
    QList<QPointer<QWidget>> others;
    for (QWidget *window : windows)
        if (window != this && window->isVisible())
            others.append(window);
    for (const QPointer<QWidget> &window : others)
        if (window && !window->close())
            window->hide();
}

void frmGramisola::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void frmGramisola::dragMoveEvent(QDragMoveEvent *event)
{
    // Asked again at every move: a run may start while the drag goes on.
    if (cmdLoad->isEnabled() && DroppedSourceFile(*event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void frmGramisola::dropEvent(QDropEvent *event)
{
    // The state may have changed since the drag entered (a run may have started).
    const std::optional<QString> path =
        cmdLoad->isEnabled() ? DroppedSourceFile(*event->mimeData()) : std::nullopt;
    if (!path) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setSourceFile(*path);
}
