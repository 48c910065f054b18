// Drag and drop objects: format order of the data object and its enumerator,
// reading foreign data, the drop target on synthesized Qt drag events, and
// drags started through the platform's drag seam.

#include "grid/cgdd.h"
#include "grid/CellGridClipboard.h"

#include "platform/core/Codec.h"
#include "platform/services/DragDrop.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QUrl>
#include <QtEndian>

namespace {

TEST(Cgdd, SourceFormatsInEnumeratorOrder)
{
    OleDropRTFAllowed = true;
    TSourceDataObject D(QStringLiteral("甲\tb"), QStringLiteral("{\\rtf1 x}"), -1);
    EXPECT_EQ(D.formats(), (QStringList{QStringLiteral("text/plain"), QStringLiteral("text/rtf"),
                                        CellGridMimeType(QStringLiteral("Rich Text Format"))}));
    EXPECT_EQ(D.text(), QStringLiteral("甲\tb"));

    std::unique_ptr<TSourceEnumFormatEtc> E;
    ASSERT_EQ(D.EnumFormatEtc(DATADIR_GET, E), S_OK);
    EXPECT_EQ(D.EnumFormatEtc(DATADIR_SET, E), E_NOTIMPL);
    ASSERT_EQ(D.EnumFormatEtc(DATADIR_GET, E), S_OK);
    TFormatEtc F[10];
    quint32 Got = 0;
    EXPECT_EQ(E->Next(10, F, &Got), S_FALSE);
    EXPECT_EQ(Got, 3u);
    EXPECT_EQ(F[0].cfFormat, CF_TEXT);
    EXPECT_EQ(F[1].cfFormat, CF_UNICODETEXT);
    EXPECT_EQ(F[2].cfFormat, CF_RTF);
    EXPECT_EQ(F[2].lindex, -1);
    EXPECT_EQ(E->Reset(), S_OK);
    EXPECT_EQ(E->Skip(5), S_FALSE);
    EXPECT_EQ(E->Next(1, F, &Got), S_FALSE);
    EXPECT_EQ(Got, 0u);
    TSourceEnumFormatEtc WithColumn(true);
    EXPECT_EQ(WithColumn.Skip(3), S_OK);
    std::unique_ptr<TSourceEnumFormatEtc> Clone;
    WithColumn.Clone(Clone);
    EXPECT_EQ(Clone->Next(1, F, nullptr), S_OK);
    EXPECT_EQ(F[0].cfFormat, CF_GRIDCOLUMN);

    // Data blocks: text in code page 936 and in UTF-16, both terminated.
    QByteArray M;
    TFormatEtc Fmt;
    Fmt.cfFormat = CF_TEXT;
    ASSERT_EQ(D.GetData(Fmt, M), S_OK);
    EXPECT_EQ(M, Cp936::Encode(QStringLiteral("甲\tb")) + '\0');
    Fmt.cfFormat = CF_UNICODETEXT;
    ASSERT_EQ(D.GetData(Fmt, M), S_OK);
    EXPECT_EQ(M, QByteArray("\x32\x75\x09\x00\x62\x00\x00\x00", 8));
    Fmt.cfFormat = CF_GRIDCOLUMN;
    EXPECT_EQ(D.QueryGetData(Fmt), DV_E_FORMATETC);
    Fmt.cfFormat = CF_TEXT;
    Fmt.dwAspect = 4;
    EXPECT_EQ(D.QueryGetData(Fmt), DV_E_FORMATETC);
    quint32 Conn = 7;
    EXPECT_EQ(D.DAdvise(Fmt, 0, &Conn), OLE_E_ADVISENOTSUPPORTED);
    EXPECT_EQ(Conn, 0u);

    // An empty RTF text is refused instead of giving an unusable block.
    TSourceDataObject NoRtf(QStringLiteral("t"), QString(), -1);
    Fmt = TFormatEtc();
    Fmt.cfFormat = CF_RTF;
    EXPECT_EQ(NoRtf.GetData(Fmt, M), DV_E_FORMATETC);
    EXPECT_EQ(NoRtf.formats(), QStringList{QStringLiteral("text/plain")});

    TSourceDataObject Col(QString(), QString(), 3);
    EXPECT_EQ(Col.formats(), QStringList{CellGridMimeType(QStringLiteral("Grid Column"))});
    Fmt.cfFormat = CF_GRIDCOLUMN;
    ASSERT_EQ(Col.GetData(Fmt, M), S_OK);
    EXPECT_EQ(M, QByteArray("\x03\x00\x00\x00", 4));
    OleDropRTFAllowed = false;
}

TEST(Cgdd, ForeignDataFilesColumnsAndMissingData)
{
    QMimeData D;
    D.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/数据 1.csv")), QUrl(QStringLiteral("https://x.example/a")),
               QUrl::fromLocalFile(QStringLiteral("/tmp/b.xls"))});
    D.setData(CellGridMimeType(QStringLiteral("Grid Column")), QByteArray("\x05\x00", 2));
    TEnumFormats F(&D);
    EXPECT_FALSE(F.HasFormat(CF_TEXT));
    ASSERT_TRUE(F.Files());
    EXPECT_EQ(F.FileList()->ToQStringList(),
              (QStringList{QStringLiteral("/tmp/数据 1.csv"), QStringLiteral("/tmp/b.xls")}));
    // Column data shorter than 4 bytes reads as no column.
    EXPECT_EQ(F.Column(), -1);
    D.setData(CellGridMimeType(QStringLiteral("Grid Column")), QByteArray("\x05\x00\x00\x00", 4));
    EXPECT_EQ(TEnumFormats(&D).Column(), 5);

    QMimeData R;
    R.setData(CellGridMimeType(QStringLiteral("Rich Text Format")), QByteArray("{\\rtf1 a}\0junk", 14));
    EXPECT_EQ(TEnumFormats(&R).RTF(), QStringLiteral("{\\rtf1 a}"));

    try {
        TEnumFormats Bad(nullptr);
        ADD_FAILURE();
    } catch (const EAssertionFailed &E) {
        EXPECT_EQ(E.Message(), QStringLiteral("Cannot get the format enumerator"));
    }
}

