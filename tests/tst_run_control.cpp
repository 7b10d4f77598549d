// The run button through the real main window, offscreen, as a user drives
// it: captions, the controls a run locks, separators, re-reading, the full
// box, the busy cursor, and every failure leaving the box and the controls as
// they were.

#include "corpus.h"
#include "find_control.h"
#include "frm_gramisola.h"
#include "frm_opzioni.h"
#include "result_box.h"
#include "run_control.h"
#include "temp_files.h"
#include "when_shown.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <optional>
#include <sys/resource.h>

Q_DECLARE_METATYPE(RunStage)

namespace {

const QString kIdle = QStringLiteral("Esegui");
const QString kRunning = QStringLiteral("Interrompi");
const QString kPaused = QStringLiteral("Continua");

QString StageName(RunStage stage)
{
    const char *const names[] = {"digest", "read", "decode", "prepare", "index", "seed"};
    return QLatin1String(names[int(stage)]);
}

// The processor time this process has used, its threads together, in seconds:
// the work done, however busy the machine is.
double WorkSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

} // namespace

class TestRunControl : public QObject {
    Q_OBJECT
private slots:
    // A session bus of the test's own, before any window may use one: a
    // window's taskbar progress goes there.
    void initTestCase()
    {
        m_bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
        QVERIFY(m_bus.waitForReadyRead(10'000));
        m_busAddress = QString::fromUtf8(m_bus.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress.toUtf8());
    }

    void cleanupTestCase()
    {
        m_bus.kill();
        m_bus.waitForFinished();
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_window = std::make_unique<frmGramisola>();
        m_window->show();
    }

    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    void captionsAndLockedControls()
    {
        setFile(write("a.txt", "Il gatto dorme sul tetto della casa rossa.\n"));
        // Every control of the window reports its enabled changes to
        // eventFilter(), and its showing: short work shows no progress.
        for (QWidget *w : m_window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            w->installEventFilter(this);
        QStringList locked{QStringLiteral("cmdLoad"), QStringLiteral("cmdOptions")};
        for (int i = 0; i < 10; ++i)
            locked.append(QStringLiteral("optLevel_%1").arg(i));
        locked.append(QStringLiteral("cmdClear"));

        runUntilGenerating();
        QCOMPARE(m_enabledChanges, locked);

        m_enabledChanges.clear();
        click();
        QCOMPARE(exec()->text(), kPaused);
        QCOMPARE(m_enabledChanges, locked);
    }

    void continuingReadsTheFileAgainAfterASeparator_data()
    {
        QTest::addColumn<bool>("ignoreLineBreaks");
        QTest::addColumn<bool>("pausedEarly");
        QTest::addColumn<QString>("separator");
        QTest::newRow("line break") << false << false << "\r\n";
        QTest::newRow("space when line breaks are ignored") << true << false << " ";
        // A continuation paused before its first piece leaves the box as it
        // was, so the next one still adds a single separator.
        QTest::newRow("line break after a continuation paused early") << false << true << "\r\n";
        QTest::newRow("space after a continuation paused early") << true << true << " ";
    }

    void continuingReadsTheFileAgainAfterASeparator()
    {
        QFETCH(bool, ignoreLineBreaks);
        QFETCH(bool, pausedEarly);
        QFETCH(QString, separator);
        // One word only, so every seed is its first five letters at order 6.
        setFile(write("w.txt", "parola"));
        Control<QCheckBox>(*m_window->optionsDialog(), QStringLiteral("chkACapo"))
            ->setChecked(ignoreLineBreaks);
        selectOrder(6);
        runUntilGenerating();
        click();
        const QString before = box()->text();
        if (pausedEarly) {
            // Two clicks with no event handled between them: the preparation
            // cannot have finished.
            click();
            click();
            QCOMPARE(exec()->text(), kPaused);
            QTest::qWait(100); // the dropped preparation ends meanwhile
            QCOMPARE(box()->text(), before);
        }
        write("w.txt", "tavola"); // changed on disk during the pause

        runUntilGenerating();
        click();
        const QString after = box()->text();
        QVERIFY2(after.startsWith(before + separator + QStringLiteral("tavol")), qPrintable(after));
    }

    void pausedBeforeTheFirstPiece()
    {
        // Two clicks with no event handled between them: the preparation
        // cannot have finished, and the box must not wait for it to be emptied.
        setFile(write("a.txt", "parola parola parola"));
        selectOrder(6);
        m_window->AppendResult(QStringLiteral("di prima"));
        click();
        QCOMPARE(box()->textLength(), 0);
        QCOMPARE(cursorShape(), int(Qt::BusyCursor));
        click();
        QCOMPARE(exec()->text(), kPaused);
        QCOMPARE(cursorShape(), -1);
        QTest::qWait(200); // the dropped preparation ends meanwhile
        QCOMPARE(box()->textLength(), 0);

        // Continuing into an empty box adds no separator.
        click();
        QTRY_VERIFY(box()->textLength() > 20);
        QCOMPARE(cursorShape(), -1); // gone with the first piece
        click();
        QVERIFY2(box()->text().startsWith(QStringLiteral("parol")), qPrintable(box()->text()));
        // "Cancella finestra" leaves the caption as it is.
        QTest::mouseClick(button("cmdClear"), Qt::LeftButton);
        QCOMPARE(exec()->text(), kPaused);
    }

    void aFullBoxEndsTheRunAndFreesTheControls_data()
    {
        // Order 10, one word: every choice is forced. The seed "abcdefghi",
        // then "j", then a dead end: the separator and the seed again. The
        // run stops at the first piece that reaches 65535 - 2 * 9 = 65517.
        QTest::addColumn<bool>("ignoreLineBreaks");
        QTest::addColumn<int>("length");
        // CR counts two: 9, 10, 21, 22 ... 9 + 12 * 5459 = 65517 exactly.
        QTest::newRow("lands on the threshold") << false << 65517;
        // A space: 9, 10, 20, 21 ... 65514, 65515, then past it to 65525.
        QTest::newRow("goes past the threshold") << true << 65525;
    }

    void aFullBoxEndsTheRunAndFreesTheControls()
    {
        QFETCH(bool, ignoreLineBreaks);
        setFile(write("f.txt", "abcdefghij"));
        Control<QCheckBox>(*m_window->optionsDialog(), QStringLiteral("chkACapo"))
            ->setChecked(ignoreLineBreaks);
        selectOrder(10);
        click();
        QTRY_COMPARE_WITH_TIMEOUT(exec()->text(), kIdle, 120'000);
        QTEST(box()->textLength(), "length");
        for (const char *name : {"cmdLoad", "cmdClear", "optLevel_9", "cmdOptions"})
            QVERIFY2(m_window->findChild<QWidget *>(QLatin1String(name))->isEnabled(), name);
    }

    void orderOneOnNothingRunsUntilPaused()
    {
        setFile(write("s.txt", "   \t  \f "));
        selectOrder(1);
        click();
        QTest::qWait(300);
        QCOMPARE(exec()->text(), kRunning);
        QCOMPARE(box()->textLength(), 0);
        QCOMPARE(cursorShape(), -1); // prepared: nothing to show, but no longer busy
        click();
        QCOMPARE(exec()->text(), kPaused);
    }

    void failuresLeaveEverythingAsItWas_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<QString>("message");
        // Every refusal of the file reaches the window the same way; how each
        // is worded is the reading's own business.
        QTest::newRow("no file chosen")
            << "none" << true << "Selezionare il nome di un file di testo";
        QTest::newRow("file gone on Esegui") << "missing" << false << "Il file non esiste";
        QTest::newRow("file gone on Continua") << "missing" << true << "Il file non esiste";
        QTest::newRow("empty file on Continua") << "empty" << true << "è vuoto";
    }

    void failuresLeaveEverythingAsItWas()
    {
        QFETCH(QString, kind);
        QFETCH(bool, paused);
        QFETCH(QString, message);
        if (paused) { // a real run first, paused, with text in the box
            setFile(write("good.txt", "Il gatto dorme sul tetto della casa rossa."));
            runUntilGenerating();
            click();
        } else {
            m_window->AppendResult(QStringLiteral("prima\rriga"));
        }
        QString path = m_dir->filePath(QStringLiteral("gone.txt"));
        if (kind == u"none")
            path.clear();
        else if (kind == u"empty")
            path = write("empty.txt", "");
        setFile(path);
        const QString caption = exec()->text();
        const QString before = box()->text();

        QStringList warning; // text, title, icon
        WhenShown<QMessageBox>(this, [&warning](QMessageBox *box) {
            warning = {box->text(), box->windowTitle(), QString::number(box->icon())};
            box->accept();
        });
        click();
        QTRY_VERIFY_WITH_TIMEOUT(!warning.isEmpty(), 10'000);
        // Said once, with the file named once: no second prefix.
        QVERIFY2(warning[0].contains(message) && (path.isEmpty() || warning[0].count(path) == 1),
                 qPrintable(warning[0]));
        QCOMPARE(warning.mid(1), (QStringList{"Gramisola", QString::number(QMessageBox::Warning)}));
        QCOMPARE(box()->text(), before);
        QCOMPARE(exec()->text(), caption);
        QCOMPARE(cursorShape(), -1);
    }

    // The run control lends what its runs made to each preparation and takes
    // it back however it ends: a continuation paused as it begins an index
    // hands the text back, and the next one neither reads nor prepares it.
    void aPausedContinuationKeepsTheText()
    {
        RunControl control;
        QStringList stages;
        std::optional<RunStage> pauseAt;
        connect(&control, &RunControl::stageChanged, this, [&](RunStage stage) {
            stages.append(StageName(stage));
            if (stage == pauseAt)
                control.pause();
        });
        const QString path = write("k.txt", ItalianLikeText(1'000'000, 3).toUtf8());
        const auto startAt = [&](int order, std::optional<RunStage> pause) {
            stages.clear();
            pauseAt = pause;
            control.start(RunRequest{path, PreparationOptions(), order, 0, 65535});
            const RunState until = pause ? RunState::Paused : RunState::Running;
            const bool reached = QTest::qWaitFor([&] { return control.state() == until; }, 30'000);
            control.pause();
            return reached ? stages.join(u',') : QStringLiteral("never reached");
        };
        QCOMPARE(startAt(4, std::nullopt), "read,digest,decode,prepare,index,seed");
        QCOMPARE(startAt(10, RunStage::Indexing), "digest,index");
        QTest::qWait(300); // the dropped preparation hands the text back meanwhile
        const QString next = startAt(10, std::nullopt);
        QVERIFY2(next == u"digest,index,seed" || next == u"digest,seed", qPrintable(next));
    }

    // A pause stops the preparation it drops: no stage begins after it, nor
    // does a start made and paused while that preparation still ends.
    void aPauseStopsThePreparationItDrops_data()
    {
        QTest::addColumn<RunStage>("pauseAt");
        QTest::addColumn<bool>("startAndPauseAgain");
        QTest::newRow("paused while preparing") << RunStage::Preparing << false;
        QTest::newRow("paused while waiting for a dropped one") << RunStage::Preparing << true;
    }

    void aPauseStopsThePreparationItDrops()
    {
        QFETCH(RunStage, pauseAt);
        QFETCH(bool, startAndPauseAgain);
        RunControl control;
        const RunRequest request{write("big.txt", ItalianLikeText(4'000'000, 11).toUtf8()),
                                 PreparationOptions(), 10, 0, 65535};
        bool paused = false;
        QStringList afterPause;
        connect(&control, &RunControl::stageChanged, this, [&](RunStage stage) {
            if (paused)
                afterPause.append(StageName(stage));
            if (stage != pauseAt || paused)
                return;
            paused = true;
            control.pause();
            if (startAndPauseAgain) { // before the dropped preparation hands the run back
                control.start(request);
                QCOMPARE(control.state(), RunState::Waiting);
                control.pause();
            }
        });
        control.start(request);
        QTRY_VERIFY_WITH_TIMEOUT(paused, 60'000);
        QTest::qWait(500); // the dropped preparation ends meanwhile
        QCOMPARE(afterPause.join(u','), QString());
        QCOMPARE(control.state(), RunState::Paused);
        control.start(request);
        QTRY_COMPARE_WITH_TIMEOUT(control.state(), RunState::Running, 120'000);
    }

    // Destroying the window, as closing it does, stops the preparation under
    // way: the work done meanwhile is far less than one preparation's.
    void destroyingTheWindowStopsThePreparation()
    {
        setFile(write("big.txt", ItalianLikeText(4'000'000, 11).toUtf8()));
        selectOrder(10);
        double start = WorkSeconds();
        runUntilGenerating(60'000);
        click();
        const double one = WorkSeconds() - start;
        // Another text, so that nothing of the paused run is taken over.
        write("big.txt", ItalianLikeText(4'000'000, 12).toUtf8());
        start = WorkSeconds();
        click();
        m_window.reset();
        const double work = WorkSeconds() - start;
        QVERIFY2(work < 0.5 * one, qPrintable(QStringLiteral("one preparation %1 s, closing %2 s")
                                                  .arg(one, 0, 'f', 2)
                                                  .arg(work, 0, 'f', 2)));
    }

    // A long preparation shows its stage and share done, as a progress bar a
    // screen reader finds and on the taskbar entry, never going back within a stage, and gone with
    // the first character. Nothing shows in its first 0.3 s: short work shows nothing.
    void aLongPreparationShowsItsProgress()
    {
        QDBusConnection watcher =
            QDBusConnection::connectToBus(m_busAddress, QStringLiteral("watch"));
        QVERIFY(watcher.connect(
            QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
            QStringLiteral("Update"), this, SLOT(taskbarUpdated(QString, QVariantMap))));
        auto *bar = Control<QProgressBar>(*m_window, QStringLiteral("prgPreparation"));
        QStringList stages; // as a screen reader names them, in the order shown
        QElapsedTimer sinceClick;
        qint64 firstShownMs = -1;
        int last = 0;
        connect(bar, &QProgressBar::valueChanged, this, [&](int value) {
            if (firstShownMs < 0)
                firstShownMs = sinceClick.elapsed();
            QAccessibleInterface *shown = QAccessible::queryAccessibleInterface(bar);
            QCOMPARE(shown->role(), QAccessible::ProgressBar);
            QCOMPARE(shown->valueInterface()->currentValue().toInt(), value);
            if (stages.isEmpty() || shown->text(QAccessible::Name) != stages.last())
                stages.append(shown->text(QAccessible::Name));
            else
                QVERIFY2(value >= last,
                         qPrintable(QStringLiteral("%1 then %2").arg(last).arg(value)));
            last = value;
        });
        // About two seconds of preparation here, at order 10.
        setFile(write("big.txt", ItalianLikeText(32'000'000, 13).toUtf8()));
        selectOrder(10);
        sinceClick.start();
        runUntilGenerating(120'000);
        QVERIFY(!bar->isVisible());
        QVERIFY2(firstShownMs >= 300, qPrintable(QString::number(firstShownMs)));
        QVERIFY2(stages.contains(RunStageName(RunStage::Indexing)), qPrintable(stages.join(u',')));
        QTRY_VERIFY(!m_taskbar.isEmpty() && !m_taskbar.last().value("progress-visible").toBool());
        QVERIFY(m_taskbar.first().value("progress-visible").toBool());
    }

public slots:
    void taskbarUpdated(const QString &, const QVariantMap &properties)
    {
        m_taskbar.append(properties);
    }

private slots:
    void closingEndsTheProgram_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("lines");
        QTest::newRow("Esci while generating") << "exec,info,button" << 200;
        QTest::newRow("frame while generating") << "exec,info,frame" << 200;
        // 12 MB at order 10: the close comes while the file is still being
        // prepared, and the window waits for its worker to give up.
        QTest::newRow("Esci while preparing a large file") << "order:10,exec,button" << 400'000;
        QTest::newRow("Esci in the modal options dialog, about window open")
            << "info,options,button" << 1;
    }

    void closingEndsTheProgram()
    {
        QFETCH(QString, steps);
        QFETCH(int, lines);
        const QString path = write(
            "close.txt", QByteArray("Il gatto dorme sul tetto, 12 volte.\r\n").repeated(lines));
        QProcess program;
        program.start(qEnvironmentVariable("GRAMISOLA_SCRIPTED"),
                      (QStringLiteral("file:") + path + u',' + steps).split(u','));
        QVERIFY(program.waitForFinished(30'000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

private:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange || event->type() == QEvent::Show)
            m_enabledChanges.append(watched->objectName());
        return false;
    }

    QString write(const char *name, const QByteArray &bytes)
    {
        return WriteTempFile(*m_dir, QLatin1String(name), bytes);
    }

    QPushButton *button(const char *name)
    {
        return Control<QPushButton>(*m_window, QLatin1String(name));
    }
    QPushButton *exec() { return button("cmdExec"); }
    ResultBox *box() { return Control<ResultBox>(*m_window, QStringLiteral("txtResult")); }
    void click() { QTest::mouseClick(exec(), Qt::LeftButton); }

    // The path in txtFilename, as if chosen (without starting afresh).
    void setFile(const QString &path)
    {
        Control<QLineEdit>(*m_window, QStringLiteral("txtFilename"))->setText(path);
    }

    void selectOrder(int order)
    {
        Control<QRadioButton>(*m_window, QStringLiteral("optLevel_%1").arg(order - 1))
            ->setChecked(true);
    }

    // The shape of the cursor the program puts over every window, -1 for none.
    static int cursorShape()
    {
        return QApplication::overrideCursor() ? int(QApplication::overrideCursor()->shape()) : -1;
    }

    void runUntilGenerating(int timeoutMs = 10'000)
    {
        click();
        QCOMPARE(exec()->text(), kRunning);
        const int start = box()->textLength();
        QTRY_VERIFY_WITH_TIMEOUT(box()->textLength() > start + 20, timeoutMs);
    }

    QProcess m_bus;
    QString m_busAddress;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<frmGramisola> m_window;
    QStringList m_enabledChanges;
    QList<QVariantMap> m_taskbar; // the taskbar updates the window sent
};

QTEST_MAIN(TestRunControl)
#include "tst_run_control.moc"
