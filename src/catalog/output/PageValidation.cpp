#include "PageValidation.h"

#include "PageOutput.h"
#include "catalog/document/PageDocument.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"

namespace {

constexpr unsigned MbOk = 0x00, MbOkCancel = 0x01, MbIconError = 0x10, MbIconWarning = 0x30;
constexpr int IdOk = 1;

// The text after the first "=" of a line, at most Limit characters.
QString ValueOf(const QString &Line, int Limit)
{
    return Line.mid(Line.indexOf(QLatin1Char('=')) + 1, Limit);
}

// The ID names the output folder, its files and the members of archives made
// of them: a character that no file name may hold on Windows cannot be in it.
bool HoldsFileNameBreaker(const QString &Id)
{
    static const QString Breakers = QStringLiteral("\\/:*?\"<>|");
    for (const QChar C : Id)
        if (C.unicode() < 0x20 || C.unicode() == 0x7F || Breakers.contains(C))
            return true;
    return false;
}

bool OnlyNumberChars(const QString &S)
{
    for (const QChar C : S) {
        if (!(C >= QLatin1Char('0') && C <= QLatin1Char('9')) && C != QLatin1Char('.'))
            return false;
    }
    return true;
}

} // namespace

TPageValidation::TPageValidation(const QStringList &PageLines, const QString &ProgramFolder,
                                 const TProductGridAccess &Grid, const QString &PageFolder)
    : FLines(PageLines), FExe(ProgramFolder), FGrid(Grid)
    , FPageFolder(PageFolder.isEmpty() ? QString() : IncludeTrailingPathDelimiter(NativePath(PageFolder)))
{
    if (!FExe.endsWith(QLatin1Char('/')))
        FExe += QLatin1Char('/');
}

bool TPageValidation::Warn(const QString &Text)
{
    return Ask && Ask(Text, QStringLiteral("警告"), MbOkCancel | MbIconWarning) == IdOk;
}

bool TPageValidation::HeaderOk()
{
    // A stored file path that is missing: relative ones are looked up where
    // the output looks for them, in the page's folder and below the program
    // folder (the effects dialog stores a file of the page's folder relative
    // to it).
    auto Missing = [this](const QString &V) {
        if (V.isEmpty())
            return false;
        if (IsAbsoluteStoredPath(V))
            return !FileExists(NativePath(V));
        if (!FPageFolder.isEmpty() && FileExists(FPageFolder + NativePath(V)))
            return false;
        return !FileExists(FExe + NativePath(V));
    };
    // A key is the start of its line: a product text that merely holds a key's
    // text is no setting.
    for (int I = 0; I < FLines.size(); ++I) {
        const QString &L = FLines.at(I);
        bool Stop = false;
        if (L.startsWith(QStringLiteral("{Catalog编号}="))) {
            // The ID names files and a folder: it must be one plain name,
            // all of it, as the output takes it whole.
            const QString V = TrimLeft(ValueOf(L, -1));
            if (HoldsFileNameBreaker(V)) {
                if (Ask)
                    Ask(QStringLiteral("catalog编号“%1”中含有不能用于文件名的字符（\\ / : * ? \" < > | 或控制字符），"
                                       "请修改后再输出。输出终止。")
                            .arg(V),
                        QStringLiteral("错误"), MbOk | MbIconError);
                Stop = true;
            } else if (V.isEmpty() || !TPageOutput::IsSafeName(V)) {
                if (Ask)
                    Ask(QStringLiteral("无效的catalog编号，输出终止。"), QStringLiteral("错误"), MbOk | MbIconError);
                Stop = true;
            }
        }
        if (!Stop && L.startsWith(QStringLiteral("{视觉效果}="))) {
            const QString V = Trim(ValueOf(L, 128));
            if ((V.isEmpty() || !TPageOutput::IsSafeName(V) || !DirectoryExists(FExe + QStringLiteral("css/") + V))
                && !Warn(QStringLiteral("无效的视觉效果，选择ok不使用视觉效果，或选择cancel进行修改。")))
                Stop = true;
        }
        if (!Stop && L.startsWith(QStringLiteral("{背景图片}="))) {
            if (Missing(ValueOf(L, 256))
                && !Warn(QStringLiteral("无效背景图，选择ok不使用背景图，或选择cancel进行修改。")))
                Stop = true;
        }
        if (!Stop && L.startsWith(QStringLiteral("{背景音乐}="))) {
            if (Missing(ValueOf(L, 256))
                && !Warn(QStringLiteral("无效背景音乐，选择ok不使用背景音乐，或选择cancel进行修改。")))
                Stop = true;
        }
        if (!Stop && L.startsWith(QStringLiteral("{输出风格}="))) {
            const QString V = Trim(ValueOf(L, 32));
            if ((V.isEmpty() || !TPageOutput::IsSafeName(V) || !DirectoryExists(FExe + QStringLiteral("html/") + V))
                && !Warn(QStringLiteral("无效输出风格，选择ok使用标准模式，或选择cancel进行修改。")))
                Stop = true;
        }
        if (!Stop && L.startsWith(QStringLiteral("{输出语言}="))) {
            const QString V = Trim(ValueOf(L, 128));
            if (V != QStringLiteral("中文") && V != QStringLiteral("英文")
                && !Warn(QStringLiteral("无效输出语言，选择ok使用中文，或选择cancel进行修改。")))
                Stop = true;
        }
        if (!Stop && L.startsWith(QStringLiteral("{输出方式}="))) {
            static const QStringList Known{QStringLiteral("CHM(帮助文件类型)"), QStringLiteral("MHT(单文件网页)"),
                                           QStringLiteral("HTML(网页文件类型)"), QStringLiteral("ZIP(压缩文件类型)"),
                                           QStringLiteral("QBA(Catalog包文件)")};
            if (!Known.contains(Trim(ValueOf(L, 128)))
                && !Warn(QStringLiteral("无效输出方式，选择ok使用zip格式输出，或选择cancel进行修改。")))
                Stop = true;
        }
        if (Stop) {
            if (ShowLine)
                ShowLine(I);
            return false;
        }
    }
    return true;
}

bool TPageValidation::GridOk()
{
    const QString Tail = QStringLiteral("这会导致Catalog的自动计算功能失效。选择ok忽略此问题，或选择cancel进行修正。");
    for (int R = 1; R < FGrid.RowCount(); ++R) {
        const int N = (R + 5) / 6;
        QString Text;
        if (R % 6 == 2) {
            const QString Price = FGrid.Cells(3, R);
            if (Price.isEmpty())
                Text = QStringLiteral(" 个商品资料的单价为空，");
            else if (!OnlyNumberChars(Price))
                Text = QStringLiteral(" 个商品资料的单价包含非数字字符，");
        } else if (R % 6 == 3) {
            const QString Weight = FGrid.Cells(3, R);
            if (!Weight.isEmpty() && !OnlyNumberChars(Weight))
                Text = QStringLiteral(" 个商品资料的重量包含非数字字符，");
        }
        if (Text.isEmpty())
            continue;
        if (!Warn(QStringLiteral("第 ") + QString::number(N) + Text + Tail)) {
            if (ShowGridRow)
                ShowGridRow(R);
            return false;
        }
    }
    return true;
}

bool TPageValidation::Run()
{
    return HeaderOk() && GridOk();
}
