#include "ProductGrid.h"

#include "ProductPictures.h"
#include "platform/graphics/Graphics.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QToolTip>
#include <algorithm>
#include <future>
#include <iterator>
#include <system_error>
#include <thread>
#include <utility>

TProductGrid::TProductGrid(QWidget *Parent)
    : TCellGrid(Parent)
{
    setObjectName(QStringLiteral("CellGrid1"));
    SetColCount(6);
    SetRowCount(7);
    SetFixedRows(1);
    SetFixedCols(0);
    SetDefaultColWidth(42);
    SetDefaultRowHeight(24);
    SetWordWrap(true);
    // Product texts are shown as typed: the mini-HTML renderer never draws them.
    EnableHTML = false;
    SetOptions((Options() | goColSizing) & ~goEditing);
}

namespace {

// The least widths of the picture column and of the two value columns; the
// label columns keep theirs.
constexpr int MinPictureWidth = 140;
constexpr int MinValueWidth = 180;

} // namespace

void TProductGrid::FitColumns()
{
    if (ColCount() < 6)
        return;
    const int Fixed = ColWidths(0) + ColWidths(2) + ColWidths(4) + 6 * GridLineWidth();
    const int Least = MinPictureWidth + 2 * MinValueWidth;
    const int Room = std::max(Least, viewport()->width() - Fixed);
    const int Picture = Room * MinPictureWidth / Least;
    const int Value = (Room - Picture) / 2;
    SetColWidths(1, Picture);
    SetColWidths(3, Value);
    SetColWidths(5, Room - Picture - Value);
}

void TProductGrid::resizeEvent(QResizeEvent *Event)
{
    TCellGrid::resizeEvent(Event);
    FitColumns();
}

QString TProductGrid::GetFormattedText(int ACol, int ARow)
{
    const QString Text = TCellGrid::GetFormattedText(ACol, ARow);
    if (!IsPathCell(ACol, ARow))
        return Text;
    return QFontMetrics(Font()->ToQFont()).elidedText(Text, Qt::ElideMiddle, std::max(8, ColWidths(ACol) - 8));
}

bool TProductGrid::viewportEvent(QEvent *Event)
{
    if (Event->type() == QEvent::ToolTip) {
        auto *Help = static_cast<QHelpEvent *>(Event);
        int ACol = -1, ARow = -1;
        MouseToCell(Help->pos().x(), Help->pos().y(), ACol, ARow);
        if (IsPathCell(ACol, ARow) && !Cells(ACol, ARow).isEmpty()) {
            QToolTip::showText(Help->globalPos(), Cells(ACol, ARow), this);
            return true;
        }
    }
    return TCellGrid::viewportEvent(Event);
}

namespace {

// The cells of a product that take text, as column + 6 * (row - first row of
// the block), in the order Tab walks them.
constexpr int TextCells[] = {3, 5, 6 + 3, 6 + 5, 12 + 3, 12 + 5, 18 + 3};

} // namespace

TPoint TProductGrid::TextCellBeside(int ACol, int ARow, bool Next) const
{
    const TPoint B = BaseCell(ACol, ARow);
    const int Blocks = (RowCount() - 1) / 6;
    // The header row lies before the first product.
    const int N = B.Y < 1 ? 0 : (B.Y - 1) / 6 + 1;
    const int At = B.Y < 1 ? -1 : B.X + 6 * (B.Y - (6 * N - 5));
    const auto CellOf = [](int Block, int Key) { return TPoint(Key % 6, 6 * Block - 5 + Key / 6); };
    if (Next) {
        for (int Key : TextCells)
            if (N >= 1 && Key > At)
                return CellOf(N, Key);
        return N + 1 <= Blocks ? CellOf(N + 1, TextCells[0]) : TPoint(-1, -1);
    }
    for (auto K = std::rbegin(TextCells); K != std::rend(TextCells); ++K)
        if (N >= 1 && *K < At)
            return CellOf(N, *K);
    return N - 1 >= 1 ? CellOf(N - 1, *std::rbegin(TextCells)) : TPoint(-1, -1);
}

