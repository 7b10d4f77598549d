// The run button through the real main window, offscreen: captions, the
// controls a run locks, separators, re-reading, the full box, and every
// failure leaving the box and the controls as they were.

#include "frm_gramisola.h"
#include "frm_opzioni.h"
#include "result_box.h"
#include "run_control.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QString kIdle = QStringLiteral("Esegui");
const QString kRunning = QStringLiteral("Interrompi");
const QString kPaused = QStringLiteral("Continua");

// Records the order in which watched widgets change their enabled state.
class EnabledOrder : public QObject {
public:
    explicit EnabledOrder(const QList<QWidget *> &widgets)
    {
        for (QWidget *widget : widgets)
            widget->installEventFilter(this);
    }
    QStringList names;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            names.append(watched->objectName());
        return false;
    }
};

// The text of the warning box the next click opens, closed from a timer.
struct WarningCatcher {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool seen = false;

    void arm()
    {
        QTimer::singleShot(50, [this] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible()) {
                    text = box->text();
                    title = box->windowTitle();
                    icon = box->icon();
                    seen = true;
                    box->accept();
                    return;
                }
            }
            arm(); // not up yet
        });
    }
};

} // namespace

class RunControlTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void withoutAFileOnlyAWarning_data();
    void withoutAFileOnlyAWarning();
    void captionsAndLockedControls();
    void continuingAddsASeparatorOnlyToANonEmptyBox_data();
    void continuingAddsASeparatorOnlyToANonEmptyBox();
    void continuingRereadsTheFileAndTheOrder();
    void anotherFileDuringAPauseClearsTheBox();
    void aFullBoxEndsTheRunAndFreesTheControls();
    void orderOneOnNothingRunsUntilPaused();
    void failuresLeaveEverythingAsItWas_data();
    void failuresLeaveEverythingAsItWas();
    void closingMidRunEndsTheProgram_data();
    void closingMidRunEndsTheProgram();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    void click() { QTest::mouseClick(m_window->cmdExec, Qt::LeftButton); }
    void runUntilGenerating();
    void selectOrder(int order) { m_window->optLevel[order - 1]->setChecked(true); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<frmGramisola> m_window;
    RunControl *m_run = nullptr;
    std::uint64_t m_nextSeed = 1;
};

void RunControlTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_window = std::make_unique<frmGramisola>();
    m_run = new RunControl(m_window.get());
    m_run->setSeedSource([this] { return m_nextSeed++; });
    m_window->show();
}

void RunControlTest::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

QString RunControlTest::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(m_dir->filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the fixture");
    return file.fileName();
}

void RunControlTest::runUntilGenerating()
{
    QSignalSpy generating(m_run, &RunControl::generating);
    click();
    QCOMPARE(m_window->cmdExec->text(), kRunning);
    QVERIFY(generating.wait(10'000));
    const int seeded = m_window->txtResult->textLength();
    QTRY_VERIFY(m_window->txtResult->textLength() > seeded + 20);
}

void RunControlTest::withoutAFileOnlyAWarning_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("idle") << kIdle;
    QTest::newRow("paused") << kPaused;
}

void RunControlTest::withoutAFileOnlyAWarning()
{
    QFETCH(QString, caption);
    m_window->cmdExec->setText(caption);
    m_window->AppendResult(QStringLiteral("testo"));
    WarningCatcher warning;
    warning.arm();
    click();
    QTRY_VERIFY(warning.seen);
    QCOMPARE(warning.text, QStringLiteral("Selezionare il nome di un file di testo"));
    QCOMPARE(warning.title, QStringLiteral("Gramisola"));
    QCOMPARE(warning.icon, QMessageBox::Warning);
    QCOMPARE(m_window->cmdExec->text(), caption);
    QCOMPARE(m_window->txtResult->text(), QStringLiteral("testo"));
    QVERIFY(m_window->cmdLoad->isEnabled());
}

void RunControlTest::captionsAndLockedControls()
{
    m_window->txtFilename->setText(
        writeFile(QStringLiteral("a.txt"), "Il gatto dorme sul tetto della casa rossa.\n"));
    QList<QWidget *> watched{m_window->cmdLoad, m_window->cmdOptions};
    for (QRadioButton *button : m_window->optLevel)
        watched.append(button);
    watched << m_window->cmdClear << m_window->cmdExec << m_window->cmdInfo
            << m_window->cmdClose;
    EnabledOrder order(watched);
    QStringList locked{QStringLiteral("cmdLoad"), QStringLiteral("cmdOptions")};
    for (int i = 0; i < 10; ++i)
        locked.append(QStringLiteral("optLevel_%1").arg(i));
    locked.append(QStringLiteral("cmdClear"));

    runUntilGenerating();
    QCOMPARE(order.names, locked);
    QVERIFY(m_window->cmdInfo->isEnabled() && m_window->cmdClose->isEnabled());

    order.names.clear();
    click();
    QCOMPARE(m_window->cmdExec->text(), kPaused);
    QCOMPARE(order.names, locked);
    for (QWidget *widget : watched)
        QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));

    // The paused run appends nothing more.
    const QString paused = m_window->txtResult->text();
    QTest::qWait(100);
    QCOMPARE(m_window->txtResult->text(), paused);

    // "Informazioni..." during a run leaves it going.
    runUntilGenerating();
    QTest::mouseClick(m_window->cmdInfo, Qt::LeftButton);
    const int before = m_window->txtResult->textLength();
    QTRY_VERIFY(m_window->txtResult->textLength() > before + 20);
    QCOMPARE(m_window->cmdExec->text(), kRunning);
    click();
}

