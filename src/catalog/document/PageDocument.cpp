#include "PageDocument.h"

#include "CompanyFiles.h"

#include "platform/core/Classes.h"
#include "platform/core/Codec.h"
#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <functional>
#include <vector>



const QString TPageDocument::Magic = QStringLiteral("QBT FILE TYPE 2.0");
const QString TPageDocument::MarkerComment = QStringLiteral("/*以下内容均由程序自动生成，一般用户无需自行修改。");
const QString TPageDocument::RepairedMarker = QStringLiteral("/*以下内容均由程序自动生成，一般用户无需修改。");
const QString TPageDocument::DetailLine = QStringLiteral("{detail}");
const QString TPageDocument::RepairedLine = QStringLiteral("/*修复的行");
const QString TPageDocument::MissingPicture = QStringLiteral("图片文件不存在");

const QStringList TPageDocument::HeaderKeys = {
    QStringLiteral("{Catalog编号}"), QStringLiteral("{Catalog名称}"), QStringLiteral("{业务员名}"),
    QStringLiteral("{客户编号}"), QStringLiteral("{客户名称}"), QStringLiteral("{客户公司名}"),
    QStringLiteral("{日期}"), QStringLiteral("{货币符号}"), QStringLiteral("{产品单位}"),
    QStringLiteral("{重量单位}"), QStringLiteral("{图片宽}"), QStringLiteral("{图片高}"),
    QStringLiteral("{输出目录}"), QStringLiteral("{输出方式}"), QStringLiteral("{输出风格}"),
    QStringLiteral("{输出语言}"), QStringLiteral("{订单接收email地址}"), QStringLiteral("{图片框百分比}"),
    QStringLiteral("{Catalog说明}"),
};

const QStringList TPageDocument::ValueKeys = {
    QStringLiteral("{$IMG}="), QStringLiteral("{$PID}="), QStringLiteral("{$PNAME}="),
    QStringLiteral("{$PPRICE}="), QStringLiteral("{$PUNIT}="), QStringLiteral("{$PWEIGHT}="),
    QStringLiteral("{$PSERIAL}="), QStringLiteral("{$PNOTE}="),
};

