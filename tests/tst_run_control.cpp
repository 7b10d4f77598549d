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

// Closes the next warning box from a timer, keeping what it showed.
struct WarningCatcher : QObject {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool seen = false;

    void arm()
    {
        QTimer::singleShot(50, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return arm(); // not up yet
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            seen = true;
            box->accept();
        });
    }
};

} // namespace

class RunControlTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_window = std::make_unique<frmGramisola>();
        m_run = new RunControl(m_window.get());
        m_run->setSeedSource([this] { return m_nextSeed++; });
        m_window->show();
    }

    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    void captionsAndLockedControls()
    {
        m_window->txtFilename->setText(
            writeFile(QStringLiteral("a.txt"), "Il gatto dorme sul tetto della casa rossa.\n"));
        // Every control of the window reports its enabled changes to eventFilter().
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
        QCOMPARE(m_window->cmdExec->text(), kPaused);
        QCOMPARE(m_enabledChanges, locked);
        for (QWidget *w : m_window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));

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

    void continuingAddsASeparatorOnlyToANonEmptyBox_data()
    {
        QTest::addColumn<bool>("ignoreLineBreaks");
        QTest::addColumn<bool>("clearFirst");
        QTest::addColumn<QString>("separator");
        QTest::newRow("line break") << false << false << "\r\n";
        QTest::newRow("space when line breaks are ignored") << true << false << " ";
        QTest::newRow("none after clearing") << false << true << "";
    }

    void continuingAddsASeparatorOnlyToANonEmptyBox()
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

    void eachRunReadsTheFileAgain_data()
    {
        QTest::addColumn<bool>("newFile");
        QTest::newRow("Continua appends the changed file after CR LF") << false;
        QTest::newRow("another file clears the box at the next run") << true;
    }

    void eachRunReadsTheFileAgain()
    {
        QFETCH(bool, newFile);
        m_window->txtFilename->setText(writeFile(QStringLiteral("a.txt"), QByteArray(200, 'a')));
        selectOrder(1);
        runUntilGenerating();
        click();
        const QString before = m_window->txtResult->text();
        QVERIFY(!before.contains(u'b'));

        const QString path = writeFile(newFile ? QStringLiteral("b.txt") : QStringLiteral("a.txt"),
                                       QByteArray(200, 'b'));
        if (newFile)
            m_window->setSourceFile(path); // what choosing it in the dialog does
        runUntilGenerating();
        click();
        const QString after = m_window->txtResult->text();
        const QString kept = newFile ? QString() : before + QStringLiteral("\r\n");
        QVERIFY2(after.startsWith(kept), qPrintable(after.left(40)));
        QVERIFY(after.size() > kept.size() + 20);
        QCOMPARE(after.mid(kept.size()), QString(after.size() - kept.size(), u'b'));
    }

    void aFullBoxEndsTheRunAndFreesTheControls()
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

    void orderOneOnNothingRunsUntilPaused()
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

    void failuresLeaveEverythingAsItWas_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("message");
        QTest::newRow("no file chosen, idle")
            << "none" << kIdle << "Selezionare il nome di un file di testo";
        QTest::newRow("no file chosen, paused")
            << "none" << kPaused << "Selezionare il nome di un file di testo";
        QTest::newRow("file gone") << "missing" << kIdle << "Il file non esiste";
        QTest::newRow("a directory") << "directory" << kPaused << "cartella";
        QTest::newRow("an empty file") << "empty" << kIdle << "è vuoto";
        QTest::newRow("too large") << "large" << kPaused << "troppo grande";
    }

    void failuresLeaveEverythingAsItWas()
    {
        QFETCH(QString, kind);
        QFETCH(QString, caption);
        QFETCH(QString, message);
        QString path = m_dir->filePath(QStringLiteral("gone.txt"));
        if (kind == u"none") {
            path.clear();
        } else if (kind == u"directory") {
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
        QVERIFY2(warning.text.contains(message) && warning.text.contains(path),
                 qPrintable(warning.text));
        QCOMPARE(warning.title, QStringLiteral("Gramisola"));
        QCOMPARE(warning.icon, QMessageBox::Warning);
        QCOMPARE(m_window->txtResult->text(), before);
        QCOMPARE(m_window->txtResult->textLength(), length);
        QCOMPARE(m_window->cmdExec->text(), caption);
        QVERIFY(m_window->cmdLoad->isEnabled() && m_window->cmdClear->isEnabled() &&
                m_window->optLevel[0]->isEnabled() && m_window->cmdOptions->isEnabled());
    }

    void closingMidRunEndsTheProgram_data()
    {
        QTest::addColumn<QString>("close");
        QTest::addColumn<int>("lines");
        QTest::newRow("Esci while generating") << "button" << 200;
        QTest::newRow("frame while generating") << "frame" << 200;
        // 12 MB: the close comes while the file is still being prepared.
        QTest::newRow("Esci while preparing a large file") << "button" << 400'000;
    }

    void closingMidRunEndsTheProgram()
    {
        QFETCH(QString, close);
        QFETCH(int, lines);
        const QString path =
            writeFile(QStringLiteral("close.txt"),
                      QByteArray("Il gatto dorme sul tetto, 12 volte.\r\n").repeated(lines));
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("GRAMISOLA_TEST_AUTOCLOSE"),
                   QStringLiteral("file:%1,exec,info,%2").arg(path, close));
        program.setProcessEnvironment(env);
        program.start(qEnvironmentVariable("GRAMISOLA_APP"), QStringList());
        QVERIFY(program.waitForFinished(30'000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

private:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            m_enabledChanges.append(watched->objectName());
        return false;
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir->filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write the fixture");
        return file.fileName();
    }

    void click() { QTest::mouseClick(m_window->cmdExec, Qt::LeftButton); }
    void selectOrder(int order) { m_window->optLevel[order - 1]->setChecked(true); }

    void runUntilGenerating()
    {
        QSignalSpy generating(m_run, &RunControl::generating);
        click();
        QCOMPARE(m_window->cmdExec->text(), kRunning);
        QVERIFY(generating.wait(10'000));
        const int seeded = m_window->txtResult->textLength();
        QTRY_VERIFY(m_window->txtResult->textLength() > seeded + 20);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<frmGramisola> m_window;
    RunControl *m_run = nullptr;
    std::uint64_t m_nextSeed = 1;
    QStringList m_enabledChanges;
};

QTEST_MAIN(RunControlTest)
#include "tst_run_control.moc"
