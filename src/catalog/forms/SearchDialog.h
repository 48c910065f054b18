#pragma once
// The search dialog: finds the pages that hold a keyword among all pages ever
// saved (the page history), the pages of the open book, or the products of the
// open page; a found page, or the book holding it, opens in a new instance of
// the program. Closing the dialog stops a running search.

#include "CatalogDialog.h"

#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;

class TForm8 : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TForm8(QWidget *Parent);

    // ---- controls ----
    QLabel *Label1 = nullptr;              // 关键字：
    QLineEdit *Edit1 = nullptr;            // the keyword (继续搜索 of the main window searches it too)
    QGroupBox *GroupBox1 = nullptr;        // 搜索范围
    QRadioButton *RadioButton1 = nullptr;  // 搜索所有目录册 (the page history)
    QRadioButton *RadioButton2 = nullptr;  // 搜索当前目录册
    QRadioButton *RadioButton3 = nullptr;  // 搜索当前页面
    QCheckBox *CheckBox1 = nullptr;        // 区分大小写
    QPushButton *Button1 = nullptr;        // 搜索
    QPushButton *Button2 = nullptr;        // 停止: enabled while a search runs
    QListWidget *ListBox1 = nullptr;       // one page path per line
    QProgressBar *ProgressBar1 = nullptr;

    // The open book's file, set by the main window before the dialog shows.
    QString CatalogFile;

    void Button1Click();
    void Button2Click();
    void ListBox1DblClick();
    // Opens the first book of the book history that lists a page named PageName.
    bool FindCatalogOfPage(const QString &PageName);

    // The program's executable, which a found page or book is opened with.
    static QString ProgramExecutable();

    void reject() override;

protected:
    void closeEvent(QCloseEvent *Event) override;

private:
    bool FClosing = false;
    void StopSearch();
};
