// Clipboard and cell stream of the grid: copying blocks of cells as text, RTF
// and the grid's own stream, pasting them back with growth and the smart
// series fill, and the wrapper components of the stream.
//
// The own format is untrusted input (another program may have put it on the
// clipboard): LoadCellsFromStream reads and checks the whole stream, every
// record and every size, before it touches the grid, so a damaged stream
// raises EReadError "Invalid stream format" and changes nothing.

#include "grid/CellGrid.h"
#include "grid/CellGridClipboard.h"
#include "grid/CgHTMLE.h"
#include "grid/CgUni.h"
#include "grid/GridObj.h"
#include "platform/core/Codec.h"
#include "platform/graphics/ClipboardData.h"

#include <QDate>
#include <QTime>

#include <unistd.h>

#include <atomic>
#include <set>
#include <tuple>

QString CellGridMimeType(const QString &FormatName)
{
    return QStringLiteral("application/x-qt-windows-mime;value=\"%1\"").arg(FormatName);
}

namespace {

const QString TextMime = QStringLiteral("text/plain");
const QString RtfMime = QStringLiteral("text/rtf");

// The comma text of a list of sizes; false when an element is no number in 0..MaxSize.
bool SplitSizes(const QString &Text, int Count, std::vector<int> &Sizes)
{
    const QStringList Parts = Text.split(QLatin1Char(','));
    if (Parts.size() != Count)
        return false;
    Sizes.clear();
    for (const QString &P : Parts) {
        bool Ok = false;
        const int V = P.toInt(&Ok);
        if (!Ok || V < 0 || V > 100000)
            return false;
        Sizes.push_back(V);
    }
    return true;
}

QString JoinSizes(const std::vector<int> &Sizes)
{
    QStringList L;
    for (int V : Sizes)
        L << QString::number(V);
    return L.join(QLatin1Char(','));
}

// The graphic kinds that carry an object of their own.
bool HasOwnObject(TCellType T)
{
    switch (T) {
    case ctBitmap: case ctIcon: case ctRadio: case ctImages: case ctPicture: case ctFilePicture: case ctBitButton:
        return true;
    default:
        return false;
    }
}

// A picture's graphic class by name, for the classes the picture registry knows.
std::unique_ptr<TGraphic> GraphicOfClass(const QString &ClassName)
{
    for (const char *Ext : {"bmp", "jpg", "ico", "gif", "png"}) {
        std::unique_ptr<TGraphic> G = TPicture::CreateGraphicForExtension(QString::fromLatin1(Ext));
        if (G && G->ClassName() == ClassName)
            return G;
    }
    return nullptr;
}

QByteArray GraphicBytes(TGraphic *G)
{
    TMemoryStream M;
    if (G)
        G->SaveToStream(&M);
    return M.Bytes();
}

void LoadGraphicBytes(TGraphic *G, const QByteArray &Bytes)
{
    TMemoryStream M;
    M.WriteBytes(Bytes);
    M.SetPosition(0);
    try {
        G->LoadFromStream(&M);
    } catch (const EInvalidGraphic &) {
        throw EReadError(QStringLiteral("Invalid stream format"));
    }
}

// One cell read from a stream, checked and complete, not yet in the grid.
struct TStreamCell {
    int Col = 0;
    int Row = 0;
    QString Text;
    std::unique_ptr<TCellProperties> Props;
    std::unique_ptr<TCellGraphic> Graphic;   // owns its object
};

template <typename T>
void ReadImage(TStream *Stream, T &Wrapper)
{
    Stream->ReadComponent(&Wrapper);
}

} // namespace

// =================================================================== wrappers

void TGridPropIO::DefineProperties(TFiler &F)
{
    F.Integer(QStringLiteral("ColCount"), ColCount);
    F.Integer(QStringLiteral("RowCount"), RowCount);
    F.String(QStringLiteral("ColWidths"), ColWidths);
    F.String(QStringLiteral("RowHeights"), RowHeights);
    F.Boolean(QStringLiteral("FullGrid"), FullGrid);
    F.Integer(QStringLiteral("ID"), ID);
}

void TGridCellIO::DefineProperties(TFiler &F)
{
    // Stored as integers so that rows past 32767 keep their places.
    F.Integer(QStringLiteral("Col"), Col);
    F.Integer(QStringLiteral("Row"), Row);
    F.String(QStringLiteral("Cell"), Cell);
    F.Boolean(QStringLiteral("HasProp"), HasProp);
}

