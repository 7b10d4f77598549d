// Choosing the source file: the dialog's settings, cancel, choice, every failure
// and what the window shows for it.
// Controls are found by object name, as a user's tools find them.
#include "file_selection.h"
#include "find_control.h"
#include "frm_gramisola.h"
#include "result_box.h"
#include "temp_files.h"
#include "when_shown.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// What a user does: types a name into the name field and confirms. Returns
// whether the dialog closed. (selectFile() leaves a focused field alone.)
bool TypeAndAccept(QFileDialog *d, const QString &name)
{
    d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(name);
    static_cast<QDialog *>(d)->accept(); // QFileDialog::accept, through the public base
    return !d->isVisible();
}

// What a user meets when the dialog opens: its title, folder, name field and
// file types. (That it takes existing files only shows in the "missing" row.)
QStringList SettingsOf(QFileDialog *d)
{
    return {d->windowTitle(), d->directory().absolutePath(),
            d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text(),
            d->nameFilters().join(u'|')};
}

// The bytes of memory the process holds resident now.
qint64 ResidentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    statm.open(QIODevice::ReadOnly);
    return statm.readAll().split(' ')[1].toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// A dialog that answers with a prepared outcome.
struct FakeDialog : OpenFileDialog {
    OpenFileOutcome outcome;
    OpenFileOutcome showOpen(QWidget *, const OpenFileSettings &) override { return outcome; }
};

} // namespace

