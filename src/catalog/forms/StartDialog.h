#pragma once
// TForm2, the start dialog: shown when the program starts without a file to
// open. It lists the books made so far (cts_history.txt of the program folder)
// and offers to open one of them or any file, to make a new page or a new book,
// to read the tutorial, or to do nothing. The main window acts on its modal
// result: 3 opens FChosenFile, 5 makes a new page, 2 does nothing.

#include "CatalogDialog.h"

#include "platform/services/Prompts.h"

#include <QString>
#include <memory>

class QLabel;
class QListWidget;
class QPushButton;

class TForm2 : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget *Parent);
    ~TForm2() override;

    // ---- controls ----
    QLabel *Label1 = nullptr;          // 已经存在的目录册：
    QListWidget *ListBox1 = nullptr;   // the history, entries as stored
    QPushButton *Button2 = nullptr;    // 打开现有的目录册
    QPushButton *Button1 = nullptr;    // 新建目录页面
    QPushButton *Button7 = nullptr;    // 新建目录册
    QPushButton *Button3 = nullptr;    // 仅删除不存在的记录
    QPushButton *Button4 = nullptr;    // 清空全部历史记录
    QPushButton *Button6 = nullptr;    // 打开学习教程
    QPushButton *Button5 = nullptr;    // 关闭
    std::unique_ptr<TOpenDialog> OpenDialog1;

    // The file to open when the result is 3.
    QString FChosenFile;

    void FormShow();
    void ListBox1DblClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();

    // cts_history.txt of the program folder.
    static QString HistoryFile();
    // The file a history entry names: relative entries lie below the program folder.
    static QString HistoryEntryPath(const QString &Entry);

    // Closing the window counts as 关闭.
    void reject() override;

protected:
    void showEvent(QShowEvent *Event) override;
};