void TGridCellPropIO::DefineProperties(TFiler &F)
{
    TCellProperties &P = CellProperties;
    F.PushPrefix(QStringLiteral("CellProperties"));
    int BrushColor = int(P.BrushColor());
    F.Integer(QStringLiteral("BrushColor"), BrushColor);
    F.Enum(QStringLiteral("BrushStyle"), P.BrushStyle, bsSolid, bsDiagCross);
    F.Integer(QStringLiteral("FontSize"), P.FontSize);
    int FontColor = int(P.FontColor);
    F.Integer(QStringLiteral("FontColor"), FontColor);
    int FontStyle = int(P.FontStyle.toInt());
    F.Integer(QStringLiteral("FontStyle"), FontStyle);
    F.Integer(QStringLiteral("CellSpanY"), P.CellSpanY);
    F.Integer(QStringLiteral("CellSpanX"), P.CellSpanX);
    F.Integer(QStringLiteral("BorderWidth"), P.BorderWidth);
    int BorderColor = int(P.BorderColor);
    F.Integer(QStringLiteral("BorderColor"), BorderColor);
    F.Enum(QStringLiteral("Alignment"), P.Alignment, taLeftJustify, taCenter);
    F.Boolean(QStringLiteral("IsBaseCell"), P.IsBaseCell);
    F.Integer(QStringLiteral("NodeLevel"), P.NodeLevel);
    F.Enum(QStringLiteral("Editor"), P.Editor, edNormal, edUniComboList);
    F.String(QStringLiteral("FontName"), P.FontName);
    F.Boolean(QStringLiteral("ReadOnly"), P.ReadOnly);
    TVAlignment VA = P.VAlignment();
    F.Enum(QStringLiteral("VAlignment"), VA, vtaTop, vtaBottom);
    bool WordWrap = P.WordWrap();
    F.Boolean(QStringLiteral("WordWrap"), WordWrap);
    F.PopPrefix();
    F.Boolean(QStringLiteral("HasGraphic"), HasGraphic);
    if (!F.Writing()) {
        P.SetBrushColor(TColor(BrushColor));
        P.FontColor = TColor(FontColor);
        P.FontStyle = TFontStyles::fromInt(FontStyle & 0x0F);
        P.BorderColor = TColor(BorderColor);
        P.SetVAlignment(VA);
        P.SetWordWrap(WordWrap);
    }
}

void TGridGraphicIO::DefineProperties(TFiler &F)
{
    TCellGraphic &G = CellGraphic;
    F.PushPrefix(QStringLiteral("CellGraphic"));
    F.Enum(QStringLiteral("CellType"), G.CellType, ctBitmap, ctProgressPie);
    F.Enum(QStringLiteral("CellVAlign"), G.CellVAlign, vaTop, vaFull);
    F.Enum(QStringLiteral("CellHAlign"), G.CellHAlign, haLeft, haFull);
    int Index = G.CellIndex;
    F.Integer(QStringLiteral("CellIndex"), Index);
    F.Boolean(QStringLiteral("CellTransparent"), G.CellTransparent);
    F.Boolean(QStringLiteral("CellCreated"), G.CellCreated);
    F.Boolean(QStringLiteral("CellBoolean"), G.CellBoolean);
    int Angle = G.CellAngle;
    F.Integer(QStringLiteral("CellAngle"), Angle);
    F.Float(QStringLiteral("CellValue"), G.CellValue);
    F.Enum(QStringLiteral("CellErrFrom"), G.CellErrFrom, -32768, 32767);
    F.Enum(QStringLiteral("CellErrLen"), G.CellErrLen, -32768, 32767);
    F.String(QStringLiteral("CellText"), G.CellText);
    int Progress = int(G.ProgressColor), ProgressBack = int(G.ProgressBackColor);
    F.Integer(QStringLiteral("ProgressColor"), Progress);
    F.Integer(QStringLiteral("ProgressBackColor"), ProgressBack);
    F.PopPrefix();
    if (!F.Writing()) {
        G.CellIndex = Index;
        G.CellAngle = Angle;
        G.ProgressColor = TColor(Progress);
        G.ProgressBackColor = TColor(ProgressBack);
    }
}

void TGridBMPIO::DefineProperties(TFiler &F)
{
    QByteArray Data = F.Writing() ? GraphicBytes(&Bitmap) : QByteArray();
    F.Binary(QStringLiteral("Bitmap"), Data);
    if (!F.Writing())
        LoadGraphicBytes(&Bitmap, Data);
}

void TGridIconIO::DefineProperties(TFiler &F)
{
    QByteArray Data = F.Writing() ? GraphicBytes(&Icon) : QByteArray();
    F.Binary(QStringLiteral("Icon"), Data);
    if (!F.Writing())
        LoadGraphicBytes(&Icon, Data);
}

void TGridPicIO::DefineProperties(TFiler &F)
{
    // The graphic's class name and its file bytes.
    QString Class = F.Writing() && Picture.Graphic() ? Picture.Graphic()->ClassName() : QString();
    QByteArray Data = F.Writing() ? GraphicBytes(Picture.Graphic()) : QByteArray();
    F.String(QStringLiteral("Picture.ClassName"), Class);
    F.Binary(QStringLiteral("Picture.Data"), Data);
    if (F.Writing() || Class.isEmpty())
        return;
    std::unique_ptr<TGraphic> G = GraphicOfClass(Class);
    if (!G)
        throw EReadError(QStringLiteral("Invalid stream format"));
    LoadGraphicBytes(G.get(), Data);
    Picture.SetGraphic(std::move(G));
}

