// The main window's auto-fill commands: the 自动… items of the grid's popup
// menu and the auto-fill button, clicked, dropped on a grid field or with the
// grid dropped on it. The work is done by AutoFill::TAutoFiller; every written
// cell goes into the page text at once.

#include "MainWindow.h"
#include "catalog/document/AutoFill.h"
#include "catalog/document/ProductBlocks.h"

#include "platform/services/Application.h"
#include "platform/services/DragDrop.h"
#include "platform/services/Prompts.h"

#include <QAction>
#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>

using namespace AutoFill;

namespace {

const QString AutoFillDragType = QStringLiteral("application/x-quillbook-autofill");

// The input box of a command; false for Cancel or an empty answer (nothing to do).
bool Ask(const QString &Prompt, QString &Answer)
{
    Answer.clear();
    return InputQuery(QStringLiteral("请输入"), Prompt, Answer) && !Answer.isEmpty();
}

void ShowNotANumber(const QString &Message)
{
    if (!Message.isEmpty())
        MessageDlg(Message, mtError, mbOKOnly);
}

// The auto-fill button drags itself: moved with the left button down it starts a
// drag of its own; the grid's products may be dropped on it.
class TAutoFillButtonEvents : public QObject {
public:
    explicit TAutoFillButtonEvents(TForm1 *Form) : QObject(Form), FForm(Form) {}

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        // While the window is torn down its children still see events.
        if (!dynamic_cast<TForm1 *>(parent()) || Watched != FForm->Button6)
            return false;
        switch (Event->type()) {
        case QEvent::MouseButtonPress: {
            auto *Mouse = static_cast<QMouseEvent *>(Event);
            FPressed = Mouse->button() == Qt::LeftButton;
            FPressAt = Mouse->position().toPoint();
            return false;
        }
        case QEvent::MouseMove: {
            auto *Mouse = static_cast<QMouseEvent *>(Event);
            if (!FPressed || !(Mouse->buttons() & Qt::LeftButton)
                || (Mouse->position().toPoint() - FPressAt).manhattanLength() < QApplication::startDragDistance())
                return false;
            FPressed = false;
            auto *Data = new QMimeData;
            Data->setData(AutoFillDragType, QByteArray("Button6"));
            StartDrag(FForm->Button6, Data, Qt::CopyAction);
            // The drag ended the press: no click follows.
            FForm->Button6->setDown(false);
            return true;
        }
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *Drag = static_cast<QDragMoveEvent *>(Event);
            if (!Accepts(Drag->mimeData()))
                return false;
            Drag->setDropAction(Qt::CopyAction);
            Drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto *Drop = static_cast<QDropEvent *>(Event);
            const QMimeData *Data = Drop->mimeData();
            if (!Accepts(Data))
                return false;
            Drop->setDropAction(Qt::CopyAction);
            Drop->accept();
            if (TForm1::IsAutoFillDrag(Data))
                FForm->Guard([this] { FForm->Button6Click(); });   // dropped on itself: a click
            else
                FForm->Guard([this] { FForm->AutoFillDrop(FForm->CellGrid1->Col(), FForm->CellGrid1->Row()); });
            return true;
        }
        default:
            return false;
        }
    }

private:
    TForm1 *FForm;
    QPoint FPressAt;
    bool FPressed = false;

    static bool Accepts(const QMimeData *Data)
    {
        return Data && (TForm1::IsAutoFillDrag(Data) || Data->hasFormat(TForm1::ProductDragMimeType()));
    }
};

} // namespace

bool TForm1::IsAutoFillDrag(const QMimeData *Data)
{
    return Data && Data->hasFormat(AutoFillDragType);
}

void TForm1::ConnectAutoFillCommands()
{
    struct TItem {
        const char *Name;
        const char *Caption;
        void (TForm1::*Handler)();
    };
    static const TItem Items[] = {
        {"N29", "自动编号来自图片名", &TForm1::N29Click},
        {"N30", "自动编号按输入的前缀", &TForm1::N30Click},
        {"N32", "自动输入固定价格", &TForm1::N32Click},
        {"N33", "自动按倍数输入价格", &TForm1::N33Click},
        {"N35", "自动输入名称来自图片名", &TForm1::N35Click},
        {"N36", "自动输入名称来自  编号", &TForm1::N36Click},
        {"N37", "自动输入名称按输入的前缀", &TForm1::N37Click},
        {"N49", "自动输入名称 固定", &TForm1::N49Click},
        {"N39", "自动输入固定重量", &TForm1::N39Click},
        {"N40", "自动输入重量按倍数", &TForm1::N40Click},
        {"N42", "自动输入单位", &TForm1::N42Click},
        {"N48", "自动输入规格", &TForm1::N48Click},
        {"N44", "复制描述按……", &TForm1::N44Click},
        {"N46", "复制资料按……", &TForm1::N46Click},
    };
    PopupMenu1->addSeparator();
    for (const TItem &I : Items) {
        QAction *A = PopupMenu1->addAction(QString::fromUtf8(I.Caption));
        A->setObjectName(QString::fromLatin1(I.Name));
        const auto Handler = I.Handler;
        connect(A, &QAction::triggered, this, [this, Handler] { Guard([this, Handler] { (this->*Handler)(); }); });
    }
    connect(Button6, &QPushButton::clicked, this, [this] { Guard([this] { Button6Click(); }); });
    Button6->installEventFilter(new TAutoFillButtonEvents(this));
    Button6->setAcceptDrops(true);
}

