#pragma once
// The prompts the program shows on screen, built on Qt's dialogs.

#include "Prompts.h"

class TQtPrompts : public TPrompts {
public:
    int MessageBox(QWidget *Owner, const QString &Text, const QString &Caption, unsigned Flags) override;
    int MessageDlg(const QString &Msg, const QString &Caption, TMsgDlgType DlgType, TMsgDlgButtons Buttons) override;
    bool InputQuery(const QString &Caption, const QString &Prompt, QString &Value) override;
    bool FileDialog(TFileDialogRequest &Request) override;
    QString BrowseForFolder(QWidget *Owner, const QString &Title) override;
    bool FontDialog(QWidget *Owner, QFont &Font) override;
};

// The Qt name filters for a filter string; masks match regardless of case.
QStringList QtNameFilters(const QList<TFileFilter> &Filters);
