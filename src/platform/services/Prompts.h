#pragma once
// Questions to the user: message boxes, message dialogs, input boxes, file and
// folder dialogs. Everything goes through one replaceable TPrompts object so that
// tests answer from a script (ScriptedPrompts.h) instead of a person.

#include "platform/core/Types.h"

#include <QString>
#include <QStringList>
#include <memory>

class QFont;
class QWidget;

// ---- message box flags and answers (the original numeric values) ----
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
constexpr unsigned MB_YESNOCANCEL = 0x3;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_RETRYCANCEL = 0x5;
constexpr unsigned MB_TYPEMASK = 0xF;
constexpr unsigned MB_ICONHAND = 0x10;
constexpr unsigned MB_ICONERROR = MB_ICONHAND;
constexpr unsigned MB_ICONSTOP = MB_ICONHAND;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr unsigned MB_ICONASTERISK = 0x40;
constexpr unsigned MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr unsigned MB_ICONMASK = 0xF0;
constexpr unsigned MB_DEFBUTTON1 = 0x000;
constexpr unsigned MB_DEFBUTTON2 = 0x100;
constexpr unsigned MB_DEFBUTTON3 = 0x200;
constexpr unsigned MB_DEFMASK = 0xF00;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// ---- message dialogs ----
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
// A set of buttons: the bit (1 << button).
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons MsgDlgBtn(TMsgDlgBtn B) { return 1u << unsigned(B); }
constexpr TMsgDlgButtons mbYesNoCancel = MsgDlgBtn(mbYes) | MsgDlgBtn(mbNo) | MsgDlgBtn(mbCancel);
constexpr TMsgDlgButtons mbYesNo = MsgDlgBtn(mbYes) | MsgDlgBtn(mbNo);
constexpr TMsgDlgButtons mbOKCancel = MsgDlgBtn(mbOK) | MsgDlgBtn(mbCancel);
constexpr TMsgDlgButtons mbAbortRetryIgnore = MsgDlgBtn(mbAbort) | MsgDlgBtn(mbRetry) | MsgDlgBtn(mbIgnore);
constexpr TMsgDlgButtons mbOKOnly = MsgDlgBtn(mbOK);

// Modal results.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrAbort = 3;
constexpr int mrRetry = 4;
constexpr int mrIgnore = 5;
constexpr int mrYes = 6;
constexpr int mrNo = 7;
constexpr int mrAll = 8;
constexpr int mrNoToAll = 9;
constexpr int mrYesToAll = 10;

// ---- file dialogs ----
enum TOpenOption {
    ofReadOnly, ofOverwritePrompt, ofHideReadOnly, ofNoChangeDir, ofShowHelp, ofNoValidate,
    ofAllowMultiSelect, ofExtensionDifferent, ofPathMustExist, ofFileMustExist, ofCreatePrompt,
    ofShareAware, ofNoReadOnlyReturn, ofNoTestFileCreate, ofNoNetworkButton, ofNoLongNames,
    ofOldStyleDialog, ofNoDereferenceLinks, ofEnableIncludeNotify, ofEnableSizing,
    ofDontAddToRecent, ofForceShowHidden
};
using TOpenOptions = unsigned;
constexpr TOpenOptions OpenOpt(TOpenOption O) { return 1u << unsigned(O); }

// One entry of a filter string "页面文件 *.qbt|*.qbt|目录册文件 *.qbs|*.qbs".
struct TFileFilter {
    QString Description;
    QStringList Masks;   // "*.qbt", "*.*"; several are separated by ";" in the filter string
};
// Splits a filter string into its entries; a trailing description without masks is dropped.
QList<TFileFilter> ParseFileFilter(const QString &Filter);
// True when the file name matches one of the masks (case-insensitive; "*.*" and "*" match all).
bool FilterMatches(const TFileFilter &Filter, const QString &FileName);
// The 1-based index of the first entry whose masks match the file name, or 0.
int FilterIndexFor(const QList<TFileFilter> &Filters, const QString &FileName);

enum class TFileDialogKind { Open, Save, OpenPicture, SavePicture };
// True for the kinds that name a file to write.
inline bool IsSaveKind(TFileDialogKind Kind) { return Kind == TFileDialogKind::Save || Kind == TFileDialogKind::SavePicture; }

// What a file dialog asks, and (after a successful Execute) what was chosen.
struct TFileDialogRequest {
    TFileDialogKind Kind = TFileDialogKind::Open;
    QWidget *Owner = nullptr;
    QString Title;
    QString Filter;
    int FilterIndex = 1;        // 1-based, as the original dialogs count
    QString InitialDir;
    QString FileName;
    QString DefaultExt;         // without the dot
    TOpenOptions Options = 0;
    QStringList Files;          // answer: the chosen files (one unless ofAllowMultiSelect)
};

// ---- the kinds of question, as the scripted prompts record them ----
enum class TPromptKind { MessageBox, MessageDlg, InputQuery, FileDialog, Folder, Font };
QString PromptKindName(TPromptKind Kind);

// One question as it was put to the user.
struct TPromptRecord {
    TPromptKind Kind = TPromptKind::MessageBox;
    QString Caption;
    QString Text;
    QStringList Buttons;        // "OK", "Cancel", "Yes", "No", ... in the order shown
    QString Answer;             // what came back, for the log
    unsigned Flags = 0;         // a message box's MB_ flags (buttons, icon, default button)
};