// ---- the commands ----

namespace {

TAutoFiller Filler(TForm1 *Form)
{
    return TAutoFiller(Form->GridAccess(), [Form](int ACol, int ARow) { Form->StoreProductBlock(ACol, ARow); });
}

int CurrentProduct(TForm1 *Form)
{
    return ProductBlocks::BlockOfRow(qMax(1, Form->CellGrid1->Row()));
}

void PrefixCommand(TForm1 *Form, TField Field, const QString &Prompt)
{
    QString Answer;
    if (!Ask(Prompt, Answer))
        return;
    TWaitCursor Wait;
    Filler(Form).Prefix(CurrentProduct(Form), Field, Answer);
}

void FixedCommand(TForm1 *Form, TField Field, const QString &Prompt)
{
    QString Answer;
    if (!Ask(Prompt, Answer))
        return;
    TWaitCursor Wait;
    Filler(Form).Fixed(CurrentProduct(Form), Field, Answer);
}

void MultiplyCommand(TForm1 *Form, TField Field, const QString &Prompt, const QString &Format)
{
    QString Answer;
    if (!Ask(Prompt, Answer))
        return;
    QString Message;
    {
        TWaitCursor Wait;
        Message = Filler(Form).Multiply(CurrentProduct(Form), Field, Answer, Format);
    }
    ShowNotANumber(Message);
}

QString SourcePrompt(const QString &Lead, int Current)
{
    return Lead + QString::number(Current) + QStringLiteral("    ");
}

} // namespace

void TForm1::N29Click()
{
    Filler(this).FromPictureNames(fID);
}

void TForm1::N30Click()
{
    PrefixCommand(this, fID, QStringLiteral("输入编号类似：AT- 也可带起始参数如AT- /231 或者冒号后面带固定后缀如 ABC:DE   "));
}

void TForm1::N32Click()
{
    FixedCommand(this, fPrice, QStringLiteral("请输入一个价格，类似：0.78    "));
}

void TForm1::N33Click()
{
    MultiplyCommand(this, fPrice, QStringLiteral("请输入一个价格的倍数，类似：1.35    "), QStringLiteral("0.00"));
}

void TForm1::N35Click()
{
    Filler(this).FromPictureNames(fName);
}

void TForm1::N36Click()
{
    Filler(this).NameFromID();
}

void TForm1::N37Click()
{
    PrefixCommand(this, fName, QStringLiteral("输入类似：Name 也可带起始参数如AT- /231 或者冒号后面带固定后缀如 ABC:DE   "));
}

void TForm1::N49Click()
{
    FixedCommand(this, fName, QStringLiteral("请输入一个名称，类似：Pet    "));
}

void TForm1::N39Click()
{
    FixedCommand(this, fWeight, QStringLiteral("请输入一个重量，类似：38    "));
}

void TForm1::N40Click()
{
    MultiplyCommand(this, fWeight, QStringLiteral("请输入一个重量的倍数，类似：1.5    "), QStringLiteral("0.##"));
}

void TForm1::N42Click()
{
    FixedCommand(this, fUnit, QStringLiteral("请输入一个单位，类似：盒      "));
}

void TForm1::N48Click()
{
    FixedCommand(this, fSize, QStringLiteral("请输入一个规格，类似：190MM*270MM    "));
}

void TForm1::N44Click()
{
    QString Answer;
    if (!Ask(SourcePrompt(QStringLiteral("请输入一描述来源的序号，当前选择商品的序号为 "), CurrentProduct(this)), Answer))
        return;
    QString Message;
    {
        TWaitCursor Wait;
        Message = Filler(this).CopyFrom(1, Answer, {fDescription});
    }
    ShowNotANumber(Message);
}

void TForm1::N46Click()
{
    if (MessageDlg(QStringLiteral("该操作将复制指定资料，编号和名称除外，是否继续？"), mtConfirmation, mbOKCancel) != mrOk)
        return;
    QString Answer;
    if (!Ask(SourcePrompt(QStringLiteral("请输入一要复制的来源的序号，当前选择商品的序号为 "), CurrentProduct(this)), Answer))
        return;
    QString Message;
    {
        TWaitCursor Wait;
        Message = Filler(this).CopyFrom(CurrentProduct(this), Answer,
                                        {fPrice, fUnit, fWeight, fSize, fDescription});
    }
    ShowNotANumber(Message);
}

// ---- the button ----

void TForm1::Button6Click()
{
    // The popup then shows the auto-fill items without the record commands.
    Button6Tag = 9;
    PopupMenu1Popup();
    PopupMenu1->popup(Button6->mapToGlobal(QPoint(0, Button6->height())));
}

void TForm1::AutoFillDrop(int ACol, int ARow)
{
    const TDropCommand Command = DropCommand(ACol, ARow);
    if (Command == dcNone)
        return;
    if (ARow < CellGrid1->RowCount() && (CellGrid1->Col() != ACol || CellGrid1->Row() != ARow))
        CellGrid1->SetCurrentCell(ACol, ARow);
    switch (Command) {
    case dcAddPicture: SpeedButton3Click(); break;
    case dcPrefixID: N30Click(); break;
    case dcFixedPrice: N32Click(); break;
    case dcFixedWeight: N39Click(); break;
    case dcCopyDescription: N44Click(); break;
    case dcPrefixName: N37Click(); break;
    case dcUnit: N42Click(); break;
    case dcSize: N48Click(); break;
    case dcNone: break;
    }
}
