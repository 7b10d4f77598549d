// Choosing the source file: the dialog's settings, cancel, choice, failure.
#include "file_selection.h"
#include "frm_gramisola.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Calls `act` with the first visible widget of type T once one shows up (from
// inside its modal loop); gives up after a few seconds or when `scope` goes.
template <typename T>
void WhenShown(QObject *scope, std::function<void(T *)> act, int triesLeft = 200)
{
    QTimer::singleShot(20, scope, [scope, act, triesLeft] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *found = qobject_cast<T *>(w); found && found->isVisible()) {
                act(found);
                return;
            }
        if (triesLeft > 0)
            WhenShown<T>(scope, act, triesLeft - 1);
    });
}

// A dialog that answers with a prepared outcome and remembers what it was asked.
class FakeDialog : public OpenFileDialog {
public:
    explicit FakeDialog(OpenFileOutcome outcome) : m_outcome(std::move(outcome)) {}
    OpenFileOutcome showOpen(QWidget *owner, const OpenFileSettings &settings) override
    {
        ++*shown;
        *asked = settings;
        *askedOwner = owner;
        return m_outcome;
    }
    std::shared_ptr<int> shown = std::make_shared<int>(0);
    std::shared_ptr<OpenFileSettings> asked = std::make_shared<OpenFileSettings>();
    std::shared_ptr<QWidget *> askedOwner = std::make_shared<QWidget *>(nullptr);

private:
    OpenFileOutcome m_outcome;
};

// What a user does: types a name into the dialog's name field and confirms.
// (selectFile() leaves a focused name field alone, so the test types.)
void TypeAndAccept(QFileDialog *d, const QString &name)
{
    auto *edit = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(name);
    static_cast<QDialog *>(d)->accept(); // QFileDialog::accept, through the public base
    if (d->isVisible() && QFileInfo(name).isFile()) {
        qWarning() << "the dialog did not take" << name << d->selectedFiles();
        d->reject(); // fail, not hang
    }
}

struct DialogSeen {
    bool seen = false;
    QString title;
    QString directory;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptSave;
    bool qtDialog = false;
    bool modal = false;
    QWidget *owner = nullptr;
    QString nameField = QStringLiteral("<none>");
};

DialogSeen Inspect(QFileDialog *d)
{
    DialogSeen s;
    s.seen = true;
    s.title = d->windowTitle();
    s.directory = d->directory().absolutePath();
    s.filters = d->nameFilters();
    s.mode = d->fileMode();
    s.acceptMode = d->acceptMode();
    s.qtDialog = d->testOption(QFileDialog::DontUseNativeDialog);
    s.modal = d->isModal();
    s.owner = d->parentWidget();
    if (auto *edit = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        s.nameField = edit->text();
    return s;
}

} // namespace

class TestFileSelection : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void dialogSettings_data();
    void dialogSettings();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void choiceSetsPathAndEsegui_data();
    void choiceSetsPathAndEsegui();
    void missingNameIsRefusedByTheDialog();
    void failureShowsErrorBox();
    void interpretDialogResult_data();
    void interpretDialogResult();

private:
    QString makeFile(const QString &name);
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<frmGramisola> m_window;
};

void TestFileSelection::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_window = std::make_unique<frmGramisola>();
    m_window->setFileDialog(std::make_unique<QtOpenFileDialog>(QtOpenFileDialog::Look::QtWidgets));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestFileSelection::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

QString TestFileSelection::makeFile(const QString &name)
{
    QFile file(m_dir->filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(file.fileName()));
    file.write("testo di prova\r\n");
    return QFileInfo(file).absoluteFilePath();
}

void TestFileSelection::dialogSettings_data()
{
    QTest::addColumn<bool>("choseElsewhereBefore");
    QTest::newRow("first opening") << false;
    QTest::newRow("after a choice in another folder") << true;
}