// The button names used by the records and by scripts.
QString MsgDlgBtnName(TMsgDlgBtn B);
QStringList MessageBoxButtons(unsigned Flags);          // names for the MB_ type bits
QStringList MsgDlgButtonNames(TMsgDlgButtons Buttons);
int MessageBoxResultFor(const QString &ButtonName);     // IDOK...; 0 for an unknown name
int ModalResultFor(const QString &ButtonName);          // mrOk...; 0 for an unknown name

// The interface. Implementations: TQtPrompts (dialogs on screen) and TScriptedPrompts.
class TPrompts {
public:
    virtual ~TPrompts() = default;
    // Returns IDOK, IDCANCEL, ... . Closing the box counts as Cancel when offered, else as the only answer.
    virtual int MessageBox(QWidget *Owner, const QString &Text, const QString &Caption, unsigned Flags) = 0;
    // Returns mrOk, mrYes, ... ; Caption is already resolved from the type.
    virtual int MessageDlg(const QString &Msg, const QString &Caption, TMsgDlgType DlgType, TMsgDlgButtons Buttons) = 0;
    // Returns false when cancelled; Value holds the default on entry and the answer on return.
    virtual bool InputQuery(const QString &Caption, const QString &Prompt, QString &Value) = 0;
    // Shows one file dialog; on true Request.Files holds the chosen files (absolute paths)
    // and Request.FilterIndex the filter the user had selected.
    virtual bool FileDialog(TFileDialogRequest &Request) = 0;
    // The folder browser: the chosen folder, or "" when cancelled.
    virtual QString BrowseForFolder(QWidget *Owner, const QString &Title) = 0;
    // The font dialog: Font holds the current font on entry and the chosen one on true.
    virtual bool FontDialog(QWidget *Owner, QFont &Font) = 0;
};

// The current prompts; the Qt implementation unless a test installed another one.
TPrompts &Prompts();
// Installs a new implementation (nullptr restores the Qt one) and returns the previous one.
std::unique_ptr<TPrompts> SetPrompts(std::unique_ptr<TPrompts> Value);

// ---- the calls the program makes ----
// The window that owns prompts when none is given: the active window, else the registered main window.
QWidget *DefaultPromptOwner();

int MessageBox(QWidget *Owner, const QString &Text, const QString &Caption, unsigned Flags);
// The caption is the type's title ("警告", "错误", "信息", "确认"; the application title for mtCustom).
int MessageDlg(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx = 0);
QString MsgDlgCaption(TMsgDlgType DlgType);
// A box with the message and OK, captioned with the application title.
void ShowMessage(const QString &Msg);
QString InputBox(const QString &Caption, const QString &Prompt, const QString &Default);
bool InputQuery(const QString &Caption, const QString &Prompt, QString &Value);
// The folder browser of the shell (file-system folders only): the chosen folder or "".
QString BrowseForFolder(const QString &Title, QWidget *Owner = nullptr);
// The save dialog's question whether an existing FileName is to be replaced
// (Title "" is "另存为"); true when the answer is Yes. A caller that changes the
// name chosen in a save dialog asks this itself, about the name it writes.
bool AskReplaceFile(QWidget *Owner, const QString &FileName, const QString &Title = {});

// The open dialog component. Execute() asks through Prompts(); on OK FileName, Files and
// FilterIndex hold the answer, the default extension is added to a name without one, and
// ofFileMustExist / ofOverwritePrompt are enforced the same way for every implementation.
class TOpenDialog : public TComponent {
public:
    explicit TOpenDialog(TComponent *AOwner = nullptr);

    QString Filter;
    int FilterIndex = 1;
    QString DefaultExt;
    QString InitialDir;
    QString FileName;
    QString Title;
    TOpenOptions Options = OpenOpt(ofHideReadOnly) | OpenOpt(ofEnableSizing);
    QWidget *OwnerWindow = nullptr;      // the window the dialog belongs to (the active one when null)
    const QStringList &Files() const { return FFiles; }

    virtual bool Execute();

protected:
    virtual TFileDialogKind Kind() const { return TFileDialogKind::Open; }

private:
    QStringList FFiles;
};

class TSaveDialog : public TOpenDialog {
public:
    using TOpenDialog::TOpenDialog;
protected:
    TFileDialogKind Kind() const override { return TFileDialogKind::Save; }
};

// A save dialog for pictures (the program writes JPEG).
class TSavePictureDialog : public TSaveDialog {
public:
    explicit TSavePictureDialog(TComponent *AOwner = nullptr);
protected:
    TFileDialogKind Kind() const override { return TFileDialogKind::SavePicture; }
};

// The font dialog component: Execute asks through Prompts(); on OK Font holds the choice.
class TFontDialog : public TComponent {
public:
    explicit TFontDialog(TComponent *AOwner = nullptr);
    QFont &Font();
    QWidget *OwnerWindow = nullptr;
    bool Execute();

private:
    std::unique_ptr<QFont> FFont;
};

// An open dialog whose filter lists the picture types the program reads.
class TOpenPictureDialog : public TOpenDialog {
public:
    explicit TOpenPictureDialog(TComponent *AOwner = nullptr);
protected:
    TFileDialogKind Kind() const override { return TFileDialogKind::OpenPicture; }
};