bool TProductGrid::TabToTextCell(bool Next)
{
    const TPoint T = TextCellBeside(Col(), Row(), Next);
    // Past the last text of the products (or before the first) the keyboard
    // stays where it is, as the grid keeps Tab at its ends: what is typed next
    // still reaches the page.
    if (T.X < 0 || T.Y >= RowCount())
        return RowCount() > 1;
    FocusCell(T.X, T.Y);
    return true;
}

int TProductGrid::TabDirection(const QKeyEvent *Key)
{
    if ((Key->key() != Qt::Key_Tab && Key->key() != Qt::Key_Backtab)
        || (Key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return 0;
    return Key->key() == Qt::Key_Tab && !(Key->modifiers() & Qt::ShiftModifier) ? 1 : -1;
}

bool TProductGrid::event(QEvent *Event)
{
    if (Event->type() == QEvent::KeyPress) {
        auto *K = static_cast<QKeyEvent *>(Event);
        if (const int Direction = TabDirection(K); Direction != 0 && TabToTextCell(Direction > 0)) {
            K->accept();
            return true;
        }
    }
    return TCellGrid::event(Event);
}

void TProductGrid::SetCells(int ACol, int ARow, const QString &Value)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return;
    SetCellText(ACol, ARow, Value);
    emit CellEdited(ACol, ARow);
}

int TProductGrid::ThumbnailHeight() const
{
    return std::max(1, CellExtent(1, 1).Y - 3);
}

bool TProductGrid::CreatePicture(int ACol, int ARow, const QString &FileName)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return true;
    // Stretch mode 4: shrunk into the cell keeping its aspect, never enlarged.
    TPicture *Picture = CreateCellPicture(ACol, ARow, false, 4, 0, haCenter, vaCenter);
    if (!Picture)
        return true;
    Picture->SetGraphic(
        std::make_unique<ProductPictures::TThumbnail>(FileName, ThumbnailHeight(), devicePixelRatioF()));
    RepaintCell(ACol, ARow);
    return true;
}

void TProductGrid::RemovePicture(int ACol, int ARow)
{
    RemoveCellGraphic(ACol, ARow);
}

namespace {

ProductPictures::TThumbnail *ThumbnailOf(const TCellGraphic *G)
{
    if (!G || G->CellType != ctPicture)
        return nullptr;
    const auto *Picture = dynamic_cast<const TPicture *>(G->GraphicObject());
    return Picture ? dynamic_cast<ProductPictures::TThumbnail *>(Picture->Graphic()) : nullptr;
}

} // namespace

bool TProductGrid::PictureDecoded(int ACol, int ARow) const
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    if (!G)
        return false;
    const ProductPictures::TThumbnail *T = ThumbnailOf(G);
    return !T || T->Decoded();
}

QStringList TProductGrid::DecodePictures(int ACol, const QList<int> &Rows)
{
    std::vector<ProductPictures::TThumbnail *> Thumbnails;
    Thumbnails.reserve(size_t(Rows.size()));
    for (int R : Rows)
        if (ProductPictures::TThumbnail *T = ThumbnailOf(GetCellGraphic(ACol, R)))
            Thumbnails.push_back(T);
    ProductPictures::TThumbnail::DecodeAll(Thumbnails);
    QStringList Unreadable;
    for (const ProductPictures::TThumbnail *T : Thumbnails)
        if (T->Unreadable())
            Unreadable << T->FileName();
    return Unreadable;
}

struct TProductGrid::TDecodingBatch {
    QList<int> Rows;
    QStringList Files;
    std::future<std::vector<ProductPictures::TThumbnail::TDecoded>> Results;
};

TProductGrid::~TProductGrid() = default;

