#include "grid/CgUni.h"

#include "grid/CellGrid.h"

namespace {

const QLatin1String WideCellMark("|\\");

} // namespace

// =================================================================== wide-cell codec

QString EncodeWideCellText(const QString &Value)
{
    QString Text;
    Text.reserve(2 + 2 * Value.size());
    Text += WideCellMark;
    for (QChar C : Value) {
        Text += QChar(char16_t(C.unicode() >> 8));
        Text += QChar(char16_t(C.unicode() & 0xFF));
    }
    return Text;
}

bool DecodeWideCellText(const QString &Text, QString &Value)
{
    if (!Text.startsWith(WideCellMark) || (Text.size() - 2) % 2 != 0)
        return false;
    QString Out;
    Out.reserve((Text.size() - 2) / 2);
    for (qsizetype I = 2; I + 1 < Text.size(); I += 2) {
        const char16_t Hi = Text.at(I).unicode(), Lo = Text.at(I + 1).unicode();
        if (Hi > 0xFF || Lo > 0xFF)
            return false;
        Out += QChar(char16_t(Hi << 8 | Lo));
    }
    Value = Out;
    return true;
}

QString WideCellDisplayText(const QString &Text)
{
    QString Value;
    return DecodeWideCellText(Text, Value) ? Value : Text;
}

void TCellGrid::SetWideCellText(int ACol, int ARow, const QString &Value)
{
    SetCellText(ACol, ARow, EncodeWideCellText(Value));
}

QString TCellGrid::GetWideCellText(int ACol, int ARow)
{
    return WideCellDisplayText(GetCellText(ACol, ARow));
}

// =================================================================== TWideStrings

TWideStrings::TWideStrings() = default;
TWideStrings::~TWideStrings() = default;

void TWideStrings::Put(int Index, const QString &S)
{
    TObject *Obj = GetObject(Index);
    Delete(Index);
    InsertObject(Index, S, Obj);
}

TObject *TWideStrings::GetObject(int Index) const
{
    Q_UNUSED(Index);
    return nullptr;
}

void TWideStrings::PutObject(int Index, TObject *AObject)
{
    Q_UNUSED(Index);
    Q_UNUSED(AObject);
}

int TWideStrings::Add(const QString &S)
{
    const int Index = Count();
    Insert(Index, S);
    return Index;
}

int TWideStrings::AddObject(const QString &S, TObject *AObject)
{
    const int Index = Add(S);
    PutObject(Index, AObject);
    return Index;
}

void TWideStrings::InsertObject(int Index, const QString &S, TObject *AObject)
{
    Insert(Index, S);
    PutObject(Index, AObject);
}