void TGridFilePicIO::DefineProperties(TFiler &F)
{
    QString Name = Picture.Filename();
    F.String(QStringLiteral("Picture.Filename"), Name);
    if (!F.Writing())
        Picture.SetFilename(Name);
}

void TGridSLIO::DefineProperties(TFiler &F)
{
    QStringList L = Strings.ToQStringList();
    F.Strings(QStringLiteral("Strings"), L);
    if (!F.Writing())
        Strings = TStringList(L);
}

// =================================================================== stream

int TCellGrid::NewGridID()
{
    // Unique in this process, and unlikely to meet a grid of another one.
    static std::atomic<int> Next{1};
    return int((quint32(getpid()) << 12 ^ quint32(Next++)) & 0x7FFFFFFF);
}

void TCellGrid::SaveCellsToStream(const TRect &Block, TStream *Stream)
{
    // Only cells of the grid are written.
    TRect R = Block;
    R.Left = std::max(R.Left, 0);
    R.Top = std::max(R.Top, 0);
    R.Right = std::min(R.Right, ColCount() + NumHiddenColumns() - 1);
    R.Bottom = std::min(R.Bottom, RowCount() - 1);
    TGridPropIO P;
    P.ColCount = R.Right - R.Left + 1;
    P.RowCount = R.Bottom - R.Top + 1;
    std::vector<int> Sizes;
    for (int C = R.Left; C <= R.Right; ++C)
        Sizes.push_back(ColWidths(C));
    P.ColWidths = JoinSizes(Sizes);
    Sizes.clear();
    for (int Rw = R.Top; Rw <= R.Bottom; ++Rw)
        Sizes.push_back(RowHeights(Rw));
    P.RowHeights = JoinSizes(Sizes);
    P.FullGrid = P.ColCount == ColCount() && P.RowCount == RowCount();
    P.ID = FGridID;
    Stream->WriteComponent(&P);

    for (int C = R.Left; C <= R.Right; ++C)
        for (int Rw = R.Top; Rw <= R.Bottom; ++Rw) {
            TGridCellIO CellIO;
            CellIO.Cell = GetCellText(C, Rw);
            CellIO.HasProp = HasCellProperties(C, Rw);
            if (CellIO.Cell.isEmpty() && !CellIO.HasProp)
                continue;
            CellIO.Col = C;
            CellIO.Row = Rw;
            Stream->WriteComponent(&CellIO);
            if (!CellIO.HasProp)
                continue;
            TCellProperties *Props = GetCellProperties(C, Rw);
            TCellGraphic *G = Props->CellGraphic();
            TGridCellPropIO PropIO;
            PropIO.CellProperties.Assign(*Props);
            PropIO.HasGraphic = G && G->CellType != ctEmpty && (!HasOwnObject(G->CellType) || G->CellCreated);
            Stream->WriteComponent(&PropIO);
            if (!PropIO.HasGraphic)
                continue;
            TGridGraphicIO GraphicIO;
            GraphicIO.CellGraphic.Assign(*G);
            Stream->WriteComponent(&GraphicIO);
            switch (G->CellType) {
            case ctBitmap:
            case ctBitButton: {
                TGridBMPIO IO;
                if (auto *B = dynamic_cast<TBitmap *>(G->GraphicObject()))
                    IO.Bitmap = *B;
                Stream->WriteComponent(&IO);
                break;
            }
            case ctIcon: {
                TGridIconIO IO;
                if (auto *I = dynamic_cast<TIcon *>(G->IconObject()))
                    IO.Icon.Assign(I);
                Stream->WriteComponent(&IO);
                break;
            }
            case ctRadio: {
                TGridSLIO IO;
                if (auto *L = dynamic_cast<TStringList *>(G->GraphicObject()))
                    IO.Strings.Assign(*L);
                Stream->WriteComponent(&IO);
                break;
            }
            case ctImages: {
                TGridSLIO IO;
                if (auto *L = dynamic_cast<TIntList *>(G->GraphicObject()))
                    IO.Strings.SetCommaText(L->CommaText());
                Stream->WriteComponent(&IO);
                break;
            }
            case ctPicture: {
                TGridPicIO IO;
                if (auto *Pic = dynamic_cast<TPicture *>(G->GraphicObject()))
                    IO.Picture.Assign(Pic);
                Stream->WriteComponent(&IO);
                break;
            }
            case ctFilePicture: {
                TGridFilePicIO IO;
                if (auto *FP = dynamic_cast<TFilePicture *>(G->GraphicObject()))
                    IO.Picture.Assign(*FP);
                Stream->WriteComponent(&IO);
                break;
            }
            default:
                break;
            }
        }
}

