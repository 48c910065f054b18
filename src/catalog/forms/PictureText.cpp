#include "PictureText.h"

#include "gif/GIFImage.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/graphics/Jpeg.h"

#include <QFileInfo>

namespace PictureText {

const QStringList Placeholders{QStringLiteral("{当前编号}"), QStringLiteral("{当前名称}"), QStringLiteral("{当前价格}"),
                               QStringLiteral("{当前单位}"), QStringLiteral("{当前重量}"), QStringLiteral("{当前规格}"),
                               QStringLiteral("{当前描述}")};

TEntry ParseEntry(const QString &Line)
{
    const qsizetype First = Line.indexOf(QLatin1Char(','));
    const qsizetype Second = First < 0 ? -1 : Line.indexOf(QLatin1Char(','), First + 1);
    TEntry E;
    E.X = StrToInt(First < 0 ? Line : Line.left(First));
    E.Y = StrToInt(Second < 0 ? Line.mid(First + 1) : Line.mid(First + 1, Second - First - 1));
    E.Text = Second < 0 ? QString() : Line.mid(Second + 1);
    return E;
}

QString FormatEntry(int X, int Y, const QString &Text)
{
    return QStringLiteral("%1,%2,%3").arg(X).arg(Y).arg(Text);
}

QString ReplaceText(const QString &Line, const QString &Text)
{
    const qsizetype First = Line.indexOf(QLatin1Char(','));
    const qsizetype Second = First < 0 ? -1 : Line.indexOf(QLatin1Char(','), First + 1);
    if (Second < 0)
        return Line;
    return Line.left(Second + 1) + Text;
}

bool PlaceholderCell(const QString &Text, int N, int &ACol, int &ARow)
{
    static const struct { int Col, Offset; } Cells[] = {{3, 5}, {5, 5}, {3, 4}, {5, 4}, {3, 3}, {5, 3}, {3, 2}};
    const qsizetype I = Placeholders.indexOf(Text);
    if (I < 0)
        return false;
    ACol = Cells[I].Col;
    ARow = 6 * N - Cells[I].Offset;
    return true;
}

QPoint PicturePoint(const QPoint &Shown, const QSize &ShownSize, const QSize &Picture)
{
    const double Sx = ShownSize.width() > 0 ? double(Picture.width()) / ShownSize.width() : 1.0;
    const double Sy = ShownSize.height() > 0 ? double(Picture.height()) / ShownSize.height() : 1.0;
    return QPoint(int(Round(Shown.x() * Sx)), int(Round(Shown.y() * Sy)));
}

QPoint Relative(const QPoint &At, const QSize &ViewerPicture, const QSize &Picture)
{
    if (ViewerPicture.width() <= 0 || ViewerPicture.height() <= 0)
        return At;
    return QPoint(int(Round(double(At.x()) * Picture.width() / ViewerPicture.width())),
                  int(Round(double(At.y()) * Picture.height() / ViewerPicture.height())));
}

bool IsJpegName(const QString &Path)
{
    const QString Ext = ExtractFileExt(Path).toUpper();
    return Ext == QLatin1String(".JPG") || Ext == QLatin1String(".JPEG");
}

QString CopyName(const QString &Path)
{
    const QString Ext = ExtractFileExt(Path);
    const QString Base = Path.left(Path.size() - Ext.size());
    for (int K = 2;; ++K) {
        const QString Name = QStringLiteral("%1(%2)%3").arg(Base, QString::number(K), Ext);
        if (!QFileInfo::exists(Name))
            return Name;
    }
}

QString JpegTargetFor(const QString &Path)
{
    if (IsJpegName(Path))
        return Path;
    const QString Jpeg = ChangeFileExt(Path, QStringLiteral(".jpg"));
    return QFileInfo::exists(Jpeg) ? CopyName(Jpeg) : Jpeg;
}

QRect Zoom(const QRect &Panel, const QSize &Picture, const QSize &Client, int Delta)
{
    if (Picture.isEmpty() || Panel.isEmpty())
        return Panel;
    const int StepW = qMax(1, int(Round(Panel.width() / 10.0)));
    const int StepH = qMax(1, int(Round(Panel.height() / 10.0)));
    QRect R = Panel;
    if (Delta < 1) {
        R.setSize(QSize(Panel.width() - 2 * StepW, Panel.height() - 2 * StepH));
        if (Client.width() > R.width())
            R.moveLeft((Client.width() - R.width()) / 2);
        if (Client.height() > R.height())
            R.moveTop((Client.height() - R.height()) / 2);
    } else {
        if (Panel.left() - StepW >= 0)
            R.moveLeft(Panel.left() - StepW);
        if (Panel.top() - StepH >= 0)
            R.moveTop(Panel.top() - StepH);
        R.setSize(QSize(Panel.width() + 2 * StepW, Panel.height() + 2 * StepH));
    }
    const double Scale = double(R.width()) / Picture.width();
    if (R.width() < 8 || R.height() < 8 || R.width() > MaxShown || R.height() > MaxShown
        || (Delta < 1 && Scale < MinZoom) || (Delta >= 1 && Scale > MaxZoom))
        return Panel;
    return R;
}

std::unique_ptr<TBitmap> LoadPicture(const QString &FileName)
{
    auto Bitmap = std::make_unique<TBitmap>();
    const QString Ext = ExtractFileExt(FileName).toLower();
    const QString Unreadable = QStringLiteral("图片文件不能读取：") + FileName;
    if (Ext != QLatin1String(".jpg") && Ext != QLatin1String(".jpeg") && Ext != QLatin1String(".gif")
        && Ext != QLatin1String(".bmp"))
        throw EInvalidGraphic(QStringLiteral("不支持的图片格式：") + FileName);
    // The decoders' own errors (an empty file, a damaged bitmap, a JPEG error
    // number) are English and name no file: the user is told which file it is.
    // A file that cannot be opened says so itself, with the system's reason
    // (no permission...): nothing is wrong with the picture then.
    try {
        if (Ext == QLatin1String(".gif")) {
            TGIFImage Gif;
            Gif.LoadFromFile(FileName);
            if (Gif.Empty() || Gif.Width() <= 0 || Gif.Height() <= 0)
                throw EInvalidGraphic(Unreadable);
            Bitmap->SetSize(Gif.Width(), Gif.Height());
            Gif.Draw(*Bitmap->Canvas(), TRect(0, 0, Gif.Width(), Gif.Height()));
        } else if (Ext == QLatin1String(".bmp")) {
            Bitmap->LoadFromFile(FileName);
        } else {
            TJPEGImage Jpeg;
            Jpeg.LoadFromFile(FileName);
            Jpeg.AssignTo(Bitmap.get());
        }
    } catch (const EFOpenError &) {
        throw;
    } catch (const Exception &) {
        throw EInvalidGraphic(Unreadable);
    }
    if (Bitmap->Empty())
        throw EInvalidGraphic(Unreadable);
    Bitmap->SetPixelFormat(pf24bit);
    return Bitmap;
}

void DrawText(TBitmap &Bitmap, const TFont &Font, int X, int Y, const QString &Text)
{
    TCanvas *C = Bitmap.Canvas();
    C->SetFont(Font);
    C->Brush()->SetStyle(bsClear);
    C->TextOut(X, Y, Text);
}

void SaveJpeg(const TBitmap &Bitmap, const QString &Path, int Quality)
{
    TJPEGImage Jpeg;
    Jpeg.SetCompressionQuality(Quality);
    Jpeg.Assign(&Bitmap);
    Jpeg.SaveToFile(Path);
}

bool WriteEntries(const QString &Picture, int N, bool Relative, const QStringList &Entries,
                  const QSize &ViewerPicture, const TFont &Font, bool MakeCopy,
                  const std::function<QString(int, int)> &Cell, QString &Target)
{
    if (!IsJpegName(Picture) || !FileExists(Picture))
        return false;
    Target = MakeCopy ? CopyName(Picture) : Picture;
    // The rename of a save replaces a read-only file too: it is refused first.
    if (!MakeCopy)
        CheckFileReplaceable(Target);
    std::unique_ptr<TBitmap> Work = LoadPicture(Picture);
    const QSize Size(Work->Width(), Work->Height());
    for (const QString &Line : Entries) {
        TEntry E = ParseEntry(Line);
        QPoint At(E.X, E.Y);
        if (Relative)
            At = PictureText::Relative(At, ViewerPicture, Size);
        int ACol = 0, ARow = 0;
        if (Cell && PlaceholderCell(E.Text, N, ACol, ARow))
            E.Text = Cell(ACol, ARow);
        DrawText(*Work, Font, At.x(), At.y(), E.Text);
    }
    SaveJpeg(*Work, Target);
    return true;
}

} // namespace PictureText
