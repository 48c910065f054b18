#pragma once
// A program folder with the shipped templates and a sample page with Chinese
// text and pictures, for the page-output tests.

#include "TestSupport.h"
#include "catalog/output/PageOutput.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <gtest/gtest.h>

namespace OutputFixture {

inline void WriteText(const QString &File, const QStringList &Lines)
{
    QDir().mkpath(QFileInfo(File).absolutePath());
    SaveLines(File, Lines);
}

inline QString ReadText(const QString &File)
{
    return LoadLines(File).join(QLatin1Char('\n'));
}

// Bytes that differ per picture, so a mixed-up copy shows.
inline QByteArray PictureBytes(const QString &Tag)
{
    QByteArray B = "\xFF\xD8\xFF\xE0picture ";
    B += Tag.toUtf8();
    for (int I = 0; I < 300; ++I)
        B += char(I * 7 + Tag.size());
    return B;
}

struct TSample {
    TestSupport::TempDir Temp;
    QString Exe;        // program folder, trailing "/"
    QString PageDir;    // page folder, trailing "/"
    QString Root;       // output root, trailing "/"
    QStringList Page;
    QString PagePath;

    TSample()
    {
        Exe = Temp.File(QStringLiteral("exe/"));
        TestSupport::CopyDataTo(Temp.File(QStringLiteral("exe")));
        PageDir = Temp.File(QStringLiteral("pages/"));
        Root = Temp.File(QStringLiteral("out/"));
        QDir().mkpath(Root);
        QDir().mkpath(PageDir + QStringLiteral("pics"));
        QDir().mkpath(PageDir + QStringLiteral("more"));
        TestSupport::WriteAll(PageDir + QStringLiteral("pics/a.jpg"), PictureBytes(QStringLiteral("a")));
        TestSupport::WriteAll(PageDir + QStringLiteral("more/a.jpg"), PictureBytes(QStringLiteral("other a")));
        TestSupport::WriteAll(PageDir + QStringLiteral("pics/杯子.gif"), PictureBytes(QStringLiteral("cup")));
        TestSupport::WriteAll(PageDir + QStringLiteral("pics/bg.jpg"), PictureBytes(QStringLiteral("bg")));
        PagePath = PageDir + QStringLiteral("sample.qbt");
        Page = QStringList{
            QStringLiteral("QBT FILE TYPE 2.0"),
            QStringLiteral("{Catalog编号}=P001"),
            QStringLiteral("{Catalog名称}=春季新品目录"),
            QStringLiteral("{业务员名}=张三"),
            QStringLiteral("{客户编号}=C9"),
            QStringLiteral("{客户名称}=李四"),
            QStringLiteral("{客户公司名}=李氏贸易"),
            QStringLiteral("{日期}=2026-12-7"),
            QStringLiteral("{货币符号}=RMB"),
            QStringLiteral("{产品单位}=件"),
            QStringLiteral("{重量单位}=克"),
            QStringLiteral("{图片宽}=120"),
            QStringLiteral("{图片高}=90"),
            QStringLiteral("{输出目录}=") + Root,
            QStringLiteral("{输出方式}=HTML(网页文件类型)"),
            QStringLiteral("{输出风格}=春天系列"),
            QStringLiteral("{输出语言}=中文"),
            QStringLiteral("{订单接收email地址}=order@example.invalid"),
            QStringLiteral("{图片框百分比}="),
            QStringLiteral("{Catalog说明}=全部商品含税"),
            QStringLiteral("{背景图片}=pics\\bg.jpg"),
            QStringLiteral("{视觉效果}=雪花"),
            QStringLiteral("/*以下内容均由程序自动生成，一般用户无需自行修改。"),
            QStringLiteral("{detail}"),
            // Product 2 stands first: output follows the page lines.
            QStringLiteral("{$2}"),
            QStringLiteral("{$IMG}=more\\a.jpg"),
            QStringLiteral("{$PID}=B-02"),
            QStringLiteral("{$PNAME}=茶壶"),
            QStringLiteral("{$PPRICE}=88"),
            QStringLiteral("{$PUNIT}=把"),
            QStringLiteral("{$PWEIGHT}=450"),
            QStringLiteral("{$PSERIAL}=2"),
            QStringLiteral("{$PNOTE}=紫砂"),
            QStringLiteral("{$1}"),
            QStringLiteral("{$IMG}=pics\\a.jpg"),
            QStringLiteral("{$PID}=A-01"),
            QStringLiteral("{$PNAME}=茶杯"),
            QStringLiteral("{$PPRICE}=12.50"),
            QStringLiteral("{$PUNIT}=个"),
            QStringLiteral("{$PWEIGHT}="),
            QStringLiteral("{$PSERIAL}=1"),
            QStringLiteral("{$PNOTE}=白瓷"),
            QStringLiteral("{$3}"),
            QStringLiteral("{$IMG}=pics\\杯子.gif"),
            QStringLiteral("{$PID}=C-03"),
            QStringLiteral("{$PNAME}=杯垫"),
            QStringLiteral("{$PPRICE}=3"),
            QStringLiteral("{$PUNIT}=片"),
            QStringLiteral("{$PWEIGHT}=20"),
            QStringLiteral("{$PSERIAL}=3"),
            QStringLiteral("{$PNOTE}=木质"),
        };
        WriteText(Exe + QStringLiteral("cols1.dat"),
                  {QStringLiteral("公司信息"), QStringLiteral("清风茶具公司"), QStringLiteral("王五"),
                   QStringLiteral("13800000000"), QStringLiteral("010-1234567"), QStringLiteral("010-7654321"),
                   QStringLiteral("www.example.invalid"), QStringLiteral("shop@example.invalid"),
                   QStringLiteral("北京市某区某路1号"), QStringLiteral("100000"), QStringLiteral("ignored")});
    }

    void Set(const QString &Key, const QString &Value)
    {
        for (QString &L : Page) {
            if (L.startsWith(Key + QLatin1Char('='))) {
                L = Key + QLatin1Char('=') + Value;
                return;
            }
        }
        Page.insert(2, Key + QLatin1Char('=') + Value);
    }

    QString D() const { return Root + QStringLiteral("P001"); }

    // Runs an output; questions, warnings and shell calls are collected.
    // Hooks set here take part too.
    TOutputHooks Hooks;
    QStringList Errors;
    QStringList Warnings;
    QStringList Opened;
    QString Run(int Mode, const QString &OutputFolder = QString(), bool Open = true)
    {
        TPageOutput Out(Page, PagePath, Exe);
        Out.ScratchFolder = Exe + QStringLiteral("tmp/1/");
        Out.OpenPageEntry = QStringLiteral("sample.qbt");
        Out.SharedNames = SharedNames;
        Out.Hooks = Hooks;
        Out.Hooks.ShowError = [this](const QString &T) { Errors << T; };
        Out.Hooks.ShowWarning = [this](const QString &T) { Warnings << T; };
        Out.Hooks.ShellOpen = [this](const QString &T) { Opened << T; };
        Out.Hooks.BrowseForFolder = [](const QString &) { return QString(); };
        QString Result;
        Out.Run(Mode, Open, OutputFolder, Result);
        LastOutput = Out.Output();
        return Result;
    }
    QStringList LastOutput;
    // A book's names of the pictures in its shared pictures folder.
    TSharedPictureNames *SharedNames = nullptr;
};

} // namespace OutputFixture
