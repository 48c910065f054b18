#pragma once
// TForm7, the book information dialog: creates a new book file or changes the
// settings of the open book, proposes a free file name and remembers its last
// values as defaults (cts_default.dat of the program folder).

#include "CatalogDialog.h"

#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;

class TForm7 : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TForm7(QWidget *Parent);
    // The name field loses the focus while the children go, after this class's
    // part is gone: its handler must not run then.
    ~TForm7() override;

    // ---- controls ----
    QLineEdit *Edit1 = nullptr;       // 目录册名
    QLineEdit *Edit2 = nullptr;       // 保存路径 (the book file)
    QLineEdit *Edit3 = nullptr;       // 输出路径
    QPushButton *Button1 = nullptr;   // 浏览…… for the book file
    QPushButton *Button4 = nullptr;   // 浏览…… for the output folder
    QCheckBox *CheckBox1 = nullptr;   // 设为缺省值
    QCheckBox *CheckBox2 = nullptr;   // always open the output folder
    QCheckBox *CheckBox3 = nullptr;   // full-text search in help files
    QCheckBox *CheckBox4 = nullptr;   // remove the creation mark (hidden)
    QPushButton *Button2 = nullptr;   // 保存
    QPushButton *Button3 = nullptr;   // 取消

    bool FNameChanged = false;

    // What the main window reads while it handles the dialog's notifications:
    // the values of the fields at the moment 保存 was pressed.
    QString CatalogName;
    QString CatalogPath;
    QString CatalogOutput;
    bool FullTextSearch = true;
    bool AlwaysOpen = true;
    bool MoveV = false;

    void FormShow();
    void Edit1Exit();
    void Button1Click();
    void Button4Click();
    void Button2Click();
    void Button3Click();

    // cts_default.dat of the program folder.
    static QString DefaultsFile();

protected:
    void showEvent(QShowEvent *Event) override;

private:
    void LoadDefaults();
};