void TCellGrid::LoadCellsFromStream(const TPoint &Origin, TStream *Stream)
{
    auto Fail = []() { throw EReadError(QStringLiteral("Invalid stream format")); };

    // First the whole stream, checked, into memory.
    TGridPropIO P;
    ReadImage(Stream, P);
    std::vector<int> Widths, Heights;
    if (P.ColCount < 1 || P.RowCount < 1 || !SplitSizes(P.ColWidths, P.ColCount, Widths)
        || !SplitSizes(P.RowHeights, P.RowCount, Heights))
        Fail();
    std::vector<TStreamCell> Cells;
    bool HaveFirst = false;
    TPoint First;
    while (Stream->Position() < Stream->Size() - 1) {
        TGridCellIO CellIO;
        ReadImage(Stream, CellIO);
        if (!HaveFirst) {
            First = TPoint(CellIO.Col, CellIO.Row);
            HaveFirst = true;
        }
        // Every cell lies in the block the stream declares.
        if (P.FullGrid ? (CellIO.Col < 0 || CellIO.Col >= P.ColCount || CellIO.Row < 0 || CellIO.Row >= P.RowCount)
                       : (qAbs(qint64(CellIO.Col) - First.X) >= P.ColCount
                          || qAbs(qint64(CellIO.Row) - First.Y) >= P.RowCount))
            Fail();
        TStreamCell Cell;
        Cell.Col = CellIO.Col;
        Cell.Row = CellIO.Row;
        Cell.Text = CellIO.Cell;
        if (CellIO.HasProp) {
            TGridCellPropIO PropIO;
            ReadImage(Stream, PropIO);
            Cell.Props = std::make_unique<TCellProperties>(nullptr, 0, 0);
            Cell.Props->Assign(PropIO.CellProperties);
            if (PropIO.HasGraphic) {
                TGridGraphicIO GraphicIO;
                ReadImage(Stream, GraphicIO);
                auto G = std::make_unique<TCellGraphic>();
                G->Assign(GraphicIO.CellGraphic);
                // A virtual check box's graphic belongs to the application, is shared
                // by its cells and never freed by them; one read from a stream is
                // the cell's own, so it becomes a data check box, which keeps its
                // state in the cell text the same way.
                if (G->CellType == ctVirtCheckBox)
                    G->CellType = ctDataCheckBox;
                switch (G->CellType) {
                case ctBitmap:
                case ctBitButton: {
                    TGridBMPIO IO;
                    ReadImage(Stream, IO);
                    G->SetGraphicObject(new TBitmap(IO.Bitmap));
                    break;
                }
                case ctIcon: {
                    TGridIconIO IO;
                    ReadImage(Stream, IO);
                    auto *I = new TIcon;
                    I->Assign(&IO.Icon);
                    G->SetIconObject(I);
                    break;
                }
                case ctRadio: {
                    TGridSLIO IO;
                    ReadImage(Stream, IO);
                    G->SetGraphicObject(new TStringList(IO.Strings));
                    break;
                }
                case ctImages: {
                    TGridSLIO IO;
                    ReadImage(Stream, IO);
                    auto L = std::make_unique<TIntList>(0, 0);
                    try {
                        L->SetCommaText(IO.Strings.CommaText());
                    } catch (const EConvertError &) {
                        Fail();
                    }
                    G->SetGraphicObject(L.release());
                    break;
                }
                case ctPicture: {
                    TGridPicIO IO;
                    ReadImage(Stream, IO);
                    auto *Pic = new TPicture;
                    Pic->Assign(&IO.Picture);
                    G->SetGraphicObject(Pic);
                    break;
                }
                case ctFilePicture: {
                    TGridFilePicIO IO;
                    ReadImage(Stream, IO);
                    auto *FP = new TFilePicture;
                    FP->Assign(IO.Picture);
                    G->SetGraphicObject(FP);
                    break;
                }
                default:
                    break;
                }
                // The objects made here belong to the graphic, whatever the stream said.
                if (HasOwnObject(G->CellType))
                    G->CellCreated = true;
                Cell.Graphic = std::move(G);
            }
        }
        Cells.push_back(std::move(Cell));
    }

    // Then the grid.
    BeginUpdate();
    if (P.FullGrid) {
        EmptyAllCells();
        SetRowCount(P.RowCount);
        SetColCount(P.ColCount);
        for (int C = 0; C < P.ColCount && C < ColCount(); ++C)
            SetColWidths(C, Widths[size_t(C)]);
        for (int R = 0; R < P.RowCount && R < RowCount(); ++R)
            SetRowHeights(R, Heights[size_t(R)]);
    }
    const TPoint Shift = P.FullGrid ? Origin : TPoint(Origin.X - First.X, Origin.Y - First.Y);
    // Merged blocks are not taken as the stream states them: a block comes
    // back, cut to the grid, only when its base and every cell it covers
    // arrived, so that a block never reaches past the grid or over cells the
    // stream did not hold (a few bytes claiming a huge block).
    struct TBlock {
        int Col, Row, SpanX, SpanY;
    };
    std::vector<TBlock> Blocks;
    std::set<std::tuple<int, int, int, int>> Covered;   // base column and row, then the cell's
    for (TStreamCell &Cell : Cells) {
        const qint64 TC = qint64(Cell.Col) + Shift.X, TR = qint64(Cell.Row) + Shift.Y;
        // Cells that would fall outside the grid are left out.
        if (TC < 0 || TR < 0 || TC >= ColCount() + NumHiddenColumns() || TR >= RowCount())
            continue;
        const int C = int(TC), R = int(TR);
        if (Cell.Props && IsMergedCell(C, R))
            UnmergeCellBlock(C, R);
        SetCellText(C, R, Cell.Text);
        if (!Cell.Props)
            continue;
        const bool Base = Cell.Props->IsBaseCell;
        const int SX = Cell.Props->CellSpanX, SY = Cell.Props->CellSpanY;
        if (Base && SX >= 0 && SY >= 0 && (SX > 0 || SY > 0))
            Blocks.push_back(TBlock{C, R, SX, SY});
        else if (!Base && SX >= 0 && SY >= 0 && (SX > 0 || SY > 0))
            Covered.insert({C - SX, R - SY, C, R});
        TCellProperties *Target = GetCellProperties(C, R);
        Target->Assign(*Cell.Props);
        Target->IsBaseCell = true;
        Target->CellSpanX = -1;
        Target->CellSpanY = -1;
        Target->OwnerCol = C;
        Target->OwnerRow = R;
        if (Cell.Graphic)
            Target->SetCellGraphic(Cell.Graphic.release());
    }
    for (const TBlock &B : Blocks) {
        const int Cols = int(std::min<qint64>(qint64(B.SpanX) + 1, ColCount() - B.Col));
        const int Rows = int(std::min<qint64>(qint64(B.SpanY) + 1, RowCount() - B.Row));
        if (Cols < 1 || Rows < 1 || qint64(Cols) * Rows < 2)
            continue;
        const auto From = Covered.lower_bound({B.Col, B.Row, B.Col, B.Row});
        qint64 Arrived = 0;
        for (auto It = From; It != Covered.end() && std::get<0>(*It) == B.Col && std::get<1>(*It) == B.Row; ++It)
            if (std::get<2>(*It) < B.Col + Cols && std::get<3>(*It) < B.Row + Rows)
                ++Arrived;
        if (Arrived == qint64(Cols) * Rows - 1)
            MergeCellBlock(B.Col, B.Row, Cols, Rows);
    }
    EndUpdate();
}