void RunControlTest::continuingAddsASeparatorOnlyToANonEmptyBox_data()
{
    QTest::addColumn<bool>("ignoreLineBreaks");
    QTest::addColumn<bool>("clearFirst");
    QTest::addColumn<QString>("separator");
    QTest::newRow("line break") << false << false << "\r\n";
    QTest::newRow("space when line breaks are ignored") << true << false << " ";
    QTest::newRow("none after clearing") << false << true << "";
}

void RunControlTest::continuingAddsASeparatorOnlyToANonEmptyBox()
{
    QFETCH(bool, ignoreLineBreaks);
    QFETCH(bool, clearFirst);
    QFETCH(QString, separator);
    // One word only, so every seed is "parol" at order 6.
    m_window->txtFilename->setText(writeFile(QStringLiteral("w.txt"), "parola"));
    m_window->optionsDialog()->chkACapo->setChecked(ignoreLineBreaks);
    selectOrder(6);
    runUntilGenerating();
    click();
    if (clearFirst)
        QTest::mouseClick(m_window->cmdClear, Qt::LeftButton);
    QCOMPARE(m_window->cmdExec->text(), kPaused);
    const QString before = m_window->txtResult->text();

    runUntilGenerating();
    click();
    const QString after = m_window->txtResult->text();
    QVERIFY2(after.startsWith(before + separator + QStringLiteral("parol")), qPrintable(after));
}

void RunControlTest::continuingRereadsTheFileAndTheOrder()
{
    const QString path = writeFile(QStringLiteral("r.txt"), QByteArray(200, 'a'));
    m_window->txtFilename->setText(path);
    selectOrder(1);
    runUntilGenerating();
    click();
    const qsizetype before = m_window->txtResult->text().size();
    QVERIFY(!m_window->txtResult->text().contains(u'b'));

    writeFile(QStringLiteral("r.txt"), QByteArray(200, 'b'));
    runUntilGenerating();
    click();
    const QString added = m_window->txtResult->text().mid(before + 2); // after CR LF
    QVERIFY(added.size() > 20);
    QCOMPARE(added, QString(added.size(), u'b'));
}

void RunControlTest::anotherFileDuringAPauseClearsTheBox()
{
    m_window->txtFilename->setText(writeFile(QStringLiteral("x.txt"), QByteArray(100, 'x')));
    selectOrder(1);
    runUntilGenerating();
    click();

    // What choosing a file does: the new path, and the next run starts afresh.
    m_window->txtFilename->setText(writeFile(QStringLiteral("y.txt"), QByteArray(100, 'y')));
    m_window->cmdExec->setText(kIdle);
    runUntilGenerating();
    click();
    const QString text = m_window->txtResult->text();
    QCOMPARE(text, QString(text.size(), u'y'));
}

