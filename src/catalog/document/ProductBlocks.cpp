#include "ProductBlocks.h"

#include "PageDocument.h"

#include "platform/core/SysUtils.h"

#include <vector>

namespace ProductBlocks {

namespace {

QString BlockKey(int N)
{
    return QStringLiteral("{$%1}").arg(N);
}

// Line offsets from the block line of the values shown in columns 3 and 5.
int ValueOffset(int ACol, int RowInBlock)
{
    if (ACol == 1)
        return 1;
    if (ACol == 3) {
        switch (RowInBlock) {
        case 1: return 2;
        case 2: return 4;
        case 3: return 6;
        case 4: return 8;
        default: return 0;
        }
    }
    if (ACol == 5) {
        switch (RowInBlock) {
        case 1: return 3;
        case 2: return 5;
        case 3: return 7;
        default: return 0;
        }
    }
    return 0;
}

// The product lines start after the page header.
constexpr int ProductFrom = 4;

// n when Line is exactly BlockKey(n), else 0.
int KeyNumber(const QString &Line)
{
    // "{$" + at most nine digits, the first not 0, + "}".
    if (Line.size() < 4 || Line.size() > 12 || !Line.startsWith(QLatin1String("{$")) || !Line.endsWith(QLatin1Char('}'))
        || Line.at(2) == QLatin1Char('0'))
        return 0;
    int N = 0;
    for (qsizetype I = 2; I < Line.size() - 1; ++I) {
        const char16_t C = Line.at(I).unicode();
        if (C < '0' || C > '9')
            return 0;
        N = N * 10 + (C - '0');
    }
    return N;
}

} // namespace

int BlockOfRow(int Row)
{
    return Row < 1 ? 1 : (Row - 1) / 6 + 1;
}

int FirstRowOfBlock(int N)
{
    return 6 * N - 5;
}

int PathRowOfBlock(int N)
{
    return 6 * N;
}

QStringList EmptyBlockLines(int N)
{
    return {BlockKey(N),          QStringLiteral("{$IMG}="),    QStringLiteral("{$PID}="),
            QStringLiteral("{$PNAME}="), QStringLiteral("{$PPRICE}="), QStringLiteral("{$PUNIT}="),
            QStringLiteral("{$PWEIGHT}="), QStringLiteral("{$PSERIAL}="), QStringLiteral("{$PNOTE}=")};
}

int FindBlockLine(const QStringList &Lines, int N, int From)
{
    const QString Key = BlockKey(N);
    for (int I = qMax(0, From); I < Lines.size(); ++I)
        if (Lines.at(I) == Key)
            return I;
    return -1;
}

bool DeleteProduct(QStringList &Lines, int N)
{
    const int At = FindBlockLine(Lines, N, 0);
    if (At < 0)
        return false;
    // The block's own lines: its value lines after it, at most eight, up to
    // the next block line. A block of an older page is shorter: the next
    // block's line, or a header key kept after the last block, must stay.
    int Count = 1;
    while (Count < 9 && At + Count < Lines.size() && Lines.at(At + Count).startsWith(QLatin1String("{$"))
           && TPageDocument::BlockNumberOfLine(Lines.at(At + Count)) == 0)
        ++Count;
    Lines.erase(Lines.begin() + At, Lines.begin() + At + Count);
    int Next = N;
    for (int I = At; I < Lines.size(); ++I)
        if (Lines.at(I) == BlockKey(Next + 1)) {
            Lines[I] = BlockKey(Next);
            ++Next;
        }
    return true;
}

bool InsertProduct(QStringList &Lines, int K)
{
    int M = K + 1;
    const int At = FindBlockLine(Lines, M, ProductFrom);
    if (At < 0)
        return false;
    const QStringList Block = EmptyBlockLines(M);
    for (int I = 0; I < Block.size(); ++I)
        Lines.insert(At + I, Block.at(I));
    bool SkippedNew = false;
    for (int I = ProductFrom; I < Lines.size(); ++I) {
        if (Lines.at(I) != BlockKey(M))
            continue;
        if (!SkippedNew) {
            SkippedNew = true;
            continue;
        }
        Lines[I] = BlockKey(M + 1);
        ++M;
    }
    return true;
}

bool InsertProducts(QStringList &Lines, int K, int Count)
{
    if (Count < 1)
        return false;
    const int At = FindBlockLine(Lines, K + 1, ProductFrom);
    if (At < 0)
        return false;
    // Blocks K+1, K+2 ... follow one another: each insert of one block would
    // move every one of them on by one, so Count inserts move them by Count.
    std::vector<int> Renumbered;
    int M = K + 1;
    for (int I = At; I < Lines.size(); ++I) {
        const int N = KeyNumber(Lines.at(I));
        if (N == 0)
            continue;
        if (N != M)
            return false;
        Renumbered.push_back(I);
        ++M;
    }
    for (const int I : Renumbered)
        Lines[I] = BlockKey(KeyNumber(Lines.at(I)) + Count);
    QStringList New;
    New.reserve(9 * qsizetype(Count));
    for (int J = 1; J <= Count; ++J)
        New << EmptyBlockLines(K + J);
    QStringList Result;
    Result.reserve(Lines.size() + New.size());
    Result << Lines.mid(0, At) << New << Lines.mid(At);
    Lines = Result;
    return true;
}

void DeleteAllProducts(QStringList &Lines)
{
    const int Detail = int(Lines.lastIndexOf(QStringLiteral("{detail}")));
    if (Detail < 0)
        return;
    // The empty line after "{detail}" stays, so that the next product is
    // written where a new page has it and no repair is asked for.
    const int Keep = Detail + 1 < Lines.size() && Lines.at(Detail + 1).isEmpty() ? Detail + 2 : Detail + 1;
    while (Lines.size() > Keep)
        Lines.removeLast();
}

int LineOfCell(const QStringList &Lines, int ACol, int ARow)
{
    if (ARow < 1 || ValueOffset(ACol, ARow % 6) == 0)
        return -1;
    return LineOfCell(FindBlockLine(Lines, BlockOfRow(ARow), ProductFrom), int(Lines.size()), ACol, ARow);
}

int LineOfCell(int BlockLine, int LineCount, int ACol, int ARow)
{
    if (ARow < 1)
        return -1;
    const int Offset = ValueOffset(ACol, ARow % 6);
    if (Offset == 0 || BlockLine < 0 || BlockLine + Offset >= LineCount)
        return -1;
    return BlockLine + Offset;
}

int CaretInLine(const QString &Line)
{
    return int(Line.indexOf(QLatin1Char('='))) + 1;
}

TSwapInput ParseSwapInput(const QString &Answer, int &A, int &B)
{
    if (Answer.isEmpty())
        return siEmpty;
    const int Blank = int(Answer.indexOf(QLatin1Char(' ')));
    if (Blank < 0)
        return siInvalid;
    A = StrToInt(Answer.left(Blank));
    B = StrToInt(Answer.mid(Blank + 1, 4));
    return siNumbers;
}

bool ProductsExist(int A, int B, int RowCount)
{
    // Counted wide: six times a number typed far beyond the products passes the largest int.
    return A >= 1 && B >= 1 && 6 * qint64(A) < RowCount && 6 * qint64(B) < RowCount;
}

QList<QPair<int, int>> MoveSteps(int C, int T, int RowCount)
{
    QList<QPair<int, int>> Steps;
    if (C == T || !ProductsExist(C, T, RowCount))
        return Steps;
    if (T < C) {
        for (int I = C; I > T; --I)
            Steps.append({I, I - 1});
    } else {
        for (int I = C; I < T; ++I)
            Steps.append({I, I + 1});
    }
    return Steps;
}

bool FindProduct(const std::function<QString(int, int)> &Cells, int RowCount, const QString &Text, int StartRow,
                 int &ACol, int &ARow)
{
    for (int R = qMax(1, StartRow); R < RowCount; ++R)
        for (int C : {3, 5})
            if (Cells(C, R).contains(Text)) {
                ACol = C;
                ARow = R;
                return true;
            }
    return false;
}

} // namespace ProductBlocks