// =================================================================== copy

void TCellGrid::CopyToClipboard(const TRect &R, bool SelectedOnly)
{
    FCopyOrigin = TPoint(R.Left, R.Top);
    const QString Text = BlockText(R, SelectedOnly);
    QList<QPair<QString, QByteArray>> Formats;
    Formats << qMakePair(TextMime, Text.toUtf8());
    if (Navigation()->AllowRTFClipboard) {
        const QString TopLeft = GetCellText(RealColIndex(R.Left), R.Top);
        if (TopLeft.contains(QLatin1String("{\\"))) {
            const QByteArray Rtf = Cp936::Encode(TopLeft);
            Formats << qMakePair(RtfMime, Rtf) << qMakePair(CellGridMimeType(RichTextFormat), Rtf + '\0');
        }
    }
    if (Navigation()->AllowFmtClipboard) {
        TMemoryStream M;
        SaveCellsToStream(TRect(RealColIndex(R.Left), R.Top, RealColIndex(R.Right), R.Bottom), &M);
        Formats << qMakePair(CellGridMimeType(CellGridCellsFormat), M.Bytes());
    }
    // A clipboard that refuses the data ends the copy quietly.
    SetClipboardData(Formats, QImage());
}

QString TCellGrid::BlockText(const TRect &R, bool SelectedOnly)
{
    TMouseActions *MA = MouseActions();
    QString Text;
    for (int Rw = R.Top; Rw <= R.Bottom; ++Rw) {
        if (MA->DisjunctRowSelect && SelectedOnly && !MA->DisjunctColSelect && !RowSelect(Rw))
            continue;
        QString Line;
        for (int C = R.Left; C <= R.Right; ++C) {
            if (MA->DisjunctColSelect && SelectedOnly && !ColSelect(C))
                continue;
            // Wide cells are copied as their decoded text.
            QString S = WideCellDisplayText(GetFormattedText(RealColIndex(C), Rw));
            if (!Navigation()->CopyHTMLTagsToClipboard && S.contains(QLatin1String("</")))
                S = HTMLStrip(S);
            else if (S.contains(QLatin1String("{\\")))
                S = RichToPlain(S);
            // Quoted as spreadsheets quote a cell: a text of more lines, and
            // one that holds a tab or starts with a quote, so that it comes
            // back as it was; its quotes are doubled inside.
            if (ClipboardQuoting
                && (S.contains(QLatin1Char('\n')) || S.contains(QLatin1Char('\r')) || S.contains(QLatin1Char('\t'))
                    || S.startsWith(QLatin1Char('"')))) {
                S.replace(QLatin1String("\r\n"), QLatin1String("\n"));
                S.replace(QLatin1Char('"'), QLatin1String("\"\""));
                S = QLatin1Char('"') + S + QLatin1Char('"');
            }
            Line += S + QLatin1Char('\t');
        }
        if (Line.endsWith(QLatin1Char('\t')))
            Line.chop(1);
        Text += Line;
        if (R.Bottom > R.Top)
            Text += QLatin1String("\r\n");
    }
    return Text;
}

