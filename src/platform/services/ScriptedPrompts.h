#pragma once
// Prompts for tests and the driver: answers are queued in advance, every question is
// recorded with its exact texts, and a question nobody answered ends the test.

#include "Prompts.h"

#include <QList>
#include <functional>
#include <stdexcept>

// Raised by a scripted test double that met a question or call it has no answer for.
// It is not an Exception: the application's error handler must not swallow it.
class EScriptFailure : public std::runtime_error {
public:
    explicit EScriptFailure(const QString &Msg) : std::runtime_error(Msg.toStdString()), FMessage(Msg) {}
    const QString &Message() const { return FMessage; }

private:
    QString FMessage;
};

// A script failure caught where it could not travel on (the error handler, a posted
// message); the driver and the tests look here after every step.
void NoteScriptFailure(const QString &Msg);
const QString &PendingScriptFailure();
void ClearScriptFailure();

struct TScriptedAnswer {
    enum TKind { Button, Text, File, Files, Folder, Font };
    TKind Kind = Button;
    QStringList Values;     // one value, or the files of Files
};
QString ScriptedAnswerKindName(TScriptedAnswer::TKind Kind);

class TScriptedPrompts : public TPrompts {
public:
    // Answers are used in the order queued, one per question.
    void AnswerButton(const QString &Name) { Queue({TScriptedAnswer::Button, {Name}}); }
    void AnswerText(const QString &Text) { Queue({TScriptedAnswer::Text, {Text}}); }
    void AnswerFile(const QString &File) { Queue({TScriptedAnswer::File, {File}}); }
    void AnswerFiles(const QStringList &Files) { Queue({TScriptedAnswer::Files, Files}); }
    void AnswerFolder(const QString &Folder) { Queue({TScriptedAnswer::Folder, {Folder}}); }
    // A font as "family,points" with "bold" and "italic" words after it as wanted.
    void AnswerFont(const QString &Font) { Queue({TScriptedAnswer::Font, {Font}}); }
    void Queue(const TScriptedAnswer &Answer) { FAnswers << Answer; }
    int PendingAnswers() const { return int(FAnswers.size()); }

    const QList<TPromptRecord> &Records() const { return FRecords; }
    void ClearRecords() { FRecords.clear(); }
    // The first failure (an unscripted or unfitting question), or "".
    const QString &Failure() const { return FFailure; }
    bool Failed() const { return !FFailure.isEmpty(); }
    // Forgets answers, records and the failure (a test starting over).
    void Reset()
    {
        FAnswers.clear();
        FRecords.clear();
        FFailure.clear();
    }

    // Called for every question, after it was answered (for logs).
    std::function<void(const TPromptRecord &)> OnPrompt;

    int MessageBox(QWidget *Owner, const QString &Text, const QString &Caption, unsigned Flags) override;
    int MessageDlg(const QString &Msg, const QString &Caption, TMsgDlgType DlgType, TMsgDlgButtons Buttons) override;
    bool InputQuery(const QString &Caption, const QString &Prompt, QString &Value) override;
    bool FileDialog(TFileDialogRequest &Request) override;
    QString BrowseForFolder(QWidget *Owner, const QString &Title) override;
    bool FontDialog(QWidget *Owner, QFont &Font) override;

private:
    TScriptedAnswer Take(TPromptRecord &Record);
    [[noreturn]] void Fail(TPromptRecord &Record, const QString &Why);
    void Done(TPromptRecord &Record, const QString &Answer);
    QString AskButton(TPromptRecord &Record);

    QList<TScriptedAnswer> FAnswers;
    QList<TPromptRecord> FRecords;
    QString FFailure;
};
