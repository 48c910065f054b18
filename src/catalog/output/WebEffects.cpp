#include "WebEffects.h"

#include "PageOutput.h"
#include "catalog/document/PageDocument.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"

#include <QDir>
#include <QUrl>

namespace WebEffects {

const QString BackgroundKey = QStringLiteral("{背景图片}=");
const QString MusicKey = QStringLiteral("{背景音乐}=");
const QString EffectKey = QStringLiteral("{视觉效果}=");
const QString NoEffect = QStringLiteral("无效果");

namespace {

// Index of the "{detail}" line, or the end of the text.
int HeaderEnd(const QStringList &Lines)
{
    for (int I = 0; I < Lines.size(); ++I)
        if (Lines[I].contains(TPageDocument::DetailLine))
            return I;
    return int(Lines.size());
}

QString ValueAfterEquals(const QString &Line, int Limit)
{
    return TPageDocument::CutChars(Line.mid(Line.indexOf(QLatin1Char('=')) + 1), Limit);
}

// Path relative to Folder when it lies inside it, with "\" separators; "" when not inside.
QString RelativeInside(const QString &Path, const QString &Folder)
{
    if (Folder.isEmpty() || !IsPathInside(Path, Folder))
        return QString();
    const QString Base = IncludeTrailingPathDelimiter(ExpandFileName(Folder));
    const QString Full = ExpandFileName(Path);
    if (!Full.startsWith(Base))
        return QString();
    return Full.mid(Base.size()).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

// A local file as an address the browser resolves whatever characters its name holds.
QString FileUrl(const QString &Path)
{
    return IsDrivePath(Path) ? Path : QUrl::fromLocalFile(Path).toString(QUrl::FullyEncoded);
}

} // namespace

QString AbsolutePath(const QString &Stored, const QString &PageFolder, const QString &ProgramFolder)
{
    if (Stored.isEmpty() || IsAbsoluteStoredPath(Stored))
        return NativePath(Stored);
    if (!PageFolder.isEmpty()) {
        const QString InPage = ResolveStoredPath(PageFolder, Stored);
        if (FileExists(InPage))
            return InPage;
    }
    return ResolveStoredPath(ProgramFolder, Stored);
}

TEffects Read(const QStringList &Lines, const QString &PageFolder, const QString &ProgramFolder)
{
    TEffects E;
    const int End = HeaderEnd(Lines);
    for (int I = 0; I < End; ++I) {
        const QString &L = Lines[I];
        if (L.contains(BackgroundKey))
            E.Background = AbsolutePath(ValueAfterEquals(L, MaxPathLength).trimmed(), PageFolder, ProgramFolder);
        else if (L.contains(MusicKey))
            E.Music = AbsolutePath(ValueAfterEquals(L, MaxPathLength).trimmed(), PageFolder, ProgramFolder);
        else if (L.contains(EffectKey))
            E.Effect = ValueAfterEquals(L, MaxPathLength).trimmed();
    }
    return E;
}

QString StoredPath(const QString &Path, const QString &PageFolder, const QString &ProgramFolder, QString &Error)
{
    Error.clear();
    QString S = RelativeInside(Path, PageFolder);
    if (S.isEmpty())
        S = RelativeInside(Path, ProgramFolder);
    if (S.isEmpty())
        S = Path;
    if (S.size() > MaxPathLength) {
        Error = QStringLiteral("文件路径太长（超过%1个字符），不能保存：\r\n%2\r\n请把文件放到路径较短的文件夹中再选择。")
                    .arg(MaxPathLength)
                    .arg(Path);
        return QString();
    }
    return S;
}

bool Apply(QStringList &Lines, const TEffects &Effects, const QString &PageFolder, const QString &ProgramFolder,
           QString &Error)
{
    Error.clear();
    QString Background, Music;
    if (!Effects.Background.isEmpty()) {
        Background = StoredPath(Effects.Background, PageFolder, ProgramFolder, Error);
        if (!Error.isEmpty())
            return false;
    }
    if (!Effects.Music.isEmpty()) {
        Music = StoredPath(Effects.Music, PageFolder, ProgramFolder, Error);
        if (!Error.isEmpty())
            return false;
    }
    for (int I = HeaderEnd(Lines) - 1; I >= 0; --I) {
        const QString &L = Lines[I];
        if (L.startsWith(BackgroundKey) || L.startsWith(MusicKey) || L.startsWith(EffectKey))
            Lines.removeAt(I);
    }
    // Line 5, or the end of a shorter header (before its marker comment).
    int End = HeaderEnd(Lines);
    for (int I = 0; I < End; ++I)
        if (Lines[I].startsWith(QStringLiteral("/*"))) {
            End = I;
            break;
        }
    const int At = qMin(4, End);
    if (!Background.isEmpty())
        Lines.insert(At, BackgroundKey + Background);
    if (!Music.isEmpty())
        Lines.insert(At, MusicKey + Music);
    if (!Effects.Effect.isEmpty() && Effects.Effect != NoEffect)
        Lines.insert(At, EffectKey + Effects.Effect);
    return true;
}

QStringList EffectNames(const QString &ProgramFolder)
{
    QStringList Names;
    const QDir Css(IncludeTrailingPathDelimiter(ProgramFolder) + QStringLiteral("css"));
    for (const QString &Name : Css.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (!Name.contains(QStringLiteral("..")))
            Names << Name;
    return Names;
}

QString LoadEffectText(const QString &ProgramFolder, const QString &Effect, const QString &Part)
{
    if (!TPageOutput::IsSafeName(Effect))
        return QString();
    const QString File = IncludeTrailingPathDelimiter(ProgramFolder) + QStringLiteral("css/") + Effect + QLatin1Char('/') + Effect + Part
        + QStringLiteral(".txt");
    if (!FileExists(File))
        return QString();
    return LoadLines(File).join(QStringLiteral("\r\n"));
}

QStringList LoadDescriptions(const QString &ProgramFolder)
{
    const QString File = IncludeTrailingPathDelimiter(ProgramFolder) + QStringLiteral("视觉效果.txt");
    if (!FileExists(File))
        return {};
    try {
        return LoadLines(File);
    } catch (const Exception &) {
        return {};
    }
}

QString Description(const QStringList &Descriptions, const QString &Effect)
{
    QString Text = QStringLiteral("”简介“没有找到");
    const QString Key = Effect + QLatin1Char('=');
    for (const QString &L : Descriptions)
        if (L.contains(Key))
            Text = ValueAfterEquals(L, 128);
    return Text;
}

QStringList PreviewLines(const TEffects &Effects, const QString &Head, const QString &Body,
                         const QList<QPair<QString, QString>> &Links)
{
    const auto Esc = [](const QString &S) { return TPageOutput::HtmlEscape(S); };
    const bool HasEffect = !Effects.Effect.isEmpty() && Effects.Effect != NoEffect;
    QStringList L;
    L << QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">")
      << QStringLiteral("<HTML><HEAD><TITLE>Ostrelle 目录Quillbook 背景特效预览</TITLE>")
      << QStringLiteral("<!-- saved from url=(0014)about:internet -->")
      << QStringLiteral("<meta http-equiv=Content-Type content=\"text/html; charset=gb2312\">")
      << QStringLiteral("<meta http-equiv=\"Page-Enter\" content=\"revealTrans(Duration=1.0,Transition=23)\">")
      << QStringLiteral("<meta http-equiv=\"Page-Exit\" content=\"revealTrans(Duration=1.0,Transition=23)\">");
    if (HasEffect)
        L << Head;
    L << QStringLiteral("</HEAD>");
    if (!Effects.Background.isEmpty())
        L << QStringLiteral("<body background=\"") + Esc(FileUrl(Effects.Background)) + QStringLiteral("\">");
    else
        L << QStringLiteral("<body>");
    if (!Effects.Music.isEmpty())
        L << QStringLiteral("<bgsound src=\"") + Esc(FileUrl(Effects.Music)) + QStringLiteral("\" loop=\"-1\">");
    if (HasEffect)
        L << Body;
    L << QStringLiteral("<p>背景和特效预览，预览模式仅包括背景图（若选择），背景音乐（若选择），显示效果（若选择），不包括商品资料。")
      << QStringLiteral("<p>当前设置：<br>")
      << (Effects.Background.isEmpty() ? QStringLiteral("背景图片：没有选择<br>")
                                       : QStringLiteral("背景图片：") + Esc(Effects.Background) + QStringLiteral("<br>"))
      << (Effects.Music.isEmpty() ? QStringLiteral("背景音乐：没有选择<br>")
                                  : QStringLiteral("背景音乐：") + Esc(Effects.Music) + QStringLiteral("<br>"))
      << QStringLiteral("显示效果：") + Esc(Effects.Effect.isEmpty() ? NoEffect : Effects.Effect);
    for (const auto &Link : Links)
        L << QStringLiteral("<p><a href=\"") + Esc(Link.first) + QStringLiteral("\">") + Esc(Link.second) + QStringLiteral("</a>");
    L << QStringLiteral("</body>") << QStringLiteral("</html>");
    return L;
}

} // namespace WebEffects