TRect TCellGrid::ClipboardSelectionRect(bool &SelectedOnly)
{
    const TGridRect S = Selection();
    TRect R(S.Left, S.Top, S.Right, S.Bottom);
    SelectedOnly = false;
    TMouseActions *MA = MouseActions();
    auto Span = [](int Count, const std::function<bool(int)> &Flagged, int &First, int &Last) {
        First = -1;
        for (int I = 0; I < Count; ++I)
            if (Flagged(I)) {
                if (First < 0)
                    First = I;
                Last = I;
            }
        return First >= 0;
    };
    int First = 0, Last = 0;
    if (MA->DisjunctRowSelect && Span(RowCount(), [this](int I) { return RowSelect(I); }, First, Last)) {
        R.Top = First;
        R.Bottom = Last;
        SelectedOnly = true;
    }
    if (MA->DisjunctColSelect && Span(ColCount(), [this](int I) { return ColSelect(I); }, First, Last)) {
        R.Left = First;
        R.Right = Last;
        SelectedOnly = true;
    }
    return R;
}

void TCellGrid::CopySelectionToClipboard()
{
    bool SelectedOnly = false;
    const TRect R = ClipboardSelectionRect(SelectedOnly);
    CopyToClipboard(R, SelectedOnly);
    FCopyFlag = true;
}

void TCellGrid::CutSelectionToClipboard()
{
    bool SelectedOnly = false;
    const TRect R = ClipboardSelectionRect(SelectedOnly);
    CopyToClipboard(R, SelectedOnly);
    TMouseActions *MA = MouseActions();
    if (!MA->DisjunctRowSelect && !MA->DisjunctColSelect) {
        // Only cells the user may change are emptied, unless the clipboard may change them all.
        const bool Always = Navigation()->AllowClipboardAlways;
        BeginUpdate();
        for (int Rw = R.Top; Rw <= R.Bottom; ++Rw)
            for (int C = R.Left; C <= R.Right; ++C) {
                const int RC = RealColIndex(C);
                if (!Always && !IsEditable(RC, Rw))
                    continue;
                SetCellText(RC, Rw, QString());
                if (Navigation()->AllowFmtClipboard)
                    FreeCellProperties(RC, Rw, RC, Rw);
            }
        EndUpdate();
    }
    if (MA->DisjunctColSelect)
        for (int C = FixedCols(); C < ColCount(); ++C)
            if (ColSelect(C))
                ClearColumnBlock(RealColIndex(C), 1);
    if (MA->DisjunctRowSelect)
        for (int Rw = FixedRows(); Rw < RowCount(); ++Rw)
            if (RowSelect(Rw))
                ClearRowBlock(Rw, 1);
    FCopyFlag = false;
}

// =================================================================== paste

void TCellGrid::CellsPasted(const TPoint &, const TRect &, bool) {}

int TCellGrid::PasteFromClipboard(int ACol, int ARow)
{
    TNavigation *Nav = Navigation();
    const QByteArray Own = Nav->AllowFmtClipboard ? ClipboardFormatData(CellGridMimeType(CellGridCellsFormat))
                                                  : QByteArray();
    if (!Own.isEmpty()) {
        TMemoryStream M;
        M.WriteBytes(Own);
        M.SetPosition(0);
        LoadCellsFromStream(TPoint(ACol, ARow), &M);
        M.SetPosition(0);
        TGridPropIO P;
        M.ReadComponent(&P);
        const TRect Pasted(ACol, ARow, ACol + P.ColCount - 1, ARow + P.RowCount - 1);
        CellsPasted(P.ID != FGridID ? TPoint(-1, -1) : FCopyOrigin, Pasted, FCopyFlag);
        viewport()->update();
        return P.ColCount * P.RowCount;
    }
    if (Nav->AllowRTFClipboard) {
        QByteArray Rtf = ClipboardFormatData(CellGridMimeType(RichTextFormat));
        if (Rtf.isEmpty())
            Rtf = ClipboardFormatData(RtfMime);
        if (!Rtf.isEmpty()) {
            const qsizetype Nul = Rtf.indexOf('\0');
            if (Nul >= 0)
                Rtf.truncate(Nul);
            if (IsEditable(RealColIndex(ACol), ARow))
                SetCellText(RealColIndex(ACol), ARow, Cp936::Decode(Rtf));
            return 0;
        }
    }
    const QByteArray Text = ClipboardFormatData(TextMime);
    if (!Text.isNull())
        return PasteText(ACol, ARow, QString::fromUtf8(Text));
    return 0;
}

