#include "MainWindow.h"

#include "AboutBox.h"
#include "Forms.h"
#include "ProgramIcon.h"
#include "StartupWalk.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Shell.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <QWebEngineView>
#include <QWindow>
#include <limits>




bool TForm1::BrowserEnabled = true;

bool TForm1::BrowserWanted()
{
    // Without a screen (the offscreen platform of tests and the driver) the start
    // page is left out unless asked for: nobody sees it, and the browser engine is
    // a heavy process of its own. QUILLBOOK_NO_BROWSER switches it off anywhere.
    if (!BrowserEnabled || !qEnvironmentVariableIsEmpty("QUILLBOOK_NO_BROWSER"))
        return false;
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        return qEnvironmentVariable("QUILLBOOK_BROWSER") == QLatin1String("1");
    return true;
}

namespace {

const int HintPause = 3000;

// The delay before a hint shows, application-wide.
class THintPauseStyle : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint Hint, const QStyleOption *Option, const QWidget *Widget,
                  QStyleHintReturn *Return) const override
    {
        if (Hint == QStyle::SH_ToolTip_WakeUpDelay)
            return HintPause;
        return QProxyStyle::styleHint(Hint, Option, Widget, Return);
    }
};

// The product grid as the page document reaches it.
class TFormGridAccess : public TProductGridAccess {
public:
    explicit TFormGridAccess(TForm1 *Form) : FForm(Form) {}
    int RowCount() const override { return FForm->CellGrid1->RowCount(); }
    QString Cells(int ACol, int ARow) const override { return FForm->CellGrid1->Cells(ACol, ARow); }
    void SetCells(int ACol, int ARow, const QString &Value) override { FForm->CellGrid1->SetCellText(ACol, ARow, Value); }
    void AppendProductBlock() override { FForm->AppendProductBlock(); }
    void ResetGrid() override { FForm->ResetGrid(); }
    void LoadCellPicture(int ACol, int ARow, const QString &FileName) override
    {
        FForm->LoadCellPicture(ACol, ARow, FileName);
    }
    void ClearCellPicture(int ACol, int ARow) override { FForm->CellGrid1->RemovePicture(ACol, ARow); }

private:
    TForm1 *FForm;
};

QToolButton *MakeSpeedButton(QWidget *Parent, const QString &Name, const QString &Caption)
{
    auto *B = new QToolButton(Parent);
    B->setObjectName(Name);
    B->setText(Caption);
    B->setAutoRaise(true);
    B->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return B;
}

QPushButton *MakeButton(QWidget *Parent, const QString &Name, const QString &Caption)
{
    auto *B = new QPushButton(Caption, Parent);
    B->setObjectName(Name);
    return B;
}

} // namespace

TForm1::TForm1(QWidget *Parent)
    : QMainWindow(Parent)
    , FGridAccess(std::make_unique<TFormGridAccess>(this))
{
    setObjectName(QStringLiteral("Form1"));
    // The command line as the program entry recorded it, else as Qt saw it.
    if (!ParamStr(0).isEmpty()) {
        for (int I = 0; I <= ParamCount(); ++I)
            CommandLine.append(ParamStr(I));
    } else {
        CommandLine = QCoreApplication::arguments();
        if (!CommandLine.isEmpty())
            CommandLine[0] = QCoreApplication::applicationFilePath();
    }
    setWindowTitle(QStringLiteral("Quillbook 2007 Beta3"));
    setWindowIcon(ProgramIcon());
    setFont(QFont(QStringLiteral("宋体"), 10));
    BuildLayout();
    BuildMenu();
    SetupOutputMenus();
    ConnectDialogCommands();
    ConnectProductCommands();
    ConnectAutoFillCommands();
    ConnectSearchCommand();
    SetupBookPane();
    SetupPictureCommands();
    SetupMenuStates();
    FPage.OnChange = [this](const TPageChange &Change) { ShowPageText(Change); };
    // The box is painted again when the bar moves on by a hundredth, and at the
    // last line: painting it for every line cost a long page more than reading it.
    FPage.OnProgress = [this, Shown = -1](int Position, int Total) mutable {
        const int Percent = int(qint64(Position) * 100 / qMax(1, Total));
        if (Position < Total && Percent == Shown)
            return;
        Shown = Position < Total ? Percent : -1;
        ProgressBar1->setValue(Position);
        GroupBox3->setTitle(QStringLiteral("总计：%1行，正在处理：%2行。").arg(Total).arg(Position));
        GroupBox3->repaint();
    };
    FormCreate();
    CreateForms();
}

TForm1::~TForm1()
{
    // An editor that has the focus lets it go while the window is still whole:
    // the grid hears of it and calls back into the window.
    hide();
    if (TApplication *App = TApplication::Instance())
        App->OnException = nullptr;
    FPage.OnChange = nullptr;
    FPage.OnProgress = nullptr;
}

// ------------------------------------------------------------------ layout

