#pragma once
// The batch dialog of the picture viewer: writes the viewer's texts onto the
// pictures of a range of products, placed absolutely or relative to each
// picture's size, onto copies or over the pictures; an entry whose whole text
// is a placeholder ({当前价格}...) takes each product's own value. At the end it
// says how many pictures got the texts and lists the products passed over,
// each with the reason (only JPEG pictures that can be read are written).

#include "CatalogDialog.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class TPictureView;

class TForm6 : public TCatalogDialog {
    Q_OBJECT
public:
    // Parent: the picture viewer whose texts are written.
    explicit TForm6(QWidget *Parent);

    // ---- controls ----
    QLineEdit *Edit1 = nullptr;            // first product (digits only)
    QLineEdit *Edit2 = nullptr;            // last product
    QGroupBox *GroupBox1 = nullptr;        // 文字在图上的位置
    QRadioButton *RadioButton1 = nullptr;  // 相对位置
    QRadioButton *RadioButton2 = nullptr;  // 绝对位置
    QGroupBox *GroupBox2 = nullptr;        // 文件方式
    QRadioButton *RadioButton3 = nullptr;  // 创建副本（推荐）
    QRadioButton *RadioButton4 = nullptr;  // 覆盖原文件
    QGroupBox *GroupBox3 = nullptr;        // 文字位置、内容、变量
    QComboBox *ComboBox2 = nullptr;        // the entries "x,y,text"
    QComboBox *ComboBox1 = nullptr;        // the text of the selected entry; offers the placeholders
    QLabel *Label4 = nullptr;              // progress
    QListWidget *SkippedList = nullptr;    // the products passed over by the last run, and why
    QPushButton *Button1 = nullptr;        // 开始
    QPushButton *Button2 = nullptr;        // 取消 / 停止 / 关闭

    void FormShow();
    void ComboBox2Change();
    void ComboBox1Change();
    void Button1Click();
    void Button2Click();

    // The entries as edited.
    QStringList Entries() const;
    bool Running() const { return FRunning; }
    // The number of products of the main window's grid (0 without one).
    int ProductCount() const;

protected:
    void showEvent(QShowEvent *Event) override;

private:
    TPictureView *FViewer;
    bool FRunning = false;
    bool FFilling = false;
    void Skipped(int N, const QString &Reason);
};