void RunControlTest::aFullBoxEndsTheRunAndFreesTheControls()
{
    // Order 10, one word: the seed "abcdefghi" then dead ends of ten
    // characters each, so the box fills in few pieces.
    m_window->txtFilename->setText(writeFile(QStringLiteral("f.txt"), "abcdefghij"));
    selectOrder(10);
    QSignalSpy filled(m_run, &RunControl::boxFilled);
    click();
    QVERIFY(filled.wait(120'000));
    const int threshold = 65535 - 2 * 9;
    QVERIFY(m_window->txtResult->textLength() >= threshold);
    QVERIFY(m_window->txtResult->textLength() < threshold + 11);
    QCOMPARE(m_window->cmdExec->text(), kIdle);
    QVERIFY(m_window->cmdLoad->isEnabled() && m_window->cmdClear->isEnabled() &&
            m_window->optLevel[9]->isEnabled() && m_window->cmdOptions->isEnabled());

    // Pressed again: a fresh box with the same file, options and order.
    QSignalSpy generating(m_run, &RunControl::generating);
    click();
    QVERIFY(generating.wait(10'000));
    click();
    QCOMPARE(m_window->cmdExec->text(), kPaused);
    QVERIFY(m_window->txtResult->textLength() < threshold / 2);
    QVERIFY(m_window->txtResult->text().startsWith(QStringLiteral("abcdefghi")));
}

void RunControlTest::orderOneOnNothingRunsUntilPaused()
{
    m_window->txtFilename->setText(writeFile(QStringLiteral("s.txt"), "   \t  \f "));
    selectOrder(1);
    QSignalSpy generating(m_run, &RunControl::generating);
    click();
    QVERIFY(generating.wait(10'000));
    QTest::qWait(200);
    QCOMPARE(m_window->cmdExec->text(), kRunning);
    QCOMPARE(m_window->txtResult->textLength(), 0);
    click();
    QCOMPARE(m_window->cmdExec->text(), kPaused);
}

void RunControlTest::failuresLeaveEverythingAsItWas_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("message");
    QTest::newRow("file gone, idle") << "missing" << kIdle << "Il file non esiste";
    QTest::newRow("file gone, paused") << "missing" << kPaused << "Il file non esiste";
    QTest::newRow("a directory") << "directory" << kPaused << "cartella";
    QTest::newRow("an empty file") << "empty" << kIdle << "è vuoto";
    QTest::newRow("too large") << "large" << kPaused << "troppo grande";
}

void RunControlTest::failuresLeaveEverythingAsItWas()
{
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QString, message);
    QString path = m_dir->filePath(QStringLiteral("gone.txt"));
    if (kind == u"directory") {
        path = m_dir->filePath(QStringLiteral("cartella.txt"));
        QVERIFY(QDir().mkdir(path));
    } else if (kind == u"empty") {
        path = writeFile(QStringLiteral("empty.txt"), QByteArray());
    } else if (kind == u"large") {
        path = writeFile(QStringLiteral("large.txt"), QByteArray());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(129LL * 1024 * 1024)); // sparse
    }
    m_window->txtFilename->setText(path);
    m_window->cmdExec->setText(caption);
    m_window->AppendResult(QStringLiteral("prima\rriga"));
    const QString before = m_window->txtResult->text();
    const int length = m_window->txtResult->textLength();

    WarningCatcher warning;
    warning.arm();
    click();
    QTRY_VERIFY_WITH_TIMEOUT(warning.seen, 10'000);
    QVERIFY2(warning.text.contains(message), qPrintable(warning.text));
    QVERIFY2(warning.text.contains(path), qPrintable(warning.text));
    QCOMPARE(warning.icon, QMessageBox::Warning);
    QCOMPARE(m_window->txtResult->text(), before);
    QCOMPARE(m_window->txtResult->textLength(), length);
    QCOMPARE(m_window->cmdExec->text(), caption);
    QVERIFY(m_window->cmdLoad->isEnabled() && m_window->cmdClear->isEnabled() &&
            m_window->optLevel[0]->isEnabled() && m_window->cmdOptions->isEnabled());
}

void RunControlTest::closingMidRunEndsTheProgram_data()
{
    QTest::addColumn<QString>("close");
    QTest::addColumn<int>("lines");
    QTest::newRow("Esci while generating") << "button" << 200;
    QTest::newRow("frame while generating") << "frame" << 200;
    // 12 MB: the close comes while the file is still being prepared.
    QTest::newRow("Esci while preparing a large file") << "button" << 400'000;
}

void RunControlTest::closingMidRunEndsTheProgram()
{
    QFETCH(QString, close);
    QFETCH(int, lines);
    const QString path = writeFile(QStringLiteral("close.txt"),
                                   QByteArray("Il gatto dorme sul tetto, 12 volte.\r\n").repeated(lines));
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("GRAMISOLA_TEST_AUTOCLOSE"),
               QStringLiteral("file:%1,exec,info,%2").arg(path, close));
    program.setProcessEnvironment(env);
    program.start(qEnvironmentVariable("GRAMISOLA_APP"), QStringList());
    QVERIFY(program.waitForFinished(30'000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_MAIN(RunControlTest)
#include "tst_run_control.moc"