void TProductGrid::StartDecodingPictures(int ACol, const QList<int> &Rows)
{
    using ProductPictures::TThumbnail;
    FDecodingCol = ACol;
    auto Batch = std::make_unique<TDecodingBatch>();
    std::vector<std::function<TThumbnail::TDecoded()>> Work;
    for (int R : Rows)
        if (TThumbnail *T = ThumbnailOf(GetCellGraphic(ACol, R))) {
            FDecodingRows << R;
            if (auto Decoding = T->Decoding()) {
                Batch->Rows << R;
                Batch->Files << T->FileName();
                Work.push_back(std::move(Decoding));
            }
        }
    if (Work.empty())
        return;
    try {
        Batch->Results = std::async(std::launch::async, [Work] { return TThumbnail::RunDecodings(Work); });
    } catch (const std::system_error &) {
        // No thread to be had: they are read here and now.
        std::promise<std::vector<TThumbnail::TDecoded>> Now;
        Now.set_value(TThumbnail::RunDecodings(Work));
        Batch->Results = Now.get_future();
    }
    FDecoding.push_back(std::move(Batch));
    // A few pictures to a thread are under way at most; the import waits for
    // the oldest beyond that (their bitmaps wait in memory otherwise).
    const qsizetype Most = 4 * qsizetype(std::max(1u, std::thread::hardware_concurrency()));
    for (;;) {
        qsizetype Running = 0;
        for (const auto &B : FDecoding)
            Running += B->Rows.size();
        if (Running <= Most || FDecoding.size() < 2)
            break;
        AdoptOldestBatch();
    }
}

void TProductGrid::AdoptOldestBatch()
{
    if (FDecoding.empty())
        return;
    std::unique_ptr<TDecodingBatch> Batch = std::move(FDecoding.front());
    FDecoding.erase(FDecoding.begin());
    std::vector<ProductPictures::TThumbnail::TDecoded> Results;
    try {
        Results = Batch->Results.get();
    } catch (...) {
        // What failed there is read again when it is shown.
        return;
    }
    for (qsizetype I = 0; I < Batch->Rows.size() && size_t(I) < Results.size(); ++I) {
        // The cell still holds the picture it was started for.
        ProductPictures::TThumbnail *T = ThumbnailOf(GetCellGraphic(FDecodingCol, Batch->Rows.at(I)));
        if (T && T->FileName() == Batch->Files.at(I))
            T->AdoptDecoded(std::move(Results[size_t(I)]));
    }
}

QStringList TProductGrid::FinishDecodingPictures()
{
    while (!FDecoding.empty())
        AdoptOldestBatch();
    QStringList Unreadable;
    for (int R : std::as_const(FDecodingRows))
        if (const ProductPictures::TThumbnail *T = ThumbnailOf(GetCellGraphic(FDecodingCol, R)); T && T->Unreadable())
            Unreadable << T->FileName();
    FDecodingRows.clear();
    return Unreadable;
}

void TProductGrid::DecodeVisiblePictures(qreal PixelRatio)
{
    // The picture column's cells that the paint will reach: the picture cell
    // of a block covers its first five rows, so a block whose first row lies
    // above the top row may still show.
    if (ColCount() < 2 || RowCount() <= FixedRows() || LeftCol() > 1)
        return;
    const int First = std::max(FixedRows(), TopRow() - 4);
    const int Last = std::min(RowCount() - 1, TopRow() + VisibleRowCount());
    // A picture being read elsewhere is waited for, not read again.
    for (qsizetype B = qsizetype(FDecoding.size()) - 1; B >= 0; --B)
        if (FDecodingCol == 1
            && std::any_of(FDecoding[size_t(B)]->Rows.cbegin(), FDecoding[size_t(B)]->Rows.cend(),
                           [&](int R) { return R >= First && R <= Last; })) {
            for (qsizetype Older = 0; Older <= B; ++Older)
                AdoptOldestBatch();
            break;
        }
    std::vector<ProductPictures::TThumbnail *> Shown;
    for (int R = First; R <= Last; ++R)
        if (ProductPictures::TThumbnail *T = ThumbnailOf(GetCellGraphic(1, R))) {
            // Made for the screen it shows on, with all the pixels it has.
            T->SetPixelRatio(PixelRatio);
            if (!T->Decoded())
                Shown.push_back(T);
        }
    ProductPictures::TThumbnail::DecodeAll(Shown);
}

void TProductGrid::Paint()
{
    try {
        QPainter *Painter = Canvas()->Painter();
        DecodeVisiblePictures(Painter ? PaintPixelRatio(*Painter) : devicePixelRatioF());
    } catch (...) {
        // Painting goes on: a thumbnail not decoded here decodes as it is drawn.
    }
    TCellGrid::Paint();
}