void TWideStrings::Exchange(int Index1, int Index2)
{
    BeginUpdate();
    try {
        const QString S = Get(Index1);
        TObject *O = GetObject(Index1);
        Put(Index1, Get(Index2));
        PutObject(Index1, GetObject(Index2));
        Put(Index2, S);
        PutObject(Index2, O);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

int TWideStrings::IndexOf(const QString &S) const
{
    for (int I = 0; I < Count(); ++I)
        if (Get(I).compare(S, Qt::CaseInsensitive) == 0)
            return I;
    return -1;
}

void TWideStrings::AddStrings(const TWideStrings &Strings)
{
    AddEach(Strings.Count(), [&](int I) { AddObject(Strings.Get(I), Strings.GetObject(I)); });
}

void TWideStrings::AddStrings(const TStrings &Strings)
{
    AddEach(Strings.Count(), [&](int I) { AddObject(Strings.Strings(I), Strings.Objects(I)); });
}

void TWideStrings::AddEach(int Count, const std::function<void(int)> &Add)
{
    BeginUpdate();
    try {
        for (int I = 0; I < Count; ++I)
            Add(I);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

bool TWideStrings::Equals(const TWideStrings &Strings) const
{
    if (Count() != Strings.Count())
        return false;
    for (int I = 0; I < Count(); ++I)
        if (Get(I) != Strings.Get(I))
            return false;
    return true;
}

void TWideStrings::Assign(const TWideStrings &Source)
{
    if (&Source == this)
        return;
    BeginUpdate();
    try {
        Clear();
        AddStrings(Source);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TWideStrings::Assign(const TStrings &Source)
{
    BeginUpdate();
    try {
        Clear();
        AddStrings(Source);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TWideStrings::AssignTo(TStrings &Dest) const
{
    Dest.BeginUpdate();
    Dest.Clear();
    for (int I = 0; I < Count(); ++I)
        Dest.AddObject(Get(I), GetObject(I));
    Dest.EndUpdate();
}

void TWideStrings::BeginUpdate()
{
    if (FUpdateCount++ == 0)
        SetUpdateState(true);
}

void TWideStrings::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        SetUpdateState(false);
}

void TWideStrings::SetUpdateState(bool Updating)
{
    Q_UNUSED(Updating);
}

TStringList TWideStrings::ToStringList() const
{
    TStringList L;
    AssignTo(L);
    return L;
}

QString TWideStrings::Text() const
{
    return ToStringList().Text();
}

void TWideStrings::SetText(const QString &Value)
{
    TStringList L;
    L.SetText(Value);
    Assign(L);
}

QString TWideStrings::CommaText() const
{
    return ToStringList().CommaText();
}

void TWideStrings::SetCommaText(const QString &Value)
{
    TStringList L;
    L.SetCommaText(Value);
    Assign(L);
}

TAnsiStringsForWideStrings *TWideStrings::AnsiStrings()
{
    if (!FAnsiStrings)
        FAnsiStrings = std::make_unique<TAnsiStringsForWideStrings>(this);
    return FAnsiStrings.get();
}

void TWideStrings::SetAnsiStrings(const TStrings &Value)
{
    AnsiStrings()->Assign(Value);
}

// =================================================================== TAnsiStringsForWideStrings

QString TAnsiStringsForWideStrings::Strings(int Index) const
{
    return FWideStrings->Get(Index);
}

void TAnsiStringsForWideStrings::SetStrings(int Index, const QString &S)
{
    FWideStrings->Put(Index, S);
}

int TAnsiStringsForWideStrings::Add(const QString &S)
{
    return FWideStrings->Add(S);
}

int TAnsiStringsForWideStrings::AddObject(const QString &S, TObject *AObject)
{
    return FWideStrings->AddObject(S, AObject);
}

void TAnsiStringsForWideStrings::Insert(int Index, const QString &S)
{
    FWideStrings->Insert(Index, S);
}

int TAnsiStringsForWideStrings::IndexOf(const QString &S) const
{
    return FWideStrings->IndexOf(S);
}

// =================================================================== TComboBoxStrings

void TComboBoxStrings::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= FCombo->count())
        throw EListError(QStringLiteral("列表索引越界 (%1)").arg(Index));
}

int TComboBoxStrings::Count() const
{
    return FCombo->count();
}

QString TComboBoxStrings::Get(int Index) const
{
    CheckIndex(Index);
    return FCombo->itemText(Index);
}

void TComboBoxStrings::Put(int Index, const QString &S)
{
    CheckIndex(Index);
    FCombo->setItemText(Index, S);
}

TObject *TComboBoxStrings::GetObject(int Index) const
{
    CheckIndex(Index);
    return reinterpret_cast<TObject *>(FCombo->itemData(Index, Qt::UserRole).value<quintptr>());
}

void TComboBoxStrings::PutObject(int Index, TObject *AObject)
{
    CheckIndex(Index);
    FCombo->setItemData(Index, QVariant::fromValue(reinterpret_cast<quintptr>(AObject)), Qt::UserRole);
}

void TComboBoxStrings::Insert(int Index, const QString &S)
{
    if (Index < 0 || Index > FCombo->count())
        throw EOutOfResources(QStringLiteral("无法插入一行"));
    FCombo->insertItem(Index, S);
}

int TComboBoxStrings::Add(const QString &S)
{
    FCombo->addItem(S);
    return FCombo->count() - 1;
}

void TComboBoxStrings::Delete(int Index)
{
    CheckIndex(Index);
    FCombo->removeItem(Index);
}

void TComboBoxStrings::Clear()
{
    const QString Keep = FCombo->isEditable() ? FCombo->currentText() : QString();
    FCombo->clear();
    // An editable combo keeps what was typed, as its edit field is no item.
    if (FCombo->isEditable())
        FCombo->setEditText(Keep);
}

int TComboBoxStrings::IndexOf(const QString &S) const
{
    return FCombo->findText(S, Qt::MatchFixedString);
}

void TComboBoxStrings::SetUpdateState(bool Updating)
{
    FCombo->setUpdatesEnabled(!Updating);
}

// =================================================================== edit and combo

void TCustomUNIEdit::SetText(const QString &Value)
{
    if (Value != text())
        setText(Value);
}

TCustomUNIComboBox::TCustomUNIComboBox(QWidget *Parent)
    : TCGCustomCombo(Parent), FItems(std::make_unique<TComboBoxStrings>(this))
{
    SetFlat(false);
}

TCustomUNIComboBox::~TCustomUNIComboBox() = default;

TCGUniCustomCombo::TCGUniCustomCombo(QWidget *Parent) : TCustomUNIComboBox(Parent)
{
    SetFlat(true);
}
