#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class QMimeData;
class QWidget;

// What the open-file dialog is asked for; written afresh on every use.
struct OpenFileSettings {
    QString initialDirectory; // the dialog opens here every time
    QString fileName;         // the name field's initial content
    QString title;            // the dialog's caption, also the error box's title
    QString nameFilter;       // the single file type offered
    // The dialog accepts only names of existing files and offers no read-only
    // check box; both are fixed by the implementations below.
};

// How one showing of the dialog ended.
struct OpenFileOutcome {
    enum class Kind { Chosen, Cancelled, Failed };
    Kind kind = Kind::Cancelled;
    QString fileName;         // Chosen: the full path
    int errorNumber = 0;      // Failed: the number shown to the user
    QString errorDescription; // Failed: the text shown to the user

    static OpenFileOutcome chosen(const QString &path);
    static OpenFileOutcome cancelled();
    static OpenFileOutcome failed(int number, const QString &description);
};

// Error numbers of the open-file dialog as shown in the error box.
inline constexpr int kFileDialogNoLocalFile = 1; // the choice is not one local path
inline constexpr int kFileDialogFileMissing = 2; // the chosen file does not exist

// The open-file dialog, modal to `owner`. An interface so that tests can put a
// dialog in its place that fails on demand.
class OpenFileDialog {
public:
    virtual ~OpenFileDialog() = default;
    virtual OpenFileOutcome showOpen(QWidget *owner, const OpenFileSettings &settings) = 0;
};

// The real dialog: a QFileDialog created for each showing. `native` picks the
// platform's own dialog where there is one; tests ask for Qt's so they can
// drive it.
class QtOpenFileDialog : public OpenFileDialog {
public:
    enum class Look { Native, QtWidgets };
    explicit QtOpenFileDialog(Look look = Look::Native) : m_look(look) {}
    OpenFileOutcome showOpen(QWidget *owner, const OpenFileSettings &settings) override;

private:
    Look m_look;
};

// What a closed dialog's result means: a cancel, one existing local file, or a
// failure (nothing selected, a non-local URL, several files, a missing file).
OpenFileOutcome InterpretDialogResult(bool accepted, const QList<QUrl> &selected);

// The settings used to choose the source text: the folder below, an empty
// name, "Selezione file di testo", "Documento di testo (*.txt)".
OpenFileSettings SourceFileSettings();

// The folder the dialog opens in for a program in `programDirectory`: that
// folder itself, unless it is an installed bin/ folder (no sample text beside
// the program, but an installed one in ../share/gramisola), where the user
// would find nothing to open; then the sample text's folder.
QString SourceFileDirectory(const QString &programDirectory);

// Shows `dialog` with SourceFileSettings() and returns the full path chosen.
// On cancel returns nothing. On a failure shows the warning box
// "Errore n. <number>:" + line break + description over `owner`, titled with the
// dialog's title, and returns nothing once the user has dismissed it.
std::optional<QString> ChooseSourceFile(QWidget *owner, OpenFileDialog &dialog);

// The error box's text for a failed dialog.
QString FileDialogErrorText(int number, const QString &description);

// The file a drag-and-drop offers as the source text: exactly one local,
// existing file whose name ends in ".txt" (any case), as the dialog's filter
// would show it; nothing otherwise.
std::optional<QString> DroppedSourceFile(const QMimeData &data);