namespace {

// The rows of a pasted text, each a list of its cells. Without quoting: lines
// split at CR (an LF right after it skipped), or at LF in a text without CR as
// programs here write it, and cells split at TAB.
//
// With quoting, as spreadsheets and python's excel-tab dialect write it: a
// row ends at CR LF, CR or LF, cells at TAB; a cell that starts with a double
// quote runs to its closing quote, across tabs and line ends, a doubled quote
// inside standing for one quote and each line break becoming CR LF; whatever
// follows the closing quote up to the cell's end is kept. A quote that never
// closes is only a character. (After one such quote every later quote of the
// text closes, so the text is read in one pass.)
std::vector<QStringList> PastedRows(const QString &Text, bool Quoting)
{
    std::vector<QStringList> Rows;
    const QChar CR = QLatin1Char('\r'), LF = QLatin1Char('\n'), Tab = QLatin1Char('\t'), Quote = QLatin1Char('"');
    const qsizetype N = Text.size();
    if (!Quoting) {
        const bool HasCR = Text.contains(CR);
        qsizetype Start = 0;
        for (qsizetype I = 0; I <= N; ++I) {
            if (I < N && Text.at(I) != (HasCR ? CR : LF))
                continue;
            Rows.push_back(Text.mid(Start, I - Start).split(Tab));
            if (HasCR && I + 1 < N && Text.at(I + 1) == LF)
                ++I;
            Start = I + 1;
        }
        return Rows;
    }
    Rows.emplace_back();
    qsizetype I = 0;
    for (;;) {
        QString Cell;
        if (I < N && Text.at(I) == Quote) {
            QString Inner;
            qsizetype Q = I + 1;
            bool Closed = false;
            while (Q < N) {
                const QChar C = Text.at(Q);
                if (C == Quote) {
                    if (Q + 1 < N && Text.at(Q + 1) == Quote) {
                        Inner += Quote;
                        Q += 2;
                        continue;
                    }
                    Closed = true;
                    ++Q;
                    break;
                }
                if (C == LF && Text.at(Q - 1) != CR)
                    Inner += CR;
                Inner += C;
                ++Q;
            }
            if (Closed) {
                Cell = Inner;
                I = Q;
            }
        }
        qsizetype End = I;
        while (End < N && Text.at(End) != Tab && Text.at(End) != CR && Text.at(End) != LF)
            ++End;
        Cell += QStringView(Text).mid(I, End - I);
        Rows.back() << Cell;
        I = End;
        if (I >= N)
            break;
        if (Text.at(I) != Tab) {
            if (Text.at(I) == CR && I + 1 < N && Text.at(I + 1) == LF)
                ++I;
            Rows.emplace_back();
        }
        ++I;
    }
    return Rows;
}

bool IsEmptyRow(const QStringList &Row)
{
    return Row.size() == 1 && Row.first().isEmpty();
}

} // namespace

int TCellGrid::PasteText(int ACol, int ARow, const QString &Text)
{
    TNavigation *Nav = Navigation();
    if (ACol < 0 || ARow < 0)
        return 0;
    if (!(Options() & goEditing) && !Nav->AllowClipboardAlways && !MouseActions()->RangeSelectAndEdit)
        return 0;
    const std::vector<QStringList> Lines = PastedRows(Text, ClipboardQuoting);
    int Count = 0;
    int R = ARow;
    int LastCol = ACol, LastRow = ARow;
    BeginUpdate();
    for (size_t L = 0; L < Lines.size(); ++L) {
        const QStringList &Parts = Lines[L];
        const bool LastLine = L == Lines.size() - 1;
        for (qsizetype I = 0; I < Parts.size(); ++I) {
            const int C = ACol + int(I);
            QString V = Parts[I];
            if (LastLine && I == Parts.size() - 1 && V.isEmpty())
                break;
            // The grid grows before the part is stored, so a part just past
            // the last column lands in a visible cell.
            if (C >= ColCount() && Nav->AllowClipboardColGrow)
                SetColCount(C + 1);
            if (C < ColCount() && R < RowCount()) {
                const int RC = RealColIndex(C);
                if (Nav->AllowClipboardAlways || IsEditable(RC, R)) {
                    bool Allow = true;
                    if (OnClipboardBeforePasteCell)
                        OnClipboardBeforePasteCell(this, RC, R, V, Allow);
                    if (Allow) {
                        SetCellText(RC, R, V);
                        if (RC != C)
                            RepaintCell(C, R);
                    }
                }
            }
            ++Count;
            LastCol = std::max(LastCol, C);
            LastRow = R;
        }
        if (LastLine)
            break;
        ++R;
        const bool MoreText = L + 2 < Lines.size() || !IsEmptyRow(Lines[L + 1]);
        if (R == RowCount() && MoreText && Nav->AllowClipboardRowGrow)
            SetRowCount(R + 1);
    }
    EndUpdate();
    const TRect Pasted(ACol, ARow, LastCol, LastRow);
    CellsPasted(FCopyOrigin, Pasted, FCopyFlag);
    CellsChanged(Pasted);
    return Count;
}

