#pragma once
// The auto-fill commands of the product grid: one field of many products
// written at once (numbered IDs, names from picture files, fixed or multiplied
// prices and weights, units, sizes, copies of another product).
// No widgets: the filler writes grid cells through TProductGridAccess and hands
// every written cell to Store, which puts it into the page text.
//
// A command either changes every cell of its scope or nothing: the answers and
// the old values are checked before the first cell is written.

#include "PageDocument.h"

#include <QList>
#include <QString>
#include <functional>

namespace AutoFill {

// The fields of a product block and their cells (block n starts at row 6n - 5).
enum TField { fID, fName, fPrice, fUnit, fWeight, fSize, fDescription, fPicturePath };
int FieldCol(TField Field);
int FieldRow(int Block, TField Field);
// The field name a message shows ("价格").
QString FieldCaption(TField Field);

// The answer of the prefix boxes: "AT-" numbers AT-001, AT-002 ...; "/231" starts
// the counter at 231 (the next product gets 232); a "/" without a number switches
// numbering off; ":DE" adds a fixed suffix.
struct TPrefixAnswer {
    QString Prefix;
    QString Suffix;
    int Counter = 0;
    bool Numbering = true;
    // The field text of the next product.
    QString Next();
};
TPrefixAnswer ParsePrefixAnswer(const QString &Answer);

// The picture's file name up to its first "." ("" when the name has none). The
// stored path may use "\" as separator.
QString PictureBaseName(const QString &StoredPath);

// What a drop of the auto-fill button on cell (ACol, ARow) runs.
enum TDropCommand {
    dcNone, dcAddPicture, dcPrefixID, dcFixedPrice, dcFixedWeight, dcCopyDescription, dcPrefixName, dcUnit,
    dcSize
};
TDropCommand DropCommand(int ACol, int ARow);

// The message of an answer that is not a (valid) number.
extern const QString NotANumber;   // "必须输入有效的数字。"

class TAutoFiller {
public:
    using TStore = std::function<void(int ACol, int ARow)>;
    TAutoFiller(TProductGridAccess &Grid, TStore Store);

    int Blocks() const;

    // Every product with a picture path: Field = the picture's base name.
    void FromPictureNames(TField Field);
    // Every product: name = ID.
    void NameFromID();
    // Products From .. last.
    void Prefix(int From, TField Field, const QString &Answer);
    void Fixed(int From, TField Field, const QString &Value);
    // Field = old value × factor in Format ("0.00", "0.##"); an empty old value counts as 0.
    // Returns "" when done, else the message to show (nothing was changed).
    QString Multiply(int From, TField Field, const QString &Factor, const QString &Format);
    // Products From .. last (From 1: all) take Fields of product K, read before any write.
    // Returns "" when done, else NotANumber (K is no number or no product; nothing changed).
    QString CopyFrom(int From, const QString &K, const QList<TField> &Fields);

private:
    TProductGridAccess &FGrid;
    TStore FStore;
    QString Get(int Block, TField Field) const;
    void Put(int Block, TField Field, const QString &Value);
};

} // namespace AutoFill