namespace {

// Where each value line of a block lives in the grid: the key's index in
// ValueKeys, the column and the row offset from the block's first row.
struct TValueCell {
    int Col;
    int RowOffset;
};
const TValueCell ValueCells[8] = {
    {1, 5}, {3, 0}, {5, 0}, {3, 1}, {5, 1}, {3, 2}, {5, 2}, {3, 3},
};

// Index in ValueKeys of the line written for cell (ACol, ARow), or -1.
int ValueIndexOfCell(int ACol, int ARow)
{
    switch (ARow % 6) {
    case 0: return ACol == 1 ? 0 : -1;
    case 1: return ACol == 3 ? 1 : ACol == 5 ? 2 : -1;
    case 2: return ACol == 3 ? 3 : ACol == 5 ? 4 : -1;
    case 3: return ACol == 3 ? 5 : ACol == 5 ? 6 : -1;
    case 4: return ACol == 3 ? 7 : -1;
    default: return -1;
    }
}

QString NameOf(const QString &Line)
{
    const qsizetype Eq = Line.indexOf(QLatin1Char('='));
    return Eq < 0 ? Line : Line.left(Eq);
}

QString ValueAfterEquals(const QString &Line)
{
    const qsizetype Eq = Line.indexOf(QLatin1Char('='));
    return Eq < 0 ? QString() : Line.mid(Eq + 1);
}

QString TrimBlanks(const QString &S)
{
    qsizetype B = 0, E = S.size();
    while (B < E && S.at(B).unicode() <= ' ')
        ++B;
    while (E > B && S.at(E - 1).unicode() <= ' ')
        --E;
    return S.mid(B, E - B);
}

bool IsProductKeyName(const QString &Name)
{
    for (const QString &K : TPageDocument::ValueKeys)
        if (Name.compare(K.chopped(1), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// A "{name}=value" line that belongs to the header rather than to a product.
bool IsHeaderKeyLine(const QString &Line)
{
    if (!Line.startsWith(QLatin1Char('{')) || !Line.contains(QLatin1Char('=')))
        return false;
    const QString Name = NameOf(Line);
    return Name.endsWith(QLatin1Char('}')) && !IsProductKeyName(Name)
        && TPageDocument::BlockNumberOfLine(Name) == 0;
}

// n when Line is exactly the block line "{$n}" that FindBlockLine looks for
// (n written without leading zeros, at most nine digits), else 0.
int ExactBlockNumber(const QString &Line)
{
    if (Line.size() > 12 || Line.size() < 4 || Line.at(2) == QLatin1Char('0'))
        return 0;
    return TPageDocument::BlockNumberOfLine(Line);
}

bool IsFirstBlockLine(const QString &Line)
{
    const QString T = TrimBlanks(Line);
    return T == QLatin1String("{$1}") || T == QLatin1String("$1}");
}

} // namespace

// ------------------------------------------------------------------ lines

void TPageDocument::Note(int First, int Removed, int Added)
{
    const int Before = Count() - Added + Removed;
    if (FEverything)
        return;
    if (!FNoted) {
        FNoted = true;
        FOldCount = Before;
        FFirst = First;
        FTail = Before - First - Removed;
        return;
    }
    // Lines before both changes and lines after both stay as they were.
    FFirst = qMin(FFirst, First);
    FTail = qMin(FTail, Before - First - Removed);
}

void TPageDocument::Changed()
{
    TPageChange C;
    if (FEverything) {
        C.Everything = true;
    } else if (FNoted) {
        C.First = FFirst;
        C.Removed = FOldCount - FFirst - FTail;
        C.Added = Count() - FFirst - FTail;
    }
    FNoted = false;
    FEverything = false;
    if (OnChange)
        OnChange(C);
}

void TPageDocument::PutLine(int Index, const QString &Line)
{
    // A value line written in place of a value line leaves the blocks where they are.
    const QString &Old = FLines.at(Index);
    if (BlockNumberOfLine(Old) > 0 || BlockNumberOfLine(Line) > 0 || Old == DetailLine || Line == DetailLine)
        ForgetBlocks();
    FLines[Index] = Line;
    Note(Index, 1, 1);
}

void TPageDocument::InsertLines(int Index, const QStringList &Lines)
{
    if (Lines.isEmpty())
        return;
    // Lines added after every indexed block (and after "{detail}") move none
    // of them: the index takes the new blocks in.
    bool Keep = FBlockIndexed && Index > FIndexedLast && Index > FIndexedDetail;
    if (Keep && FIndexedDetail < 0)
        Keep = !Lines.contains(DetailLine);
    // One move of the lines after Index, not one per inserted line.
    FLines.insert(Index, Lines.size(), QString());
    for (qsizetype I = 0; I < Lines.size(); ++I)
        FLines[Index + I] = Lines.at(I);
    if (!Keep) {
        ForgetBlocks();
    } else {
        if (Index <= FLastBlock)
            FLastBlock += int(Lines.size());
        for (qsizetype I = 0; I < Lines.size(); ++I) {
            if (BlockNumberOfLine(Lines.at(I)) > 0)
                FLastBlock = qMax(FLastBlock, int(Index + I));
            if (const int N = ExactBlockNumber(Lines.at(I)); N > 0 && !FBlockLines.contains(N)) {
                FBlockLines.insert(N, int(Index + I));
                FIndexedLast = int(Index + I);
            }
        }
    }
    Note(Index, 0, int(Lines.size()));
}

void TPageDocument::RemoveLines(int Index, int N)
{
    if (N <= 0)
        return;
    if (!(Index > FIndexedLast && Index > FIndexedDetail) || (Index <= FLastBlock && FLastBlock < Index + N))
        ForgetBlocks();
    else if (Index <= FLastBlock)
        FLastBlock -= N;
    FLines.remove(Index, N);
    Note(Index, N, 0);
}

void TPageDocument::IndexBlocks() const
{
    if (FBlockIndexed)
        return;
    FBlockLines.clear();
    FIndexedDetail = DetailIndex();
    FIndexedLast = -1;
    FLastBlock = -1;
    for (int I = FIndexedDetail < 0 ? 0 : FIndexedDetail + 1; I < Count(); ++I) {
        if (BlockNumberOfLine(FLines.at(I)) > 0)
            FLastBlock = I;
        if (const int N = ExactBlockNumber(FLines.at(I)); N > 0 && !FBlockLines.contains(N)) {
            FBlockLines.insert(N, I);
            FIndexedLast = I;
        }
    }
    FBlockIndexed = true;
}

void TPageDocument::ReplaceAll(const QStringList &Lines)
{
    const int Old = Count(), New = int(Lines.size());
    int Head = 0;
    while (Head < Old && Head < New && FLines.at(Head) == Lines.at(Head))
        ++Head;
    int Tail = 0;
    while (Tail < Old - Head && Tail < New - Head && FLines.at(Old - 1 - Tail) == Lines.at(New - 1 - Tail))
        ++Tail;
    FLines = Lines;
    if (Old - Head - Tail > 0 || New - Head - Tail > 0) {
        ForgetBlocks();
        Note(Head, Old - Head - Tail, New - Head - Tail);
    }
}

void TPageDocument::ReplaceEverything(const QStringList &Lines)
{
    ForgetBlocks();
    FLines = Lines;
    FEverything = true;
    FNoted = false;
}

void TPageDocument::SetLines(const QStringList &Lines)
{
    ReplaceAll(Lines);
    Changed();
}

void TPageDocument::Clear()
{
    ReplaceEverything({});
    Changed();
}

QString TPageDocument::Text() const
{
    QString S;
    for (const QString &L : FLines)
        S += L + QStringLiteral("\r\n");
    return S;
}

QString TPageDocument::OneLine(const QString &S)
{
    if (!S.contains(QLatin1Char('\r')) && !S.contains(QLatin1Char('\n')))
        return S;
    QString R = S;
    R.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    R.replace(QLatin1Char('\r'), QLatin1Char(' '));
    R.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return R;
}

QString TPageDocument::CutChars(const QString &S, int Limit)
{
    int Chars = 0;
    qsizetype I = 0;
    while (I < S.size() && Chars < Limit) {
        I += (S.at(I).isHighSurrogate() && I + 1 < S.size() && S.at(I + 1).isLowSurrogate()) ? 2 : 1;
        ++Chars;
    }
    return S.left(I);
}

int TPageDocument::IndexOfName(const QString &Name) const
{
    for (int I = 0; I < Count(); ++I)
        if (NameOf(FLines.at(I)).compare(Name, Qt::CaseInsensitive) == 0)
            return I;
    return -1;
}

int TPageDocument::DetailIndex(int Before) const
{
    const int End = Before < 0 ? Count() : qMin(Before, Count());
    for (int I = 0; I < End; ++I)
        if (FLines.at(I) == DetailLine)
            return I;
    return -1;
}

int TPageDocument::HeaderInsertPoint() const
{
    const int D = DetailIndex();
    if (D < 0)
        return Count();
    if (D > 0 && FLines.at(D - 1).startsWith(QLatin1String("/*")))
        return D - 1;
    return D;
}

QString TPageDocument::Values(const QString &Key) const
{
    const int I = IndexOfName(Key);
    return I < 0 ? QString() : ValueAfterEquals(FLines.at(I));
}

void TPageDocument::SetValues(const QString &Key, const QString &Value)
{
    const QString V = OneLine(Value);
    const int I = IndexOfName(Key);
    if (V.isEmpty()) {
        if (I >= 0) {
            RemoveLines(I, 1);
            Changed();
        }
        return;
    }
    if (I >= 0)
        PutLine(I, NameOf(FLines.at(I)) + QLatin1Char('=') + V);
    else
        InsertLines(HeaderInsertPoint(), {Key + QLatin1Char('=') + V});
    Changed();
}

// ---------------------------------------------------------------- new page

bool TPageDocument::InitNewPageText(const TNewPageDefaults &Defaults)
{
    if (!Defaults.DefaultsFile.isEmpty() && FileExists(Defaults.DefaultsFile)) {
        ReplaceEverything(LoadLines(Defaults.DefaultsFile));
        Changed();
        return true;
    }
    const QStringList Values = {
        QStringLiteral("新建目录页") + Defaults.Today, QStringLiteral("新建页面"), Defaults.Salesman,
        QString(), QString(), QString(), Defaults.Today, QStringLiteral("￥"), QStringLiteral("个"),
        QStringLiteral("克"), QStringLiteral("0"), QStringLiteral("0"), QString(),
        QStringLiteral("CHM(帮助文件类型)"), QStringLiteral("春天系列"), QStringLiteral("中文"),
        Defaults.OrderMail, QStringLiteral("75"), QString(),
    };
    QStringList Lines{Magic};
    for (int I = 0; I < HeaderKeys.size(); ++I)
        Lines.append(HeaderKeys.at(I) + QLatin1Char('=') + OneLine(Values.at(I)));
    ReplaceEverything(Lines);
    Changed();
    return false;
}

// ---------------------------------------------------------- product blocks

int TPageDocument::BlockNumberOfLine(const QString &Line)
{
    // "{$" + decimal digits + "}" and nothing else; numbers too large to be a
    // product are no block.
    if (Line.size() < 4 || Line.size() > 12 || !Line.startsWith(QLatin1String("{$"))
        || !Line.endsWith(QLatin1Char('}')))
        return 0;
    qint64 N = 0;
    for (qsizetype I = 2; I < Line.size() - 1; ++I) {
        const QChar C = Line.at(I);
        if (C < QLatin1Char('0') || C > QLatin1Char('9'))
            return 0;
        N = N * 10 + (C.unicode() - '0');
    }
    return N >= 1 && N <= 99999999 ? int(N) : 0;
}

int TPageDocument::BlockFirstRow(int Row)
{
    return Row % 6 == 0 ? Row - 5 : Row - (Row % 6) + 1;
}

int TPageDocument::ProductScanStart() const
{
    const int D = DetailIndex();
    return D >= 0 ? qMin(D + 1, int(FirstBlockLine)) : FirstBlockLine;
}

int TPageDocument::FindBlockLine(int N) const
{
    const QString Key = QStringLiteral("{$%1}").arg(N);
    const int D = FBlockIndexed ? FIndexedDetail : DetailIndex();
    // Every value written goes through here: on a page as the program writes
    // it, the block stands where the geometry puts it and no line is searched.
    if (D >= 0 && N > 0) {
        const qint64 Expected = qint64(D) + 2 + 9 * (qint64(N) - 1);
        if (Expected < Count() && FLines.at(Expected) == Key)
            return int(Expected);
    }
    if (N > 0 && ExactBlockNumber(Key) == N) {
        IndexBlocks();
        return FBlockLines.value(N, -1);
    }
    for (int I = D < 0 ? 0 : D + 1; I < Count(); ++I)
        if (FLines.at(I) == Key)
            return I;
    return -1;
}

QString TPageDocument::PictureFileOf(const QString &Value, const QString &PageFolder, const QString &ProgramFolder)
{
    if (Value.isEmpty())
        return QString();
    if (IsAbsoluteStoredPath(Value))
        return Value.startsWith(QLatin1Char('/')) ? NativePath(Value) : Value;
    const QString Rel = NativePath(Value);
    return (!PageFolder.isEmpty() && FileExists(PageFolder + Rel)) ? PageFolder + Rel : ProgramFolder + Rel;
}

QString TPageDocument::StoredPicture(int N) const
{
    const int P = FindBlockLine(N);
    if (P < 0)
        return QString();
    for (int J = P + 1; J <= P + 8 && J < Count() && BlockNumberOfLine(FLines.at(J)) == 0; ++J)
        if (FLines.at(J).startsWith(ValueKeys.at(0)))
            return FLines.at(J).mid(ValueKeys.at(0).size());
    return QString();
}

QString TPageDocument::PictureValueLike(const QString &Stored, const QString &File, const QString &PageFolder,
                                        const QString &ProgramFolder)
{
    if (Stored.isEmpty() || File.isEmpty())
        return File;
    const QString StoredFile = PictureFileOf(Stored, PageFolder, ProgramFolder);
    if (QDir::cleanPath(StoredFile) == QDir::cleanPath(File))
        return Stored;
    if (IsAbsoluteStoredPath(Stored)
        || QDir::cleanPath(ExtractFilePath(StoredFile)) != QDir::cleanPath(ExtractFilePath(File)))
        return File;
    // The folder part as the page writes it ("pics\" or "pics/"), then the new name.
    const qsizetype Cut = std::max(Stored.lastIndexOf(QLatin1Char('\\')), Stored.lastIndexOf(QLatin1Char('/')));
    return Stored.left(Cut + 1) + ExtractFileName(File);
}

void TPageDocument::ShowBlockPicture(TProductGridAccess &Grid, int First, const QString &File)
{
    Grid.ClearCellPicture(1, First);
    if (File.isEmpty()) {
        Grid.SetCells(1, First, QString());
    } else if (FileExists(File)) {
        Grid.SetCells(1, First, QString());
        Grid.LoadCellPicture(1, First, File);
    } else {
        Grid.SetCells(1, First, MissingPicture);
    }
}

void TPageDocument::LoadGridFromPage(TProductGridAccess &Grid, const QString &PagePath, const QString &ProgramFolder)
{
    const int Total = Count();
    // A page of Total lines holds at most this many complete blocks; a block
    // number beyond it is damage, and must not make the grid grow without bound.
    const int MaxBlock = Total / 9 + 1;
    const QString PageFolder = DocumentFolder(PagePath);
    for (int I = ProductScanStart(); I < Total; ++I) {
        if (OnProgress)
            OnProgress(I + 1, Total);
        const int N = BlockNumberOfLine(FLines.at(I));
        if (N < 1 || N > MaxBlock)
            continue;
        while (Grid.RowCount() < 6 * N + 1)
            Grid.AppendProductBlock();
        const int First = 6 * N - 5;
        for (int J = I + 1; J <= I + 8 && J < Total; ++J) {
            const QString &Line = FLines.at(J);
            if (BlockNumberOfLine(Line) > 0)
                break;
            for (int K = 0; K < ValueKeys.size(); ++K) {
                if (!Line.startsWith(ValueKeys.at(K)))
                    continue;
                const TValueCell &C = ValueCells[K];
                // Values come in whole: a value cut here would be written back cut as soon
                // as its cell is edited, losing the rest without a word.
                const QString Value = ValueAfterEquals(Line);
                if (K != 0) {
                    Grid.SetCells(C.Col, First + C.RowOffset, Value);
                    break;
                }
                const QString Path = PictureFileOf(Value, PageFolder, ProgramFolder);
                if (Grid.Cells(1, First + 5) != Path)
                    Grid.SetCells(1, First + 5, Path);
                ShowBlockPicture(Grid, First, Path);
                break;
            }
        }
    }
}

int TPageDocument::BlockAppendPoint()
{
    // After the last product block, so that header keys kept at the end of
    // older pages stay where they are. The index knows that block and the
    // "{detail}" line: products added one after another behind a long text
    // cost no walk over it.
    IndexBlocks();
    const int D = FIndexedDetail;
    const int Last = FLastBlock;
    if (Last >= 0) {
        int End = Last + 1;
        while (End < Count() && End <= Last + 8 && BlockNumberOfLine(FLines.at(End)) == 0
               && FLines.at(End).startsWith(QLatin1String("{$")))
            ++End;
        return End;
    }
    if (D < 0)
        return Count();
    if (D + 1 >= Count())
        InsertLines(Count(), {QString()});   // the empty line after "{detail}" went missing
    return D + 2;
}

TPageDocument::TStoreResult TPageDocument::StoreProductBlock(const TProductGridAccess &Grid, int ACol, int ARow)
{
    const int N = (ARow + 5) / 6;
    if (N < 1)
        return srNothing;
    if (Count() < 25 && !Text().contains(DetailLine))
        InsertLines(Count(), {MarkerComment, DetailLine, QString()});
    int P = FindBlockLine(N);
    if (P < 0) {
        const int F = BlockFirstRow(ARow);
        P = BlockAppendPoint();
        QStringList Block{QStringLiteral("{$%1}").arg(N)};
        for (int K = 0; K < ValueKeys.size(); ++K)
            Block.append(ValueKeys.at(K) + OneLine(Grid.Cells(ValueCells[K].Col, F + ValueCells[K].RowOffset)));
        InsertLines(P, Block);
    }
    const int K = ValueIndexOfCell(ACol, ARow);
    if (K < 0) {
        Changed();
        return srNothing;
    }
    // The key's line inside the block: its place in the fixed order first, then
    // anywhere among the block's eight lines.
    int Target = -1;
    if (P + 1 + K < Count() && FLines.at(P + 1 + K).startsWith(ValueKeys.at(K))) {
        Target = P + 1 + K;
    } else {
        for (int J = P + 1; J <= P + 8 && J < Count() && BlockNumberOfLine(FLines.at(J)) == 0; ++J)
            if (FLines.at(J).startsWith(ValueKeys.at(K))) {
                Target = J;
                break;
            }
    }
    if (Target < 0) {
        Changed();
        return srNeedsRepair;
    }
    PutLine(Target, ValueKeys.at(K) + OneLine(Grid.Cells(ACol, ARow)));
    Changed();
    return srStored;
}

// ------------------------------------------------------------------- files

namespace {

const QByteArray Utf8Mark("\xEF\xBB\xBF");

} // namespace

bool TPageDocument::IsPageFile(const QString &FileName)
{
    QFile F(NativePath(FileName));
    if (!F.open(QIODevice::ReadOnly))
        return false;
    // The magic is ASCII, so the first line is read as bytes; it ends where
    // the reader ends a line (CR LF, LF or CR alone), after a UTF-8 mark.
    QByteArray First = F.read(Utf8Mark.size() + Magic.size() + 64);
    if (First.startsWith(Utf8Mark))
        First.remove(0, Utf8Mark.size());
    for (const char End : {'\r', '\n'}) {
        const qsizetype At = First.indexOf(End);
        if (At >= 0)
            First.truncate(At);
    }
    return QString::fromLatin1(First).trimmed() == Magic;
}

QStringList TPageDocument::LoadPageLines(const QString &FileName)
{
    bool Ok = false;
    const QByteArray Bytes = ReadFileBytes(FileName, &Ok);
    if (!Ok)
        return LoadLines(FileName);   // raises the file error with its reason
    TStringList Lines;
    Lines.SetText(Bytes.startsWith(Utf8Mark) ? QString::fromUtf8(Bytes.mid(Utf8Mark.size())) : Cp936::Decode(Bytes));
    return Lines.ToQStringList();
}

bool TPageDocument::LacksDetailLine() const
{
    if (DetailIndex() >= 0)
        return false;
    for (const QString &L : FLines)
        if (BlockNumberOfLine(L) > 0)
            return true;
    return false;
}

void TPageDocument::LoadFromFile(const QString &FileName)
{
    ReplaceEverything(LoadPageLines(FileName));
    Changed();
}

void TPageDocument::SaveToFile(const QString &FileName) const
{
    // A page the user made read-only is refused, not replaced.
    CheckFileReplaceable(FileName);
    SaveLines(FileName, FLines);
    // A save of ours killed half way left its temporary file beside the page
    // (beside the file a link to it points to).
    RemoveSaveLeftovers(FileName);
}

namespace {

// The file a stored picture value names for a page in PageFolder ("" for a
// page never saved): a full path as it stands; a relative one below the page's
// folder when the file is there, else below the program folder. "" for a
// value that names no file here (a drive path).
QString PictureFile(const QString &Stored, const QString &PageFolder, const QString &ProgramFolder)
{
    if (IsAbsoluteStoredPath(Stored))
        return Stored.startsWith(QLatin1Char('/')) ? QDir::cleanPath(NativePath(Stored)) : QString();
    const QString Rel = NativePath(Stored);
    if (!PageFolder.isEmpty() && FileExists(PageFolder + Rel))
        return QDir::cleanPath(PageFolder + Rel);
    return QDir::cleanPath(ProgramFolder + Rel);
}

} // namespace

bool TPageDocument::RebasePicturePaths(const QString &OldPagePath, const QString &NewPagePath, const QString &ProgramFolder,
                                       const QString &Scratch)
{
    const QString Exe = IncludeTrailingPathDelimiter(QFileInfo(ProgramFolder).absoluteFilePath());
    const QString OldFolder = DocumentFolder(OldPagePath);
    const QString NewFolder = DocumentFolder(NewPagePath);
    static const QStringList Keys{QStringLiteral("{$IMG}="), QStringLiteral("{背景图片}="), QStringLiteral("{背景音乐}=")};
    bool Any = false;
    for (int I = 0; I < Count(); ++I) {
        const QString &Line = FLines.at(I);
        const auto Key = std::find_if(Keys.cbegin(), Keys.cend(),
                                      [&](const QString &K) { return Line.startsWith(K, Qt::CaseInsensitive); });
        if (Key == Keys.cend())
            continue;
        const QString Stored = Line.mid(Key->size());
        if (Stored.trimmed().isEmpty())
            continue;
        QString File = PictureFile(Stored, OldFolder, Exe);
        if (File.isEmpty() || !FileExists(File) || PictureFile(Stored, NewFolder, Exe) == File)
            continue;
        if (!Scratch.isEmpty() && IsPathInside(File, Scratch) && !IsPathInside(NewFolder, Scratch)) {
            const QString Images = NewFolder + QStringLiteral("images/");
            ForceDirectories(Images);
            const QString Copied = CopyFileRenaming(File, Images);
            if (!Copied.isEmpty())
                File = Copied;
        }
        const QString Value = IsPathInside(File, NewFolder) ? QDir(NewFolder).relativeFilePath(File).replace(QLatin1Char('/'), QLatin1Char('\\'))
                                                            : File;
        PutLine(I, Line.left(Key->size()) + Value);
        Any = true;
    }
    if (Any)
        Changed();
    return Any;
}

void TPageDocument::AddPageHistory(const QString &HistoryFile, const QString &Path)
{
    QStringList History;
    if (FileExists(HistoryFile))
        History = LoadLines(HistoryFile);
    History.append(OneLine(Path));
    SaveLines(HistoryFile, History);
}

QString TPageDocument::ReadDatLine(const QString &FileName, int Line)
{
    // The company files have one reader.
    return CompanyFiles::ReadDatLine(FileName, Line);
}

// ------------------------------------------------------------------ repair

int TPageDocument::FindFirstBlockOne() const
{
    for (int I = 0; I < Count(); ++I)
        if (IsFirstBlockLine(FLines.at(I)))
            return I;
    return -1;
}

bool TPageDocument::RepairPageFile(const TNewPageDefaults &Defaults, const std::function<bool()> &AskRebuildHeader)
{
    if (Count() < 23) {
        InitNewPageText(Defaults);
        return false;
    }
    int K = FindFirstBlockOne();
    if (K < 0) {
        RebuildPageHeader(Defaults);
        return false;
    }
    // Block 1 belongs at line 23 counted from the top of the file, where every
    // writer of pages looks for it, with the marker, "{detail}" and an empty line
    // right before it. A page that lost "{detail}" gets the three lines back first.
    if (DetailIndex(K) < 0) {
        InsertLines(K, {RepairedMarker, DetailLine, QString()});
        K += 3;
    }
    if (K < FirstBlockLine) {
        // Header lines are missing: filler lines pad the header.
        InsertLines(1, QStringList(FirstBlockLine - K, RepairedLine));
        Changed();
        return false;
    }
    if (K == FirstBlockLine) {
        QStringList Lines = FLines.mid(0, FirstBlockLine);
        Lines.reserve(Count());
        for (int I = FirstBlockLine; I < Count(); ++I) {
            QString L = TrimBlanks(FLines.at(I));
            if (L.isEmpty())
                continue;
            if (L.startsWith(QLatin1Char('$')))
                L.prepend(QLatin1Char('{'));
            if (L.startsWith(QLatin1Char('{')) || (L.size() > 1 && L.at(1) == QLatin1Char('$')))
                Lines << L;
        }
        ReplaceAll(Lines);
        Changed();
        RebuildProductBlocks(FirstBlockLine);
        return true;
    }
    // Extra lines before block 1 go one a pass: empty ones first, then
    // comments, then lines that are no key line. The magic line and the
    // marker, "{detail}" and empty line right before block 1 stay. A line
    // kept stays kept and a line of one kind never turns into another, so
    // the passes walk each kind once, front to back, over a linked list of
    // the header lines: the cost grows with the lines, not with their square.
    const int Hi = K;
    const int D = DetailIndex(Hi);
    std::vector<int> Prev(Hi + 1), Next(Hi + 1);
    for (int I = 0; I <= Hi; ++I) {
        Prev[I] = I - 1;
        Next[I] = I + 1;
    }
    int Head = 0;
    std::vector<bool> Gone(Hi, false);
    auto Unlink = [&](int I) {
        Gone[I] = true;
        if (Prev[I] >= 0)
            Next[Prev[I]] = Next[I];
        else
            Head = Next[I];
        Prev[Next[I]] = Prev[I];
    };
    auto Kept = [&](int I) {
        return (I == Head && TrimBlanks(FLines.at(I)) == Magic) || I == D
            || (D >= 0 && I == Prev[D] && FLines.at(I).startsWith(QLatin1String("/*")))
            || (D >= 0 && I == Next[D] && TrimBlanks(FLines.at(I)).isEmpty());
    };
    const std::function<bool(int)> Kinds[3] = {
        [&](int I) { return TrimBlanks(FLines.at(I)).isEmpty(); },
        [&](int I) { return FLines.at(I).contains(QLatin1String("/*")); },
        [&](int I) { return !FLines.at(I).startsWith(QLatin1Char('{')); },
    };
    int Kind = 0;
    int Cursor = Head;
    QSet<QString> Seen;
    QStringList Moved;
    bool AskRebuild = false;
    for (int Pass = 0; Pass < K - FirstBlockLine; ++Pass) {
        int Victim = -1;
        while (Victim < 0 && Kind < 3) {
            while (Cursor < Hi && (Gone[Cursor] || Kept(Cursor) || !Kinds[Kind](Cursor)))
                Cursor = Next[Cursor];
            if (Cursor < Hi)
                Victim = Cursor;
            else if (++Kind <= 3)
                Cursor = Head;
        }
        if (Victim >= 0) {
            Cursor = Next[Victim];
            Unlink(Victim);
            continue;
        }
        // A key the header does not hold in its nineteen lines (one the
        // effects dialog added, or a second copy) moves to the end of the text,
        // where pages keep such keys; nothing is lost.
        int Extra = -1;
        for (; Cursor < Hi && Extra < 0; Cursor = Next[Cursor]) {
            if (Kept(Cursor) || !IsHeaderKeyLine(FLines.at(Cursor)))
                continue;
            const QString Name = NameOf(FLines.at(Cursor)).toCaseFolded();
            bool Standard = false;
            for (const QString &Key : HeaderKeys)
                Standard = Standard || Key.toCaseFolded() == Name;
            if (!Standard || Seen.contains(Name))
                Extra = Cursor;
            Seen.insert(Name);
        }
        if (Extra >= 0) {
            Moved << FLines.at(Extra);
            Unlink(Extra);
            continue;
        }
        AskRebuild = true;
        break;
    }
    QStringList Lines;
    Lines.reserve(Count());
    for (int I = Head; I < Hi; I = Next[I])
        Lines << FLines.at(I);
    Lines << FLines.mid(Hi) << Moved;
    ReplaceAll(Lines);
    if (AskRebuild && AskRebuildHeader && AskRebuildHeader())
        RebuildPageHeader(Defaults);
    Changed();
    return false;
}

void TPageDocument::RebuildPageHeader(const TNewPageDefaults &Defaults)
{
    const int K = FindFirstBlockOne();
    if (K < 0)
        return;
    const QStringList Rest = FLines.mid(K);
    InitNewPageText(Defaults);
    QStringList Lines{RepairedMarker, DetailLine, QString()};
    for (const QString &L : Rest)
        if (!L.isEmpty())
            Lines.append(L);
    InsertLines(Count(), Lines);
    Changed();
}

void TPageDocument::RebuildProductBlocks(int FirstLine)
{
    QStringList Rebuilt;
    QStringList Gathered;
    QStringList HeaderLines;
    int Number = 0;
    auto Flush = [&]() {
        if (Gathered.isEmpty())
            return;
        ++Number;
        Rebuilt.append(QStringLiteral("{$%1}").arg(Number));
        for (const QString &Key : ValueKeys) {
            QString Value;
            for (const QString &L : Gathered)
                if (NameOf(L).compare(Key.chopped(1), Qt::CaseInsensitive) == 0) {
                    Value = ValueAfterEquals(L);
                    break;
                }
            Rebuilt.append(Key + Value);
        }
        Gathered.clear();
    };
    bool InBlocks = false;
    for (int I = 0; I < Count(); ++I) {
        const QString &L = FLines.at(I);
        const QString Body = L.size() > 3 ? L.mid(2, L.size() - 3) : QString();
        bool IsNumber = false;
        Body.toLongLong(&IsNumber);
        if (IsNumber && BlockNumberOfLine(L) > 0) {
            Flush();
            InBlocks = true;
            continue;
        }
        if (!InBlocks)
            continue;
        // Header keys that older pages kept after the blocks move to the header.
        if (IsHeaderKeyLine(L))
            HeaderLines.append(L);
        else
            Gathered.append(L);
    }
    if (!InBlocks)
        throw Exception(QStringLiteral("修复失败，没有找到catalog块内容。"));
    Flush();
    QStringList Lines = FLines.mid(0, FirstLine);
    Lines.append(Rebuilt);
    // Header keys that stood among the blocks stay after them, where pages keep
    // the keys their header lacks: the blocks keep their lines.
    QSet<QString> Names;
    for (const QString &L : std::as_const(Lines))
        Names.insert(NameOf(L).toCaseFolded());
    for (const QString &L : HeaderLines)
        if (!Names.contains(NameOf(L).toCaseFolded())) {
            Names.insert(NameOf(L).toCaseFolded());
            Lines.append(L);
        }
    ReplaceAll(Lines);
    Changed();
}