void TestFileSelection::dialogSettings()
{
    QFETCH(bool, choseElsewhereBefore);
    if (choseElsewhereBefore) {
        const QString path = makeFile(QStringLiteral("altrove.txt"));
        WhenShown<QFileDialog>(m_window.get(), [path](QFileDialog *d) { TypeAndAccept(d, path); });
        m_window->cmdLoad->click();
        QCOMPARE(m_window->txtFilename->text(), path);
    }

    DialogSeen seen;
    WhenShown<QFileDialog>(m_window.get(), [&seen](QFileDialog *d) {
        seen = Inspect(d);
        d->reject();
    });
    QTest::mouseClick(m_window->cmdLoad, Qt::LeftButton);
    QVERIFY(seen.seen);
    QCOMPARE(seen.title, QStringLiteral("Selezione file di testo"));
    QCOMPARE(seen.directory, QDir(QCoreApplication::applicationDirPath()).absolutePath());
    QCOMPARE(seen.nameField, QString());
    QCOMPARE(seen.filters, QStringList{QStringLiteral("Documento di testo (*.txt)")});
    QCOMPARE(seen.mode, QFileDialog::ExistingFile);
    QCOMPARE(seen.acceptMode, QFileDialog::AcceptOpen);
    QVERIFY(seen.qtDialog);
    QVERIFY(seen.modal);
    QCOMPARE(seen.owner, m_window.get());
}

void TestFileSelection::cancelChangesNothing_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("caption");
    QTest::newRow("nothing chosen yet") << ""
                                        << "Esegui";
    QTest::newRow("a paused run keeps Continua") << "/testi/scelto.txt"
                                                 << "Continua";
}

void TestFileSelection::cancelChangesNothing()
{
    QFETCH(QString, path);
    QFETCH(QString, caption);
    m_window->txtFilename->setText(path);
    m_window->cmdExec->setText(caption);
    bool shown = false;
    WhenShown<QFileDialog>(m_window.get(), [&shown](QFileDialog *d) {
        shown = true;
        d->reject();
    });
    m_window->cmdLoad->click();
    QVERIFY(shown);
    QCOMPARE(m_window->txtFilename->text(), path);
    QCOMPARE(m_window->cmdExec->text(), caption);
}

void TestFileSelection::choiceSetsPathAndEsegui_data()
{
    QTest::addColumn<bool>("sameFileAgain");
    QTest::newRow("a new file after a paused run") << false;
    QTest::newRow("the same file again still resets the run") << true;
}

void TestFileSelection::choiceSetsPathAndEsegui()
{
    QFETCH(bool, sameFileAgain);
    const QString path = makeFile(QStringLiteral("sorgente.txt"));
    m_window->txtFilename->setText(sameFileAgain ? path : QStringLiteral("/testi/vecchio.txt"));
    m_window->cmdExec->setText(QStringLiteral("Continua"));
    WhenShown<QFileDialog>(m_window.get(), [path](QFileDialog *d) { TypeAndAccept(d, path); });
    m_window->cmdLoad->click();
    QCOMPARE(m_window->txtFilename->text(), path);
    QCOMPARE(m_window->cmdExec->text(), QStringLiteral("Esegui"));
}

void TestFileSelection::missingNameIsRefusedByTheDialog()
{
    const QString missing = m_dir->filePath(QStringLiteral("manca.txt"));
    m_window->txtFilename->setText(QStringLiteral("/testi/scelto.txt"));
    m_window->cmdExec->setText(QStringLiteral("Continua"));
    bool warned = false;
    bool stayedOpen = false;
    WhenShown<QFileDialog>(m_window.get(), [&](QFileDialog *d) {
        // The dialog answers a missing name with a box of its own.
        WhenShown<QMessageBox>(m_window.get(), [&warned](QMessageBox *box) {
            warned = true;
            box->accept();
        });
        TypeAndAccept(d, missing);
        stayedOpen = d->isVisible();
        d->reject();
    });
    m_window->cmdLoad->click();
    QVERIFY(warned);
    QVERIFY(stayedOpen);
    QCOMPARE(m_window->txtFilename->text(), QStringLiteral("/testi/scelto.txt"));
    QCOMPARE(m_window->cmdExec->text(), QStringLiteral("Continua"));
}