class TestFileSelection : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_window = std::make_unique<frmGramisola>();
        m_window->setFileDialog(
            std::make_unique<QtOpenFileDialog>(QtOpenFileDialog::Look::QtWidgets));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    void dialogOutcome_data()
    {
        // What the user does in the dialog, with a run paused: "cancel", "choose" a
        // new file, choose the file already shown ("same"), or type a name that
        // does not exist ("missing"), which the dialog refuses with a box of its own.
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("chosen");
        QTest::newRow("cancel keeps Continua") << "cancel" << false;
        QTest::newRow("a new file after a paused run") << "choose" << true;
        QTest::newRow("the same file again still resets the run") << "same" << true;
        QTest::newRow("a missing name never reaches the window") << "missing" << false;
    }

    void dialogOutcome()
    {
        QFETCH(QString, action);
        QFETCH(bool, chosen);
        const QString path = WriteTempFile(m_dir, QStringLiteral("sorgente.txt"), {});
        const QString before = action == u"same" ? path : QStringLiteral("/testi/vecchio.txt");
        pauseARun(before);
        bool acted = false;
        QStringList first, again;
        WhenShown<QFileDialog>(m_window.get(), [&](QFileDialog *d) {
            first = SettingsOf(d);
            if (action == u"missing") {
                bool refused = false;
                WhenShown<QMessageBox>(m_window.get(), [&refused](QMessageBox *box) {
                    refused = true;
                    box->accept();
                });
                acted = !TypeAndAccept(d, m_dir.filePath(QStringLiteral("manca.txt"))) && refused;
                d->reject();
            } else if (action == u"cancel") {
                acted = true;
                d->reject();
            } else {
                acted = TypeAndAccept(d, path);
            }
            if (d->isVisible())
                d->reject(); // fail, not hang
        });
        const qint64 paused = ResidentBytes();
        button("cmdLoad")->click();
        QVERIFY(acted);
        QCOMPARE(fileName()->text(), chosen ? path : before);
#ifndef __SANITIZE_ADDRESS__ // whose quarantine holds freed memory back
        // A choice frees the paused run, its index too; a cancel keeps it for "Continua".
        QCOMPARE(ResidentBytes() < paused - (120 << 20), chosen);
#endif
        QCOMPARE(button("cmdExec")->text(),
                 chosen ? QStringLiteral("Esegui") : QStringLiteral("Continua"));

        // The next opening starts afresh, also after a choice in another folder.
        WhenShown<QFileDialog>(m_window.get(), [&](QFileDialog *d) {
            again = SettingsOf(d);
            d->reject();
        });
        button("cmdLoad")->click();
        const QStringList expected{"Selezione file di testo",
                                   QDir(QCoreApplication::applicationDirPath()).absolutePath(), "",
                                   "Documento di testo (*.txt)"};
        QCOMPARE(first, expected);
        QCOMPARE(again, expected);
    }

    // Every answer of the dialog that gives no file, and what the window then
    // shows; a file chosen is dialogOutcome's.
    void interpretDialogResult_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QList<QUrl>>("selected");
        QTest::addColumn<int>("errorNumber"); // 0: cancelled
        const int notLocal = kFileDialogNoLocalFile;
        QTest::newRow("cancel") << false << QList<QUrl>{} << 0;
        QTest::newRow("accepted with nothing selected") << true << QList<QUrl>{} << notLocal;
        QTest::newRow("a remote document")
            << true << QList<QUrl>{QUrl("https://example.org/a.txt")} << notLocal;
        QTest::newRow("more than one file")
            << true << QList<QUrl>{QUrl("file:///a.txt"), QUrl("file:///b.txt")} << notLocal;
        QTest::newRow("a file that is not there")
            << true << QList<QUrl>{QUrl("file:///nessuna/cartella/manca.txt")}
            << kFileDialogFileMissing;
    }

    void interpretDialogResult()
    {
        QFETCH(bool, accepted);
        QFETCH(QList<QUrl>, selected);
        QFETCH(int, errorNumber);
        const OpenFileOutcome outcome = InterpretDialogResult(accepted, selected);
        QCOMPARE(outcome.kind,
                 errorNumber ? OpenFileOutcome::Kind::Failed : OpenFileOutcome::Kind::Cancelled);
        QCOMPARE(outcome.errorNumber, errorNumber);
        QCOMPARE(outcome.errorDescription.isEmpty(), errorNumber == 0);

        // The window, given that answer, says why over itself, and keeps the name.
        auto fake = std::make_unique<FakeDialog>();
        fake->outcome = outcome;
        m_window->setFileDialog(std::move(fake));
        fileName()->setText(QStringLiteral("/testi/scelto.txt"));
        QStringList box;
        WhenShown<QMessageBox>(m_window.get(), [&](QMessageBox *b) {
            box = {b->text(), b->windowTitle(), b->icon() == QMessageBox::Warning ? "warning" : "",
                   b->standardButtons() == QMessageBox::Ok ? "OK only" : "",
                   b->parentWidget() == m_window.get() ? "over the window" : ""};
            b->button(QMessageBox::Ok)->click();
        });
        button("cmdLoad")->click();
        const QString text = QStringLiteral("Errore n. %1:\n").arg(errorNumber);
        const QStringList expected{text + outcome.errorDescription, "Selezione file di testo",
                                   "warning", "OK only", "over the window"};
        QCOMPARE(box, errorNumber ? expected : QStringList());
        QCOMPARE(fileName()->text(), QStringLiteral("/testi/scelto.txt"));
    }

    void startingFolder_data()
    {
        // Files made under a fresh folder; the program lives in "bin".
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("expected");
        QTest::newRow("build tree: sample beside the program")
            << QStringList{"bin/esempio.txt", "share/gramisola/esempio.txt"} << "bin";
        QTest::newRow("installed: sample in share/gramisola")
            << QStringList{"share/gramisola/esempio.txt"} << "share/gramisola";
        QTest::newRow("a folder named like the sample is no sample")
            << QStringList{"share/gramisola/esempio.txt/x"} << "bin";
    }

    void startingFolder()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, expected);
        QTemporaryDir root;
        QDir(root.path()).mkpath(QStringLiteral("bin"));
        for (const QString &name : files) {
            QDir(root.path()).mkpath(QFileInfo(name).path());
            WriteTempFile(root, name, {});
        }
        QCOMPARE(SourceFileDirectory(root.filePath(QStringLiteral("bin"))),
                 root.filePath(expected));
    }

private:
    QPushButton *button(const char *name)
    {
        return Control<QPushButton>(*m_window, QLatin1String(name));
    }
    QLineEdit *fileName()
    {
        return Control<QLineEdit>(*m_window, QStringLiteral("txtFilename"));
    }
    // A real run, paused: cmdExec reads "Continua" and txtFilename holds `path`.
    void pauseARun(const QString &path)
    {
        // 20 M characters at order 10: the paused run holds 40 MB of text and an
        // index of about 100 MB.
        fileName()->setText(WriteTempFile(m_dir, QStringLiteral("corsa.txt"),
                                          QByteArray("Il gatto dorme. ").repeated(1'250'000)));
        Control<QRadioButton>(*m_window, QStringLiteral("optLevel_9"))->setChecked(true);
        button("cmdExec")->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            Control<ResultBox>(*m_window, QStringLiteral("txtResult"))->textLength() > 0, 60'000);
        button("cmdExec")->click();
        QCOMPARE(button("cmdExec")->text(), QStringLiteral("Continua"));
        fileName()->setText(path);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<frmGramisola> m_window;
};

QTEST_MAIN(TestFileSelection)
#include "tst_file_selection.moc"