void TCellGrid::TextSize(const QString &Text, int &Cols, int &Rows)
{
    Cols = 0;
    Rows = int(Text.count(QLatin1Char('\r')));
    for (const QString &Line : Text.split(QLatin1Char('\r')))
        Cols = std::max(Cols, int(QStringView(Line).count(QLatin1Char('\t'))) + 1);
    if (Rows == 0 && !Text.isEmpty())
        Rows = 1;
    if (Text.isEmpty())
        Cols = 0;
}

// =================================================================== smart paste

namespace {

bool ParseTime(const QString &S, QTime &T)
{
    const QStringList P = S.trimmed().split(TimeSeparator);
    if (P.size() < 2 || P.size() > 3)
        return false;
    int V[3] = {0, 0, 0};
    for (qsizetype I = 0; I < P.size(); ++I)
        if (!TryStrToInt(P[I], V[I]))
            return false;
    T = QTime(V[0], V[1], V[2]);
    return T.isValid();
}

} // namespace

void TCellGrid::PasteSelectionFromClipboard()
{
    const TGridRect S = Selection();
    const int N = PasteFromClipboard(S.Left, S.Top);
    if (!Navigation()->AllowSmartClipboard || N < 1)
        return;
    const int W = S.Right - S.Left + 1, H = S.Bottom - S.Top + 1;
    BeginUpdate();
    if (N == 1 && W * H > 1) {
        const QString V = GetCellText(RealColIndex(S.Left), S.Top);
        for (int R = S.Top; R <= S.Bottom; ++R)
            for (int C = S.Left; C <= S.Right; ++C)
                if (IsEditable(RealColIndex(C), R))
                    SetCellText(RealColIndex(C), R, V);
    } else if (N > 1 && (W == 1 || H == 1) && W * H > 2) {
        const bool Down = W == 1;
        const int Len = Down ? H : W;
        auto Cell = [&](int I) { return Down ? TPoint(RealColIndex(S.Left), S.Top + I) : TPoint(RealColIndex(S.Left + I), S.Top); };
        const QString V1 = GetCellText(Cell(0).X, Cell(0).Y), V2 = GetCellText(Cell(1).X, Cell(1).Y);
        auto Put = [&](int I, const QString &V) {
            const TPoint P = Cell(I);
            if (IsEditable(P.X, P.Y))
                SetCellText(P.X, P.Y, V);
        };
        const bool IsTime = V1.contains(TimeSeparator) && V2.contains(TimeSeparator);
        const bool IsDate = V1.contains(DateSeparator) && V2.contains(DateSeparator);
        int I1 = 0, I2 = 0;
        double F1 = 0, F2 = 0;
        const bool NoDecimal = !V1.contains(DecimalSeparator) && !V2.contains(DecimalSeparator);
        TDateTime D1 = 0, D2 = 0;
        QTime T1, T2;
        if (IsTime && ParseTime(V1, T1) && ParseTime(V2, T2)) {
            const int Step = T1.secsTo(T2);
            QTime T = T2;
            for (int I = 2; I < Len; ++I) {
                T = T.addSecs(Step);
                Put(I, TimeToStr(EncodeTime(T.hour(), T.minute(), T.second(), 0)));
            }
        } else if (IsDate && TryStrToDate(V1, D1) && TryStrToDate(V2, D2)) {
            int Y1, M1, Dd1, Y2, M2, Dd2;
            DecodeDate(D1, Y1, M1, Dd1);
            DecodeDate(D2, Y2, M2, Dd2);
            QDate D(Y2, M2, Dd2);
            for (int I = 2; I < Len; ++I) {
                D = D.addYears(Y2 - Y1).addMonths(M2 - M1).addDays(Dd2 - Dd1);
                if (!D.isValid())
                    break;
                Put(I, DateToStr(EncodeDate(D.year(), D.month(), D.day())));
            }
        } else if (NoDecimal && TryStrToInt(V1, I1) && TryStrToInt(V2, I2)) {
            qint64 V = I2;
            for (int I = 2; I < Len; ++I) {
                V += qint64(I2) - I1;
                const TPoint P = Cell(I);
                if (IsEditable(P.X, P.Y))
                    SetCellText(P.X, P.Y, IntToStr(V));
            }
        } else if (TryStrToFloat(V1, F1) && TryStrToFloat(V2, F2)) {
            double V = F2;
            for (int I = 2; I < Len; ++I) {
                V += F2 - F1;
                const TPoint P = Cell(I);
                if (IsEditable(P.X, P.Y))
                    SetFloats(P.X, P.Y, V);
            }
        } else if (NoDecimal) {
            for (int I = N; I < Len; ++I) {
                const TPoint From = Cell(I - N);
                Put(I, GetCellText(From.X, From.Y));
            }
        }
    }
    EndUpdate();
}
