#include "file_selection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>

OpenFileOutcome OpenFileOutcome::chosen(const QString &path)
{
    OpenFileOutcome o;
    o.kind = Kind::Chosen;
    o.fileName = path;
    return o;
}

OpenFileOutcome OpenFileOutcome::cancelled()
{
    return {};
}

OpenFileOutcome OpenFileOutcome::failed(int number, const QString &description)
{
    OpenFileOutcome o;
    o.kind = Kind::Failed;
    o.errorNumber = number;
    o.errorDescription = description;
    return o;
}

OpenFileOutcome QtOpenFileDialog::showOpen(QWidget *owner, const OpenFileSettings &settings)
{
    // A fresh dialog each time: nothing of an earlier choice (directory, name,
    // history of the name field) carries over.
    QFileDialog dialog(owner, settings.title, settings.initialDirectory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(settings.nameFilter);
    dialog.setOption(QFileDialog::DontUseNativeDialog, m_look == Look::QtWidgets);
    dialog.selectFile(settings.fileName);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    return InterpretDialogResult(accepted, accepted ? dialog.selectedUrls() : QList<QUrl>{});
}

OpenFileOutcome InterpretDialogResult(bool accepted, const QList<QUrl> &selected)
{
    if (!accepted)
        return OpenFileOutcome::cancelled();
    // A platform dialog may hand back a remote document or nothing at all; only a
    // single file of the local file system can be read later.
    if (selected.size() != 1 || !selected.front().isLocalFile())
        return OpenFileOutcome::failed(
            kFileDialogNoLocalFile,
            QStringLiteral("La finestra di selezione non ha restituito un file locale."));
    const QFileInfo info(selected.front().toLocalFile());
    if (!info.isFile())
        return OpenFileOutcome::failed(
            kFileDialogFileMissing,
            QStringLiteral("Il file \"%1\" non esiste.").arg(info.absoluteFilePath()));
    return OpenFileOutcome::chosen(info.absoluteFilePath());
}

OpenFileSettings SourceFileSettings()
{
    OpenFileSettings s;
    s.initialDirectory = SourceFileDirectory(QCoreApplication::applicationDirPath());
    s.fileName = QString();
    s.title = QStringLiteral("Selezione file di testo");
    s.nameFilter = QStringLiteral("Documento di testo (*.txt)");
    return s;
}

QString SourceFileDirectory(const QString &programDirectory)
{
    const QString sampleName = QStringLiteral("esempio.txt");
    const QDir program(programDirectory);
    if (QFileInfo(program.filePath(sampleName)).isFile())
        return programDirectory;
    const QDir installedData(program.filePath(QStringLiteral("../share/gramisola")));
    if (QFileInfo(installedData.filePath(sampleName)).isFile())
        return QDir::cleanPath(installedData.absolutePath());
    return programDirectory;
}

QString FileDialogErrorText(int number, const QString &description)
{
    return QStringLiteral("Errore n. ") + QString::number(number) + QStringLiteral(":\n") +
           description;
}

std::optional<QString> ChooseSourceFile(QWidget *owner, OpenFileDialog &dialog)
{
    const OpenFileSettings settings = SourceFileSettings();
    const OpenFileOutcome outcome = dialog.showOpen(owner, settings);
    switch (outcome.kind) {
    case OpenFileOutcome::Kind::Chosen:
        return outcome.fileName;
    case OpenFileOutcome::Kind::Cancelled:
        return std::nullopt;
    case OpenFileOutcome::Kind::Failed:
        QMessageBox::warning(owner, settings.title,
                             FileDialogErrorText(outcome.errorNumber, outcome.errorDescription));
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QString> DroppedSourceFile(const QMimeData &data)
{
    if (!data.hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data.urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return std::nullopt;
    const QFileInfo info(urls.front().toLocalFile());
    if (!info.isFile() || info.suffix().compare(u"txt", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return info.absoluteFilePath();
}