void TestFileSelection::failureShowsErrorBox()
{
    auto fake = std::make_unique<FakeDialog>(
        OpenFileOutcome::failed(42, QStringLiteral("Descrizione dell'errore")));
    auto shown = fake->shown;
    auto asked = fake->asked;
    auto askedOwner = fake->askedOwner;
    m_window->setFileDialog(std::move(fake));
    m_window->txtFilename->setText(QStringLiteral("/testi/scelto.txt"));
    m_window->cmdExec->setText(QStringLiteral("Continua"));

    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget *boxOwner = nullptr;
    WhenShown<QMessageBox>(m_window.get(), [&](QMessageBox *box) {
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        buttons = box->standardButtons();
        boxOwner = box->parentWidget();
        box->button(QMessageBox::Ok)->click();
    });
    m_window->cmdLoad->click();

    QCOMPARE(*shown, 1);
    QCOMPARE(asked->title, QStringLiteral("Selezione file di testo"));
    QCOMPARE(asked->nameFilter, QStringLiteral("Documento di testo (*.txt)"));
    QCOMPARE(asked->initialDirectory, QCoreApplication::applicationDirPath());
    QCOMPARE(asked->fileName, QString());
    QCOMPARE(*askedOwner, m_window.get());

    QCOMPARE(text, QStringLiteral("Errore n. 42:\nDescrizione dell'errore"));
    QCOMPARE(title, QStringLiteral("Selezione file di testo"));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(boxOwner, m_window.get());
    QCOMPARE(m_window->txtFilename->text(), QStringLiteral("/testi/scelto.txt"));
    QCOMPARE(m_window->cmdExec->text(), QStringLiteral("Continua"));
}

void TestFileSelection::interpretDialogResult_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("selected"); // "@name" = a file made in the test folder
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("errorNumber");
    using K = OpenFileOutcome::Kind;
    QTest::newRow("cancel") << false << QStringList{} << int(K::Cancelled) << 0;
    QTest::newRow("one existing local file")
        << true << QStringList{"@scelto.txt"} << int(K::Chosen) << 0;
    QTest::newRow("accepted with nothing selected")
        << true << QStringList{} << int(K::Failed) << kFileDialogNoLocalFile;
    QTest::newRow("a remote document") << true << QStringList{"https://example.org/a.txt"}
                                       << int(K::Failed) << kFileDialogNoLocalFile;
    QTest::newRow("more than one file")
        << true << QStringList{"@a.txt", "@b.txt"} << int(K::Failed) << kFileDialogNoLocalFile;
    QTest::newRow("a file that is not there")
        << true << QStringList{"file:///nessuna/cartella/manca.txt"} << int(K::Failed)
        << kFileDialogFileMissing;
}

void TestFileSelection::interpretDialogResult()
{
    QFETCH(bool, accepted);
    QFETCH(QStringList, selected);
    QList<QUrl> urls;
    for (const QString &s : selected)
        urls.append(s.startsWith(u'@') ? QUrl::fromLocalFile(makeFile(s.mid(1))) : QUrl(s));
    const OpenFileOutcome outcome = InterpretDialogResult(accepted, urls);
    QTEST(int(outcome.kind), "kind");
    QTEST(outcome.errorNumber, "errorNumber");
    if (outcome.kind == OpenFileOutcome::Kind::Chosen)
        QCOMPARE(outcome.fileName, urls.front().toLocalFile());
    if (outcome.kind == OpenFileOutcome::Kind::Failed)
        QVERIFY(!outcome.errorDescription.isEmpty());
}

QTEST_MAIN(TestFileSelection)
#include "tst_file_selection.moc"
