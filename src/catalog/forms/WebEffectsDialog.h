#pragma once
// The web-effects dialog: the page's background picture, background music and
// visual effect (WebEffects reads and writes them in the page header). It plays
// the music and previews the effects in the browser.

#include "CatalogDialog.h"
#include "catalog/output/WebEffects.h"
#include "platform/services/Prompts.h"

#include <QStringList>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TForm5 : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget *Parent);
    ~TForm5() override;

    // ---- controls ----
    QLabel *Label1 = nullptr;          // 这里设定的网页视听特效将会应用到Catalog当中。
    QLabel *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    QLineEdit *Edit1 = nullptr;        // background picture
    QPushButton *Button1 = nullptr;    // 浏览……
    QPushButton *Button8 = nullptr;    // 清除
    QLineEdit *Edit2 = nullptr;        // background music
    QPushButton *Button2 = nullptr;    // 浏览……
    QPushButton *Button9 = nullptr;    // 清除
    QPushButton *Button3 = nullptr;    // 试听
    QPushButton *Button4 = nullptr;    // 停止
    QLabel *Label6 = nullptr;          // the music's status
    QComboBox *ComboBox1 = nullptr;    // the effect
    QLabel *Label5 = nullptr;          // the effect's description
    QPushButton *Button5 = nullptr;    // 确定
    QPushButton *Button6 = nullptr;    // 取消
    QPushButton *Button7 = nullptr;    // 预览背景特效
    std::unique_ptr<TOpenPictureDialog> OpenPictureDialog1;
    std::unique_ptr<TOpenDialog> OpenDialog1;

    void FormShow();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void ComboBox1Select();
    // Shared by both edits; Backspace in the music field stops the music.
    void Edit1KeyPress(QObject *Sender, QChar &Key);

    bool Playing() const { return FPlaying; }
    // The preview page: the program's scratch folder + fvhtml.html.
    static QString PreviewFile();

    void reject() override;

protected:
    void showEvent(QShowEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    bool FPlaying = false;
    QStringList FDescriptions;
    QString PageFolder() const;
    WebEffects::TEffects Chosen() const;
};