void TForm1::BuildLayout()
{
    auto *Central = new QWidget(this);
    setCentralWidget(Central);
    auto *Layout = new QVBoxLayout(Central);
    Layout->setContentsMargins(2, 2, 2, 2);

    Splitter1 = new QSplitter(Qt::Vertical, Central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Layout->addWidget(Splitter1);

    GroupBox1 = new QGroupBox(Splitter1);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    // The book pane never shrinks below what its buttons need.
    Splitter1->setChildrenCollapsible(false);
    auto *Top = new QHBoxLayout(GroupBox1);

    auto *BookPane = new QVBoxLayout;
    ListBox1 = new QListWidget(GroupBox1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setToolTip(QStringLiteral("双击鼠标打开选中的页面。鼠标拖动可更改文件的顺序。"));
    ListBox1->setAcceptDrops(true);
    BookPane->addWidget(ListBox1);
    CheckBox1 = new QCheckBox(QStringLiteral("设为目录册默认页面"), GroupBox1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    BookPane->addWidget(CheckBox1);
    auto *BookButtons = new QGridLayout;
    SpeedButton7 = MakeSpeedButton(GroupBox1, QStringLiteral("SpeedButton7"), QStringLiteral("新建目录册"));
    SpeedButton8 = MakeSpeedButton(GroupBox1, QStringLiteral("SpeedButton8"), QStringLiteral("修改页面信息"));
    SpeedButton12 = MakeSpeedButton(GroupBox1, QStringLiteral("SpeedButton12"), QStringLiteral("导入文件到目录册"));
    SpeedButton13 = MakeSpeedButton(GroupBox1, QStringLiteral("SpeedButton13"), QStringLiteral("删除选中页面"));
    SpeedButton6 = MakeSpeedButton(GroupBox1, QStringLiteral("SpeedButton6"), QStringLiteral("新建页面"));
    SpeedButton9 = MakeSpeedButton(GroupBox1, QStringLiteral("SpeedButton9"), QStringLiteral("保存页面"));
    SpeedButton5 = MakeSpeedButton(GroupBox1, QStringLiteral("SpeedButton5"), QStringLiteral("输出"));
    SpeedButton10 = MakeSpeedButton(GroupBox1, QStringLiteral("SpeedButton10"), QStringLiteral("预览单个页面"));
    SpeedButton11 = MakeSpeedButton(GroupBox1, QStringLiteral("SpeedButton11"), QStringLiteral("预览目录册"));
    SpeedButton9->setEnabled(false);
    const QList<QToolButton *> TopButtons{SpeedButton7, SpeedButton8, SpeedButton12, SpeedButton13, SpeedButton6,
                                          SpeedButton9, SpeedButton5, SpeedButton10, SpeedButton11};
    for (int I = 0; I < TopButtons.size(); ++I)
        BookButtons->addWidget(TopButtons.at(I), I / 3, I % 3);
    BookPane->addLayout(BookButtons);
    Button1 = MakeButton(GroupBox1, QStringLiteral("Button1"), QStringLiteral("打开工程……"));
    Button5 = MakeButton(GroupBox1, QStringLiteral("Button5"), QStringLiteral("关闭当前页面"));
    Button2 = MakeButton(GroupBox1, QStringLiteral("Button2"), QStringLiteral("修改公司信息"));
    Button3 = MakeButton(GroupBox1, QStringLiteral("Button3"), QStringLiteral("在作者blog上留言，提出您对此软件的意见和建议"));
    for (QPushButton *B : {Button1, Button5, Button2, Button3})
        B->hide();
    Label1 = new QLabel(GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setStyleSheet(QStringLiteral("color: #800000"));
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->installEventFilter(this);
    Label1->hide();
    BookPane->addWidget(Label1);
    Top->addLayout(BookPane, 1);

    RichEdit1 = new QPlainTextEdit(GroupBox1);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setToolTip(QStringLiteral("请点击“修改页面信息”按钮来更改页面设置。"));
    // The box shows the page and is never edited in place: it keeps no undo
    // history of the lines the page replaces in it.
    RichEdit1->document()->setUndoRedoEnabled(false);
    Top->addWidget(RichEdit1, 2);

    WebBrowserPane = new QWidget(GroupBox1);
    WebBrowserPane->setObjectName(QStringLiteral("WebBrowserPane"));
    WebBrowserPane->setLayout(new QVBoxLayout);
    WebBrowserPane->layout()->setContentsMargins(0, 0, 0, 0);
    Top->addWidget(WebBrowserPane, 2);

    GroupBox2 = new QGroupBox(QStringLiteral("图片列表"), Splitter1);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    auto *Bottom = new QVBoxLayout(GroupBox2);
    auto *GridButtons = new QHBoxLayout;
    SpeedButton2 = MakeSpeedButton(GroupBox2, QStringLiteral("SpeedButton2"), QStringLiteral("导入文件夹"));
    SpeedButton3 = MakeSpeedButton(GroupBox2, QStringLiteral("SpeedButton3"), QStringLiteral("添加图片"));
    SpeedButton4 = MakeSpeedButton(GroupBox2, QStringLiteral("SpeedButton4"), QStringLiteral("删除单个"));
    BitBtn1 = MakeButton(GroupBox2, QStringLiteral("BitBtn1"), QStringLiteral("删除全部"));
    Button7 = MakeButton(GroupBox2, QStringLiteral("Button7"), QStringLiteral("添加特效"));
    Button6 = MakeButton(GroupBox2, QStringLiteral("Button6"), QStringLiteral("自动填充……"));
    Button8 = MakeButton(GroupBox2, QStringLiteral("Button8"), QStringLiteral("插入图片"));
    Button4 = MakeButton(GroupBox2, QStringLiteral("Button4"), QStringLiteral("插入空行"));
    for (QWidget *W : std::initializer_list<QWidget *>{SpeedButton2, SpeedButton3, SpeedButton4, BitBtn1, Button7,
                                                       Button6, Button8, Button4})
        GridButtons->addWidget(W);
    GridButtons->addStretch(1);
    Bottom->addLayout(GridButtons);

    GroupBox3 = new QGroupBox(QStringLiteral("操作进度："), GroupBox2);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    auto *ProgressLayout = new QVBoxLayout(GroupBox3);
    ProgressBar1 = new QProgressBar(GroupBox3);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressLayout->addWidget(ProgressBar1);
    ProgressCancel = new QPushButton(QStringLiteral("取消"), GroupBox3);
    ProgressCancel->setObjectName(QStringLiteral("ProgressCancel"));
    ProgressCancel->hide();
    KeepUsableWhileBusy(ProgressCancel);
    connect(ProgressCancel, &QPushButton::clicked, this, [this] { FOutputCancelled = true; });
    ProgressLayout->addWidget(ProgressCancel, 0, Qt::AlignRight);
    GroupBox3->hide();
    Bottom->addWidget(GroupBox3);

    ScrollBox1 = new QScrollArea(GroupBox2);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(true);
    CellGrid1 = new TProductGrid;
    ScrollBox1->setWidget(CellGrid1);
    // Room for the picture, the labels and the values of a product.
    const int ColWidths[6] = {42, 140, 56, 180, 56, 180};
    for (int C = 0; C < 6; ++C)
        CellGrid1->SetColWidths(C, ColWidths[C]);
    Bottom->addWidget(ScrollBox1, 1);

    Edit1 = new QLineEdit(CellGrid1->viewport());
    Edit1->setObjectName(QStringLiteral("Edit1"));
    // A line edit keeps 32767 characters by default: a longer description would
    // come in cut and be stored cut at the next key.
    Edit1->setMaxLength(std::numeric_limits<int>::max());
    Edit1->hide();

    Splitter1->addWidget(GroupBox1);
    Splitter1->addWidget(GroupBox2);
    Splitter1->setSizes({201, 600});

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);

    auto Connect = [this](QAbstractButton *B, void (TForm1::*Handler)()) {
        connect(B, &QAbstractButton::clicked, this, [this, Handler] { Guard([this, Handler] { (this->*Handler)(); }); });
    };
    Connect(SpeedButton9, &TForm1::SpeedButton9Click);
    Connect(SpeedButton6, &TForm1::SpeedButton6Click);
    Connect(Button5, &TForm1::Button5Click);
    Connect(Button1, &TForm1::Button1Click);
    connect(CellGrid1, &TProductGrid::CellEdited, this,
            [this](int ACol, int ARow) { Guard([=, this] { StoreProductBlock(ACol, ARow); }); });
    connect(RichEdit1, &QPlainTextEdit::textChanged, this, [this] {
        if (!FShowingPage)
            Guard([this] { RichEdit1Change(); });
    });
}

QAction *TForm1::AddItem(QMenu *Menu, const QString &Name, const QString &Caption, const QString &Shortcut,
                         void (TForm1::*Handler)())
{
    QAction *A = Menu->addAction(Caption);
    A->setObjectName(Name);
    if (!Shortcut.isEmpty())
        A->setShortcut(QKeySequence(Shortcut));
    if (Handler)
        connect(A, &QAction::triggered, this, [this, Handler] { Guard([this, Handler] { (this->*Handler)(); }); });
    return A;
}

void TForm1::BuildMenu()
{
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    QMenu *File = MainMenu1->addMenu(QStringLiteral("文件"));
    File->setObjectName(QStringLiteral("FileMenu"));
    AddItem(File, QStringLiteral("N2"), QStringLiteral("新建目录页"), QStringLiteral("Ctrl+N"), &TForm1::NewPage);
    AddItem(File, QStringLiteral("NewBookItem"), QStringLiteral("新建目录册"), QString());
    AddItem(File, QStringLiteral("N3"), QStringLiteral("打开……"), QStringLiteral("Ctrl+O"));
    AddItem(File, QStringLiteral("N7"), QStringLiteral("保存"), QStringLiteral("Ctrl+S"), &TForm1::SpeedButton9Click);
    AddItem(File, QStringLiteral("N8"), QStringLiteral("另存为……"), QString(), &TForm1::N8Click);
    AddItem(File, QStringLiteral("N4"), QStringLiteral("关闭当前页面"), QString(), &TForm1::Button5Click);
    AddItem(File, QStringLiteral("N11"), QStringLiteral("关闭全部页面"), QString(),
            static_cast<void (TForm1::*)()>(nullptr));
    File->addSeparator();
    QAction *Exit = AddItem(File, QStringLiteral("ExitItem"), QStringLiteral("退出"), QStringLiteral("Ctrl+Q"));
    connect(Exit, &QAction::triggered, this, &QWidget::close);
    connect(File->findChild<QAction *>(QStringLiteral("N11")), &QAction::triggered, this,
            [this] { Guard([this] { CloseCatalog(); }); });

    QMenu *Edit = MainMenu1->addMenu(QStringLiteral("编辑"));
    Edit->setObjectName(QStringLiteral("EditMenu"));
    AddItem(Edit, QStringLiteral("N12"), QStringLiteral("导入文件夹"), QStringLiteral("Ctrl+M"));
    AddItem(Edit, QStringLiteral("N10"), QStringLiteral("添加图片"), QStringLiteral("Ctrl+I"));
    AddItem(Edit, QStringLiteral("N64"), QStringLiteral("插入图片"), QString());
    Edit->addSeparator();
    AddItem(Edit, QStringLiteral("N66"), QStringLiteral("交换图片顺序……"), QString());
    AddItem(Edit, QStringLiteral("N68"), QStringLiteral("交换资料顺序……"), QString());
    Edit->addSeparator();
    // The standard edit actions work on the focused edit control.
    const struct {
        const char *Name;
        const char *Caption;
        QKeySequence::StandardKey Key;
        const char *Slot;
    } EditActions[] = {
        {"EditCut1", "剪切", QKeySequence::Cut, "cut"},
        {"EditCopy1", "复制", QKeySequence::Copy, "copy"},
        {"EditPaste1", "粘贴", QKeySequence::Paste, "paste"},
        {"EditUndo1", "撤销", QKeySequence::Undo, "undo"},
    };
    for (const auto &E : EditActions) {
        QAction *A = Edit->addAction(QString::fromUtf8(E.Caption));
        A->setObjectName(QString::fromLatin1(E.Name));
        A->setShortcut(QKeySequence(E.Key));
        A->setShortcutContext(Qt::WidgetShortcut);
        const QByteArray Slot = E.Slot;
        connect(A, &QAction::triggered, this, [Slot] {
            if (QWidget *W = QApplication::focusWidget())
                QMetaObject::invokeMethod(W, Slot.constData());
        });
    }
    Edit->addSeparator();
    AddItem(Edit, QStringLiteral("N24"), QStringLiteral("删除单个"), QStringLiteral("Ctrl+D"));
    AddItem(Edit, QStringLiteral("N25"), QStringLiteral("删除全部"), QStringLiteral("Ctrl+Alt+D"));
    Edit->addSeparator();
    AddItem(Edit, QStringLiteral("N100"), QStringLiteral("搜索……"), QStringLiteral("Ctrl+F"));
    AddItem(Edit, QStringLiteral("N114"), QStringLiteral("继续搜索"), QStringLiteral("F3"));

    QMenu *Book = MainMenu1->addMenu(QStringLiteral("目录册"));
    Book->setObjectName(QStringLiteral("BookMenu"));
    AddItem(Book, QStringLiteral("N82"), QStringLiteral("打开已有目录册……"), QString());
    AddItem(Book, QStringLiteral("N81"), QStringLiteral("新建目录册"), QString());
    AddItem(Book, QStringLiteral("N95"), QStringLiteral("导入外部文件到目录册"), QString());
    AddItem(Book, QStringLiteral("N97"), QStringLiteral("修改目录册信息……"), QString());
    QAction *CloseBook = AddItem(Book, QStringLiteral("N93"), QStringLiteral("关闭当前目录册"), QString());
    connect(CloseBook, &QAction::triggered, this, [this] { Guard([this] { CloseCatalog(); }); });
    Book->addSeparator();
    AddItem(Book, QStringLiteral("N85"), QStringLiteral("打开已有页面……"), QString());
    AddItem(Book, QStringLiteral("N84"), QStringLiteral("新建页面"), QString(), &TForm1::SpeedButton6Click);
    AddItem(Book, QStringLiteral("N96"), QStringLiteral("添加到其他目录册"), QString());
    AddItem(Book, QStringLiteral("N98"), QStringLiteral("修改页面信息……"), QString());
    AddItem(Book, QStringLiteral("N94"), QStringLiteral("关闭当前页面"), QString(), &TForm1::Button5Click);

    QMenu *Output = MainMenu1->addMenu(QStringLiteral("输出"));
    Output->setObjectName(QStringLiteral("OutputMenu"));
    QMenu *PageOut = Output->addMenu(QStringLiteral("创建目录页"));
    PageOut->menuAction()->setObjectName(QStringLiteral("N87"));
    AddItem(PageOut, QStringLiteral("CHM3"), QStringLiteral("CHM 帮助文件格式（推荐）"), QString());
    AddItem(PageOut, QStringLiteral("MHT1"), QStringLiteral("MHT 单个网页文件"), QString());
    AddItem(PageOut, QStringLiteral("HTML3"), QStringLiteral("HTML 网页格式"), QString());
    AddItem(PageOut, QStringLiteral("ZIP3"), QStringLiteral("ZIP 压缩文件格式"), QString());
    AddItem(PageOut, QStringLiteral("Catalog1"), QStringLiteral("QBA Catalog包文件"), QString());
    QMenu *BookOut = Output->addMenu(QStringLiteral("创建目录册"));
    BookOut->menuAction()->setObjectName(QStringLiteral("N89"));
    AddItem(BookOut, QStringLiteral("CHM4"), QStringLiteral("CHM 帮助文件格式（推荐）"), QString());
    AddItem(BookOut, QStringLiteral("MHT2"), QStringLiteral("MHT 单个网页文件"), QString());
    AddItem(BookOut, QStringLiteral("HTML4"), QStringLiteral("HTML 网页格式"), QString());
    AddItem(BookOut, QStringLiteral("ZIP4"), QStringLiteral("ZIP 压缩文件格式"), QString());
    AddItem(BookOut, QStringLiteral("Catalog2"), QStringLiteral("QBA Catalog包文件"), QString());
    Output->addSeparator();
    AddItem(Output, QStringLiteral("N122"), QStringLiteral("切换输出语言"), QString());

    QMenu *Templates = MainMenu1->addMenu(QStringLiteral("模板"));
    Templates->setObjectName(QStringLiteral("TemplateMenu"));
    AddItem(Templates, QStringLiteral("TemplateFolderItem"), QStringLiteral("打开模板文件夹"), QString(),
            &TForm1::OpenTemplateFolder);
    QAction *More = AddItem(Templates, QStringLiteral("MoreTemplatesItem"), QStringLiteral("更多模板……"), QString());
    connect(More, &QAction::triggered, this, [this] { OpenInShell(this, MakerPageUrl(QStringLiteral("templates"))); });

    QMenu *Settings = MainMenu1->addMenu(QStringLiteral("设置"));
    Settings->setObjectName(QStringLiteral("SettingsMenu"));
    AddItem(Settings, QStringLiteral("N18"), QStringLiteral("修改联系人信息"), QStringLiteral("F8"));
    AddItem(Settings, QStringLiteral("N120"), QStringLiteral("页面选项……"), QString());

    QMenu *Tools = MainMenu1->addMenu(QStringLiteral("工具"));
    Tools->setObjectName(QStringLiteral("ToolsMenu"));
    AddItem(Tools, QStringLiteral("QBT1"), QStringLiteral("修复 QBT 文件"), QString(), &TForm1::QBT1Click);

    QMenu *Help = MainMenu1->addMenu(QStringLiteral("帮助"));
    Help->setObjectName(QStringLiteral("HelpMenu"));
    QAction *Home = AddItem(Help, QStringLiteral("HomePageItem"), QStringLiteral("访问网站主页"), QString());
    connect(Home, &QAction::triggered, this, [this] { OpenInShell(this, MakerPageUrl(QStringLiteral("home"))); });
    QAction *Update = AddItem(Help, QStringLiteral("UpdateItem"), QStringLiteral("查看软件更新"), QString());
    connect(Update, &QAction::triggered, this, [this] { OpenInShell(this, MakerPageUrl(QStringLiteral("update?vinfo=4.0"))); });
    AddItem(Help, QStringLiteral("HelpItem"), QStringLiteral("帮助"), QStringLiteral("F1"), &TForm1::OpenHelp);
    AddItem(Help, QStringLiteral("ContactItem"), QStringLiteral("联系作者"), QString(), &TForm1::ContactAuthor);
    AddItem(Help, QStringLiteral("AboutItem"), QStringLiteral("关于"), QString(), &TForm1::About);
}

// ---------------------------------------------------------------- creation

QString TForm1::StartPageUrl() const
{
    return QUrl::fromLocalFile(ProgramFolder() + QStringLiteral("start/index.html")).toString();
}

QString TForm1::MakerPageUrl(const QString &Anchor) const
{
    // The maker's pages are local pages shipped beside the start page; a query
    // (the update check's version) travels as the fragment.
    QUrl Url = QUrl::fromLocalFile(ProgramFolder() + QStringLiteral("start/maker.html"));
    Url.setFragment(Anchor);
    return Url.toString();
}

void TForm1::FormCreate()
{
    ResetGrid();
    CellGrid1->FocusCell(3, 1);
    setWindowState(windowState() | Qt::WindowMaximized);
    FCatalogList = std::make_unique<QStringList>();
    OpenDialog1 = std::make_unique<TOpenDialog>();
    OpenDialog1->OwnerWindow = this;
    OpenDialog1->Options |= OpenOpt(ofFileMustExist);
    SaveDialog1 = std::make_unique<TSaveDialog>();
    SaveDialog1->OwnerWindow = this;
    SetProgressBox(GroupBox3);
    if (TApplication *App = TApplication::Instance())
        App->OnException = [this](TObject *Sender, const Exception &E) { ApplicationEvents1Exception(Sender, E); };
    if (!qobject_cast<THintPauseStyle *>(QApplication::style()))
        QApplication::setStyle(new THintPauseStyle);
    CycleNoticeLabel();
    // The browser engine starts once the event loop runs, after the window is up.
    if (BrowserWanted())
        QTimer::singleShot(0, this, [this] { Guard([this] { CreateBrowser(); }); });
    ::PostMessage(this, WM_STARTUPOPEN);
}

void TForm1::CreateBrowser()
{
    if (WebBrowser1)
        return;
    auto *View = new QWebEngineView(WebBrowserPane);
    View->setUrl(QUrl(StartPageUrl()));
    View->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowserPane->layout()->addWidget(View);
    WebBrowser1 = View;
}

void TForm1::CreateForms()
{
    if (Form2)
        return;
    // The order is fixed; the batch-text dialog belongs to the picture viewer's window.
    Form2 = new TForm2(this);
    Form3 = new TForm3(this);
    Form4 = new TForm4(this);
    Form5 = new TForm5(this);
    PictureView = new TPictureView(this);
    Form6 = new TForm6(PictureView);
    Form7 = new TForm7(this);
    Form8 = new TForm8(this);
}

// ---------------------------------------------------------------- messages

qintptr TForm1::WndProc(unsigned Msg, qintptr WParam, qintptr LParam)
{
    switch (Msg) {
    case WM_STARTUPOPEN:
        WMStartupOpen();
        break;
    case WM_OPENPAGEFILE:
        if (!FOpenPageQueue.isEmpty())
            WMOpenPageFile(FOpenPageQueue.takeFirst());
        break;
    case WM_FORMNOTIFY:
        WMFormNotify(WParam, LParam);
        break;
    default:
        break;
    }
    return 0;
}

void TForm1::PostOpenPageFile(const QString &Path)
{
    FOpenPageQueue.append(Path);
    ::PostMessage(this, WM_OPENPAGEFILE);
}

void TForm1::Button1Click()
{
    ::PostMessage(this, WM_STARTUPOPEN);
}

void TForm1::WMStartupOpen()
{
    if (!FStartupWalked)
        CheckProgramFolderWritable();
    // The command line is walked once, at start-up; 打开工程…… later asks the start dialog.
    const QStringList Args = FStartupWalked ? CommandLine.mid(0, 1) : CommandLine;
    // A file named on the command line that is not there is reported, not
    // passed over.
    for (int I = 1; I < Args.size(); ++I)
        if (!Args.at(I).isEmpty() && !QFileInfo::exists(NativePath(Args.at(I))))
            MessageBox(this, QStringLiteral("文件“%1”不存在，不能打开。").arg(Args.at(I)),
                       QCoreApplication::applicationName(), MB_OK | MB_ICONWARNING);
    FStartupWalked = true;
    for (const QString &A : Args)
        FPendingFiles += A + QStringLiteral("\r\n");
    QStringList List = FPendingFiles.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    int Result = 3;
    if (List.size() < 2) {
        if (!Form2)
            return;
        Result = ShowModal(Form2);
        FPendingFiles = Form2->FChosenFile;
    }
    if (Result == 5) {
        NewPage();
        return;
    }
    if (Result != 3)
        return;
    Button5Click();
    if (SaveButtonEnabled())
        return;
    TWaitCursor Wait;
    if (List.size() < 2)
        List.append(FPendingFiles);
    const TStartupPlan Plan = PlanStartupOpen(List);
    FPendingFiles = Plan.Path;
    switch (Plan.Open) {
    case TStartupPlan::opPackage: OpenPackage(Plan.Path); break;
    case TStartupPlan::opBook: OpenCatalog(Plan.Path, false); break;
    case TStartupPlan::opPage: OpenPage(Plan.Path); break;
    case TStartupPlan::opNothing: break;
    }
    if (!Plan.ImportPictures())
        return;
    const QStringList Pictures = ExpandPictureFolder(Plan.Pictures);
    if (Pictures.isEmpty()) {
        MessageBox(this,
                   QStringLiteral("没有发现图片文件，系统右键支持jpg格式的图片。\r\n您可以同时选择多个文件夹，程序不搜索子文件夹。"),
                   QCoreApplication::applicationName(), MB_OK | MB_ICONWARNING);
        Terminate();
        return;
    }
    FPendingFiles = Pictures.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    NewPage();
    ImportPictures(Pictures);
    FPendingFiles.clear();
}

void TForm1::CheckProgramFolderWritable()
{
    // New pages go to the default book beside the program, and the histories,
    // company files and defaults live there: a folder the user cannot write to
    // (a copy installed for every user) would make them fail one by one.
    const QString Folder = ProgramFolder();
    QTemporaryFile Probe(Folder + QStringLiteral(".quillbook-write-test-XXXXXX"));
    if (Probe.open())
        return;
    MessageBox(this,
               QStringLiteral("程序文件夹“%1”不能写入。\r\n"
                              "Quillbook 在程序文件夹中保存新建的页面、历史记录、公司信息和默认设置，"
                              "程序文件夹必须可以写入。\r\n"
                              "请把程序文件夹复制到一个可以写入的位置，或者用环境变量 QUILLBOOK_HOME "
                              "指定另一个可以写入的程序文件夹。")
                   .arg(ExcludeTrailingPathDelimiter(Folder)),
               QCoreApplication::applicationName(), MB_OK | MB_ICONWARNING);
}

void TForm1::WMOpenPageFile(const QString &Path)
{
    Button5Click();
    if (SaveButtonEnabled())
        return;
    // A missing file still raises the file error; a file that is no page is refused.
    if (FileExists(Path) && !TPageDocument::IsPageFile(Path)) {
        MessageBox(this, QStringLiteral("文件“%1”不是Catalog页面文件，不能打开。").arg(Path), QStringLiteral("打开页面"),
                   MB_OK | MB_ICONWARNING);
        return;
    }
    FPage.Clear();
    FPage.LoadFromFile(Path);
    SpeedButton9->setEnabled(false);
    FPagePath = Path;
    // The page is no package's page: saving it must not write it back into one.
    FOpenedFromPackage = false;
    FPackageIsBook = false;
    GroupBox1->setTitle(QStringLiteral("工程源文件  ") + Path);
    LoadGridFromPage();
    OfferRepairOfDamagedPage();
    if (!FPendingFiles.isEmpty()) {
        ImportPictures(FPendingFiles.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts));
        FPendingFiles.clear();
    }
}

void TForm1::WMFormNotify(qintptr WParam, qintptr LParam)
{
    if (WParam == 16 && (LParam == 0 || LParam == 5) && !FPictureNotices.isEmpty()) {
        const TPictureNotice Notice = FPictureNotices.takeFirst();
        const int K = Notice.Product;
        if (K >= 1 && 6 * K < CellGrid1->RowCount()) {
            // A copy beside a picture stored relative to the page is stored relative too.
            if (LParam == 5)
                StorePicturePath(K, Notice.Path, FPage.StoredPicture(K));
            CellGrid1->RemovePicture(1, 6 * K - 5);
            LoadCellPicture(1, 6 * K - 5, Notice.Path);
        }
        return;
    }
    if (!Form7)
        return;
    switch (WParam) {
    case 100:
        ApplyBookInformation();
        break;
    case 101:
        FNewCatalogPath = Form7->CatalogPath;
        break;
    case 102:
        if (SaveButtonEnabled()
            && MessageBox(this, QStringLiteral("新建立了一个目录册，是否关闭当前目录册并载入新建的目录册？"),
                          QStringLiteral("新建了目录册"), MB_YESNO | MB_ICONWARNING) != IDYES)
            break;
        if (CloseCatalog() && !FNewCatalogPath.isEmpty())
            OpenCatalog(FNewCatalogPath, false);
        break;
    default:
        break;
    }
}

// ------------------------------------------------------------------ the window

bool TForm1::event(QEvent *Event)
{
    // The browser pane, added once the window is up, makes the platform create
    // the window anew for a surface of another kind; the new one would come up
    // in the normal state, no longer maximised. It takes the state the window had.
    if (Event->type() == QEvent::WinIdChange)
        if (QWindow *Handle = windowHandle(); Handle && Handle->windowStates() != windowState())
            Handle->setWindowStates(windowState());
    return QMainWindow::event(Event);
}

// ------------------------------------------------------------------ closing

bool TForm1::SaveButtonEnabled() const
{
    return SpeedButton9->isEnabled();
}

void TForm1::closeEvent(QCloseEvent *Event)
{
    bool CanClose = true;
    Guard([&] { FormCloseQuery(this, CanClose); });
    if (!CanClose) {
        Event->ignore();
        return;
    }
    if (!FClosed) {
        Guard([&] { FormClose(this); });
        FClosed = true;
    }
    Event->accept();
}

void TForm1::FormCloseQuery(TObject *, bool &CanClose)
{
    if (!SaveButtonEnabled())
        return;
    switch (MessageBox(this, QStringLiteral("有资料修改后尚未保存，是否存盘？"), QCoreApplication::applicationName(),
                       MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDCANCEL:
        CanClose = false;
        break;
    case IDYES:
        // A save dialog cancelled on an untitled page, or a save that could not
        // write (it says why), leaves the changes unsaved: the program stays
        // open rather than losing them.
        CanClose = false;
        SpeedButton9Click();
        CanClose = !SaveButtonEnabled();
        break;
    default:
        break;
    }
}

void TForm1::FormClose(TObject *)
{
    TWaitCursor Wait;
    FCatalogList.reset();
    // This program's own scratch folder only: another running program keeps its files.
    DeleteFolderFiles(ScratchFolder());
}

void TForm1::ApplicationEvents1Exception(TObject *, const Exception &E)
{
    RestoreCursor();
    GroupBox3->hide();
    if (dynamic_cast<const EAbort *>(&E))
        return;
    ShowException(E.Message());
}

void TForm1::Guard(const std::function<void()> &Handler)
{
    try {
        Handler();
    } catch (...) {
        HandleException(this);
    }
}

// ---------------------------------------------------------- shared routines

bool TForm1::CheckPageOpen(const QString &Caption)
{
    if (HasPage())
        return true;
    MessageBox(this, QStringLiteral("当前没有打开页面，不能执行此操作。"), Caption, MB_OK | MB_ICONINFORMATION);
    return false;
}

QString TForm1::BrowseForFolder(const QString &Caption, QWidget *Owner)
{
    return ::BrowseForFolder(Caption, Owner ? Owner : this);
}

QString TForm1::NonEmptyOrSpace(const QString &S)
{
    return S.isEmpty() ? QStringLiteral(" ") : S;
}

void TForm1::DeleteFolderFiles(const QString &Folder)
{
    // Files only, folders stay; a folder the platform will not empty is left alone.
    EmptyFolder(Folder, true);
}

bool TForm1::CopyFolderTree(const QString &Source, const QString &Dest, const QString &Name)
{
    // The destination is created one level deep, as the shell's copy would.
    if (!DirectoryExists(Dest) && !QDir().mkdir(Dest)) {
        MessageBox(this, QStringLiteral("不能创建目录") + Dest + QStringLiteral("\r\n或无该目录权限"),
                   QCoreApplication::applicationName(), MB_OK | MB_ICONWARNING);
        return false;
    }
    // Source + Name is a folder and a mask such as "*.*": its files only. A name
    // taken in the destination by other content gets a new one, "name(2).ext",
    // instead of being replaced.
    const QString Pattern = NativePath(Source + Name);
    const QString Folder = ExtractFilePath(Pattern);
    const QString Mask = ExtractFileName(Pattern);
    const QFileInfoList Files = QDir(Folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
    const QString Target = Dest.endsWith(QLatin1Char('/')) ? Dest : Dest + QLatin1Char('/');
    for (const QFileInfo &F : Files) {
        if (Mask != QLatin1String("*.*") && !MatchesMask(F.fileName(), Mask))
            continue;
        CopyFileRenaming(F.absoluteFilePath(), Target);
    }
    return true;
}

void TForm1::RunAndWait(const QString &Program, const QString &Arguments)
{
    // The program runs in its own folder; a failed start is passed over.
    Shell().RunAndWait(Program, QProcess::splitCommand(Arguments), QFileInfo(Program).absolutePath());
}

// ------------------------------------------------------- small commands

void TForm1::OpenTemplateFolder()
{
    OpenInShell(this, ProgramFolder() + QStringLiteral("html"));
}

void TForm1::OpenHelp()
{
    // The help file needs a viewer of its kind; where the desktop has none, the
    // same help as a web page goes to the browser.
    const QString HelpFile = ProgramFolder() + QStringLiteral("help/help.chm");
    const QString WebHelp = ProgramFolder() + QStringLiteral("help/help2.htm");
    if (Shell().Open(HelpFile) || Shell().Open(WebHelp))
        return;
    MessageBox(this,
               QStringLiteral("不能打开帮助文件“%1”：系统中没有打开这种文件的程序。\r\n"
                              "网页版帮助“%2”也不能在浏览器中打开。")
                   .arg(HelpFile, WebHelp),
               QStringLiteral("帮助"), MB_OK | MB_ICONWARNING);
}

void TForm1::ContactAuthor()
{
    if (MessageBox(this, QStringLiteral("作者邮件地址：support@quillbook.invalid"), QStringLiteral("联系作者"),
                   MB_OKCANCEL | MB_ICONINFORMATION)
        == IDOK)
        OpenInShell(this, QStringLiteral("mailto:support@quillbook.invalid?subject=Quillbook"));
}

void TForm1::About()
{
    TAboutBox Box(this);
    ShowModal(&Box);
}

void TForm1::CycleNoticeLabel()
{
    static const char *const Notices[5] = {
        "欢迎使用 Quillbook 目录制作工具", "更多模板请访问我们的网站", "批发商城：精选商品目录",
        "Quillbook 新版本即将发布", "意见和建议请联系作者",
    };
    Label1Tag = Label1Tag % 5 + 1;
    Label1->setText(QString::fromUtf8(Notices[Label1Tag - 1]));
    Label1->setToolTip(Label1->text());
}

bool TForm1::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched == Label1) {
        // White under the mouse, maroon otherwise; a click opens the notice's page.
        if (Event->type() == QEvent::Enter)
            Label1->setStyleSheet(QStringLiteral("color: #ffffff"));
        else if (Event->type() == QEvent::Leave)
            Label1->setStyleSheet(QStringLiteral("color: #800000"));
        else if (Event->type() == QEvent::MouseButtonRelease)
            Guard([this] { Label1Click(); });
    }
    return QMainWindow::eventFilter(Watched, Event);
}

void TForm1::Label1Click()
{
    if (Label1Tag >= 1 && Label1Tag <= 5)
        OpenInShell(this, MakerPageUrl(QStringLiteral("notice%1").arg(Label1Tag)));
}

#include "MainWindow.moc"
#include "platform/services/Prompts.h"