// A target that records what reached its virtual operations.
struct TRecorder : TCGDropTarget {
    QStringList Log;
    bool AllowOver = true;
    void DropText(const TPoint &, const QString &S) override { Log << QStringLiteral("text:") + S; }
    void DropCol(const TPoint &, int Col) override { Log << QStringLiteral("col:%1").arg(Col); }
    void DropRTF(const TPoint &, const QString &S) override { Log << QStringLiteral("rtf:") + S; }
    void DropFiles(const TPoint &, TStringList *Files) override
    {
        Log << QStringLiteral("files:%1").arg(Files->Count());
    }
    void DragMouseMove(const TPoint &, bool &Allow, int Formats) override
    {
        Log << QStringLiteral("over:%1").arg(Formats);
        Allow = AllowOver;
    }
    void DragMouseEnter() override { Log << QStringLiteral("enter"); }
    void DragMouseLeave() override { Log << QStringLiteral("leave"); }
};

// Sends a drag enter, a move and a drop of Data to W; the drop's accepted action.
Qt::DropAction DragOnto(QWidget &W, const QMimeData &Data, Qt::KeyboardModifiers Mods, bool *EnterAccepted = nullptr)
{
    const QPointF P(5, 5);
    QDragEnterEvent Enter(P.toPoint(), Qt::CopyAction | Qt::MoveAction, &Data, Qt::LeftButton, Mods);
    QCoreApplication::sendEvent(&W, &Enter);
    if (EnterAccepted)
        *EnterAccepted = Enter.isAccepted();
    QDragMoveEvent Move(P.toPoint(), Qt::CopyAction | Qt::MoveAction, &Data, Qt::LeftButton, Mods);
    QCoreApplication::sendEvent(&W, &Move);
    QDropEvent Drop(P, Qt::CopyAction | Qt::MoveAction, &Data, Qt::LeftButton, Mods);
    QCoreApplication::sendEvent(&W, &Drop);
    return Drop.isAccepted() ? Drop.dropAction() : Qt::IgnoreAction;
}

