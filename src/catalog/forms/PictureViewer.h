#pragma once
// The picture viewer: one product picture, zoomed with the mouse wheel, with
// texts written onto it and saved as JPEG (over the picture, as a numbered
// copy or under a new name); the texts can then be written onto the pictures
// of a range of products (the batch dialog TForm6). The main window is told
// of every rewritten picture through WM_FORMNOTIFY, each notice with its own
// product and file.

#include "CatalogDialog.h"
#include "platform/graphics/Graphics.h"
#include "platform/services/Prompts.h"

#include <QPoint>
#include <QString>
#include <QStringList>
#include <memory>

class QLineEdit;
class QWheelEvent;
class QMenu;
class QAction;
class QScrollArea;
class QToolButton;
class TForm1;
class TForm6;

class TPictureView : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TPictureView(QWidget *Parent);
    ~TPictureView() override;

    // The picture shown and the product it belongs to.
    QString PictureFile;
    int ProductIndex = 0;

    // ---- controls ----
    QScrollArea *ScrollBox1 = nullptr;
    QWidget *Panel1 = nullptr;         // the movable frame, as large as the picture is shown
    QWidget *Image1 = nullptr;         // the shown picture, stretched to Panel1
    std::unique_ptr<TBitmap> Image2;   // the picture as loaded, with the texts written so far
    QLineEdit *Edit1 = nullptr;        // the text editor; its font is the writing font
    QToolButton *SpeedButton1 = nullptr, *SpeedButton2 = nullptr, *SpeedButton3 = nullptr,
                *SpeedButton4 = nullptr, *SpeedButton5 = nullptr, *SpeedButton6 = nullptr,
                *SpeedButton7 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *N1 = nullptr, *N9 = nullptr, *N5 = nullptr, *N3 = nullptr, *N6 = nullptr, *N7 = nullptr;
    std::unique_ptr<TFontDialog> FontDialog1;
    std::unique_ptr<TSavePictureDialog> SavePictureDialog1;

    // ---- handlers ----
    void FormShow();
    void FormCloseQuery(bool &CanClose);
    // A wheel step (Delta as the wheel reports it; below 1 is towards the user).
    void WndProcMouseWheel(int Delta);
    void Image1MouseDown(Qt::MouseButton Button, const QPoint &At);
    void Image1MouseMove(const QPoint &At);
    void Image1DblClick();
    void ScrollBox1DblClick();
    void N1Click();
    void SpeedButton1Click();
    void Edit1Exit();
    void Edit1KeyPress(QChar &Key);
    void Edit1MouseDown(const QPoint &At);
    void N5Click();
    void N3Click();
    void N6Click();
    void N7Click();
    void SpeedButton7Click();
    void N9Click();

    // Writes the picture (with its texts) as JPEG of quality 80.
    void SaveJpeg(const QString &Path);
    // Save: over the picture when it is a JPEG, else as its JPEG beside it.
    void SaveOverOriginal();
    // One product of the batch. False when its picture was passed over: only
    // JPEG pictures that can be read get the texts. Reason then says why, in
    // the user's words, naming the picture.
    bool BatchWriteText(int N, bool Relative, const QStringList &Texts, bool MakeCopy, QString *Reason = nullptr);

    // ---- state ----
    const QStringList &Texts() const { return FTexts; }
    bool Modified() const { return FModified; }
    QSize PictureSize() const;
    QRect ShownRect() const;             // Panel1 in the scroll box's content
    void SetShownRect(const QRect &R);   // for tests: a zoom
    TForm6 *Form6() const;

protected:
    void showEvent(QShowEvent *Event) override;
    void closeEvent(QCloseEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;
    // The wheel anywhere in the window zooms (over the picture the scroll box passes it on).
    void wheelEvent(QWheelEvent *Event) override;

private:
    QStringList FTexts;
    bool FModified = false;
    QPoint FRightClick;
    QPoint FDragFrom;
    bool FDraggingPanel = false;
    bool FDraggingEditor = false;
    bool FClosingChecked = false;
    TForm1 *MainForm() const;
    void EnableSaveButtons(bool Enabled);
    void ShowEditor(const QPoint &At);
    void UpdateCaption();
    void FitContent();
    void SaveCopy();
    void Notify(int Product, const QString &Path, int LParam);
};