TEST(Cgdd, DropTargetOnSynthesizedEvents)
{
    QWidget W;
    TRecorder T;
    ASSERT_TRUE(T.Register(&W));
    EXPECT_TRUE(W.acceptDrops());
    T.AcceptDrop = true;

    QMimeData Text;
    Text.setText(QStringLiteral("a\tb"));
    EXPECT_EQ(DragOnto(W, Text, Qt::NoModifier), Qt::MoveAction);
    EXPECT_EQ(DragOnto(W, Text, Qt::ControlModifier), Qt::CopyAction);
    EXPECT_EQ(T.Log.mid(0, 3), (QStringList{QStringLiteral("enter"), QStringLiteral("over:1"), QStringLiteral("over:1")}));
    EXPECT_TRUE(T.Log.contains(QStringLiteral("text:a\tb")));

    // RTF wins over text only while it is allowed.
    QMimeData Rich;
    Rich.setText(QStringLiteral("plain"));
    Rich.setData(QStringLiteral("text/rtf"), QByteArray("{\\rtf1 r}"));
    T.Log.clear();
    DragOnto(W, Rich, Qt::NoModifier);
    EXPECT_TRUE(T.Log.contains(QStringLiteral("text:plain")));
    OleDropRTFAllowed = true;
    T.Log.clear();
    DragOnto(W, Rich, Qt::NoModifier);
    EXPECT_EQ(T.FormatsMask(), 1 | 8);
    EXPECT_TRUE(T.Log.contains(QStringLiteral("rtf:{\\rtf1 r}")));
    OleDropRTFAllowed = false;

    // Files; a column only while columns are accepted.
    QMimeData Files;
    Files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.csv")), QUrl::fromLocalFile(QStringLiteral("/tmp/b.csv"))});
    T.Log.clear();
    DragOnto(W, Files, Qt::NoModifier);
    EXPECT_TRUE(T.Log.contains(QStringLiteral("files:2")));
    QMimeData Col;
    Col.setData(CellGridMimeType(QStringLiteral("Grid Column")), QByteArray("\x02\x00\x00\x00", 4));
    bool Entered = true;
    T.Log.clear();
    EXPECT_EQ(DragOnto(W, Col, Qt::NoModifier, &Entered), Qt::IgnoreAction);
    EXPECT_FALSE(Entered);
    T.AcceptCols = true;
    EXPECT_EQ(DragOnto(W, Col, Qt::NoModifier), Qt::MoveAction);
    EXPECT_TRUE(T.Log.contains(QStringLiteral("col:2")));

    // Drag over refusing, and a target that does not accept drops.
    T.AllowOver = false;
    QDragMoveEvent Move(QPoint(5, 5), Qt::MoveAction, &Text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&W, &Move);
    EXPECT_FALSE(Move.isAccepted());
    T.AcceptDrop = false;
    T.AllowOver = true;
    EXPECT_EQ(DragOnto(W, Text, Qt::NoModifier), Qt::IgnoreAction);

    // Revoking turns off only what registering turned on.
    T.Revoke();
    EXPECT_FALSE(W.acceptDrops());
    QWidget Own;
    Own.setAcceptDrops(true);
    TRecorder U;
    U.Register(&Own);
    U.Revoke();
    EXPECT_TRUE(Own.acceptDrops());
}

TEST(Cgdd, DragsThroughTheSeam)
{
    QWidget W;
    TCGDropSource S(&W);
    EXPECT_EQ(S.QueryContinueDrag(true, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(S.QueryContinueDrag(false, 0), DRAGDROP_S_DROP);
    EXPECT_EQ(S.QueryContinueDrag(false, MK_LBUTTON), S_OK);
    EXPECT_EQ(S.GiveFeedback(DROPEFFECT_NONE), DRAGDROP_S_USEDEFAULTCURSORS);

    QStringList Seen;
    Qt::DropAction Answer = Qt::MoveAction;
    SetDragHook([&](QObject *Source, QMimeData *Data) {
        EXPECT_EQ(Source, &W);
        Seen = Data->formats();
        Seen << Data->text();
        return Answer;
    });
    quint32 Effect = 0;
    EXPECT_EQ(StartTextDoDragDrop(&S, QStringLiteral("x"), QString(), DROPEFFECT_COPY | DROPEFFECT_MOVE, Effect),
              DRAGDROP_S_DROP);
    EXPECT_EQ(Effect, quint32(DROPEFFECT_MOVE));
    EXPECT_FALSE(S.LastEffectNone());
    EXPECT_EQ(Seen, (QStringList{QStringLiteral("text/plain"), QStringLiteral("x")}));

    // Nobody took it (or Esc ended it): cancelled, no effect.
    Answer = Qt::IgnoreAction;
    EXPECT_EQ(StartTextDoDragDrop(&S, QStringLiteral("x"), QString(), DROPEFFECT_COPY, Effect), DRAGDROP_S_CANCEL);
    EXPECT_EQ(Effect, quint32(DROPEFFECT_NONE));
    EXPECT_TRUE(S.LastEffectNone());

    Answer = Qt::CopyAction;
    EXPECT_EQ(StartColumnDoDragDrop(&S, 4, DROPEFFECT_COPY, Effect), DRAGDROP_S_DROP);
    EXPECT_EQ(Effect, quint32(DROPEFFECT_COPY));
    EXPECT_EQ(Seen.first(), CellGridMimeType(QStringLiteral("Grid Column")));
    SetDragHook({});
}

} // namespace
